#include "tests/support/virtual_disc.h"

#include <algorithm>

namespace testsupport {
namespace {

constexpr std::size_t kBlock = 2048;

// CHECK CONDITION, ILLEGAL REQUEST with the given additional sense code.
Reply Refused(std::uint8_t asc) {
  Reply reply;
  reply.status = SS_ERR;
  reply.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, 0x00};
  return reply;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

}  // namespace

void VirtualDisc::PutBlock(std::int64_t lba, std::span<const std::uint8_t> bytes) {
  Block block(kBlock, 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kBlock), block.begin());
  blocks_[lba] = std::move(block);
}

void VirtualDisc::PutBlocks(std::int64_t lba, std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kBlock, ++lba) {
    PutBlock(lba, bytes.subspan(at, std::min(kBlock, bytes.size() - at)));
  }
}

void VirtualDisc::Clear() {
  blocks_.clear();
  reads_.clear();
  unreadable.clear();
}

Reply VirtualDisc::Answer(const RecordedRequest& request) {
  switch (request.Opcode()) {
    case 0x28:
      return ReadBlock(request);
    case 0x43:
      return (request.cdb[2] & 0x0F) == 1 ? SessionInfo() : Refused(0x24);
    default:
      return Reply{};
  }
}

bool VirtualDisc::Read(std::int64_t lba, std::span<std::uint8_t> out) {
  reads_.push_back(lba);
  if (lba < 0 || lba >= capacity || unreadable.contains(lba)) return false;
  auto found = blocks_.find(lba);
  if (found == blocks_.end()) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
  } else {
    std::copy_n(found->second.begin(), std::min(out.size(), kBlock), out.begin());
  }
  return true;
}

Reply VirtualDisc::ReadBlock(const RecordedRequest& request) {
  // READ(10): a signed 32-bit LBA in bytes 2-5 (MMC), one block here.
  const std::int64_t lba = static_cast<std::int32_t>(Be32(&request.cdb[2]));
  Reply reply;
  reply.dataIn.assign(kBlock, 0);
  if (Read(lba, reply.dataIn)) return reply;
  if (lba < 0 || lba >= capacity) return Refused(0x21);  // LBA out of range
  reply.dataIn.clear();
  reply.status = SS_ERR;
  reply.sense = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00};  // unrecovered read error
  return reply;
}

Reply VirtualDisc::SessionInfo() const {
  if (!lastSessionStart) return Refused(0x24);
  // READ TOC format 1: data length 10, first and last session 1, then one
  // track descriptor whose bytes 8-11 hold the start address.
  Reply reply;
  reply.dataIn.assign(12, 0);
  reply.dataIn[1] = 10;
  reply.dataIn[2] = 1;
  reply.dataIn[3] = 1;
  const auto start = static_cast<std::uint32_t>(*lastSessionStart);
  for (std::size_t i = 0; i < 4; ++i)
    reply.dataIn[8 + i] = static_cast<std::uint8_t>(start >> (24 - 8 * i));
  return reply;
}

}  // namespace testsupport
