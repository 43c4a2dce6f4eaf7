// GET PERFORMANCE (MMC 6.8), SET STREAMING (MMC 6.39) and SET CD SPEED
// (MMC 6.37).

#include <algorithm>
#include <vector>

#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kPerformanceType = 0x00;
constexpr std::uint8_t kWriteSpeedType = 0x03;
constexpr std::uint8_t kPerformanceWrite = 0x04;   // byte 1 bit 2: write performance
constexpr std::uint8_t kPerformanceExcept = 0x03;  // byte 1 bits 1-0
constexpr std::size_t kPerformanceHeader = 8;
constexpr std::size_t kDescriptorLength = 16;
constexpr std::size_t kStreamingDescriptorLength = 28;
constexpr std::uint8_t kRestoreDefaults = 0x04;  // RDD, descriptor byte 0 bit 2
constexpr std::uint16_t kMaximumSpeed = 0xFFFF;

// The fastest supported speed not above the request, else the slowest.
std::uint16_t SupportedSpeed(std::span<const std::uint16_t> speeds, std::uint32_t requested) {
  for (std::uint16_t speed : speeds) {
    if (speed <= requested) return speed;
  }
  return speeds.back();
}

}  // namespace

ScsiOutcome VirtualDrive::GetPerformance(const Command& command) {
  const std::uint16_t maxDescriptors = command.Be16(8);
  const std::uint32_t lastLba = disc_->capacity() - 1;
  const auto writeSpeeds = disc_->traits().writeSpeeds;
  std::vector<std::uint8_t> reply(kPerformanceHeader, 0);

  auto addDescriptor = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    const std::size_t at = reply.size();
    reply.resize(at + kDescriptorLength);
    bytes::PutBE32(&reply[at], a);
    bytes::PutBE32(&reply[at + 4], b);
    bytes::PutBE32(&reply[at + 8], c);
    bytes::PutBE32(&reply[at + 12], d);
  };

  switch (command.Byte(10)) {
    case kWriteSpeedType:
      // Write speed descriptors, fastest first: flags (WRC, RDD, Exact,
      // MRW) 0, End LBA, read speed, write speed (kB/s).
      for (std::size_t i = 0; i < writeSpeeds.size() && i < maxDescriptors; ++i) {
        addDescriptor(0, lastLba, disc_->traits().readSpeed, writeSpeeds[i]);
      }
      break;
    case kPerformanceType: {
      const bool write = command.Byte(1) & kPerformanceWrite;
      reply[4] = command.Byte(1) & (kPerformanceWrite | kPerformanceExcept);
      // Nominal performance: one descriptor over the whole disc; this drive
      // has no exceptions to report.
      if ((command.Byte(1) & kPerformanceExcept) == 0 && maxDescriptors > 0) {
        const std::uint32_t speed = write ? writeSpeeds.front() : disc_->traits().readSpeed;
        addDescriptor(0, speed, lastLba, speed);
      }
      break;
    }
    default:
      return Fail(sense::kInvalidFieldInCdb);
  }
  bytes::PutBE32(&reply[0], static_cast<std::uint32_t>(reply.size() - 4));
  return command.Reply(reply, reply.size());
}

ScsiOutcome VirtualDrive::SetStreaming(const Command& command) {
  if (command.Byte(8) != 0) return Fail(sense::kInvalidFieldInCdb);  // only the performance descriptor
  const std::uint16_t length = command.Be16(9);
  if (length == 0) return ScsiOutcome::Good();
  const auto list = command.Parameters(length);
  if (list.empty()) return Command::Underrun();
  if (length < kStreamingDescriptorLength) return Fail(sense::kParameterListLengthError);
  if (options_.model.strict && ReservedParameterBitsSet(command.opcode(), list)) {
    return Fail(sense::kInvalidFieldInParameterList);
  }

  const auto writeSpeeds = disc_->traits().writeSpeeds;
  if (list[0] & kRestoreDefaults) {
    speeds_ = {disc_->traits().readSpeed, writeSpeeds.front()};
    return ScsiOutcome::Good();
  }
  const std::uint32_t startLba = bytes::GetBE32(&list[4]);
  const std::uint32_t endLba = bytes::GetBE32(&list[8]);
  const std::uint32_t readSize = bytes::GetBE32(&list[12]);
  const std::uint32_t readTime = bytes::GetBE32(&list[16]);
  const std::uint32_t writeSize = bytes::GetBE32(&list[20]);
  const std::uint32_t writeTime = bytes::GetBE32(&list[24]);
  if (startLba > endLba || readTime == 0 || writeTime == 0) {
    return Fail(sense::kInvalidFieldInParameterList);
  }
  // Sizes in kB over times in ms give kB/s.
  const std::uint64_t readSpeed = std::uint64_t{readSize} * 1000 / readTime;
  const std::uint64_t writeSpeed = std::uint64_t{writeSize} * 1000 / writeTime;
  speeds_.currentRead = static_cast<std::uint16_t>(
      std::min<std::uint64_t>(readSpeed, disc_->traits().readSpeed));
  speeds_.currentWrite =
      SupportedSpeed(writeSpeeds, static_cast<std::uint32_t>(std::min<std::uint64_t>(writeSpeed, 0xFFFFFFFF)));
  return ScsiOutcome::Good();
}

ScsiOutcome VirtualDrive::SetCdSpeed(const Command& command) {
  if ((command.Byte(1) & 0x03) > 1) return Fail(sense::kInvalidFieldInCdb);  // CLV or CAV only
  const std::uint16_t read = command.Be16(2);
  const std::uint16_t write = command.Be16(4);
  const auto writeSpeeds = Traits(loadedMedium().value_or(Medium::CdR)).writeSpeeds;
  speeds_.currentRead = read == kMaximumSpeed ? kMaxReadSpeed : std::min(read, kMaxReadSpeed);
  speeds_.currentWrite = SupportedSpeed(writeSpeeds, write);
  return ScsiOutcome::Good();
}

}  // namespace wnaspi::vdrive
