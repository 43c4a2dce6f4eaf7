// BLANK (MMC 6.2) and FORMAT UNIT (MMC 6.5) with their immediate mode: the
// drive accepts the command at once, then answers TEST UNIT READY with NOT
// READY and a progress indication until the operation has run through its
// polls. Progress depends on the number of polls, never on the clock, so a
// test sees the same sequence every time.

#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kBlankImmed = 0x10;  // BLANK byte 1 bit 4
constexpr std::uint8_t kBlankTypeMask = 0x07;
constexpr std::uint8_t kBlankDisc = 0x0;
constexpr std::uint8_t kBlankMinimal = 0x1;

constexpr std::uint8_t kFmtData = 0x10;  // FORMAT UNIT byte 1 bit 4
constexpr std::uint8_t kFormatCodeMask = 0x07;
constexpr std::uint8_t kFormatCodeMmc = 0x01;
constexpr std::size_t kFormatParameterLength = 12;  // header 4 + one format descriptor 8
constexpr std::uint8_t kFov = 0x80;    // format options valid, header byte 1
constexpr std::uint8_t kImmed = 0x02;  // header byte 1 bit 1
constexpr std::uint8_t kFormatOptionBits = 0x7E;
constexpr std::uint16_t kFormatDescriptorLength = 8;
constexpr std::uint8_t kFormatTypeDvdPlusRwFull = 0x26;
constexpr std::uint32_t kMaximumBlocks = 0xFFFFFFFF;

}  // namespace

ScsiOutcome VirtualDrive::Blank(const Command& command) {
  const std::uint8_t type = command.Byte(1) & kBlankTypeMask;
  if (!disc_->traits().blankable) return Fail(sense::kIncompatibleMedium);
  if (type != kBlankDisc && type != kBlankMinimal) return Fail(sense::kInvalidFieldInCdb);
  disc_->busy = {BusyKind::Blank, 0, options_.pollsPerOperation};
  ruined_ = false;
  buffer_.Reset();
  if (!(command.Byte(1) & kBlankImmed)) FinishOperation();
  return ScsiOutcome::Good();
}

ScsiOutcome VirtualDrive::FormatUnit(const Command& command) {
  if (!(command.Byte(1) & kFmtData) || (command.Byte(1) & kFormatCodeMask) != kFormatCodeMmc) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  const auto list = command.Parameters(kFormatParameterLength);
  if (list.empty()) return Command::Underrun();
  if (disc_->medium != Medium::DvdPlusRw) return Fail(sense::kCannotFormatIncompatibleMedium);
  const bool optionsValid = list[1] & kFov;
  if (options_.model.strict && ReservedParameterBitsSet(command.opcode(), list)) {
    return Fail(sense::kInvalidFieldInParameterList);
  }
  // FFFFFFFFh blocks asks for the most the disc takes.
  const std::uint32_t blocks = bytes::GetBE32(&list[4]);
  if ((!optionsValid && (list[1] & kFormatOptionBits)) ||
      bytes::GetBE16(&list[2]) != kFormatDescriptorLength ||
      (list[8] >> 2) != kFormatTypeDvdPlusRwFull ||
      (blocks > disc_->capacity() && blocks != kMaximumBlocks)) {
    return Fail(sense::kInvalidFieldInParameterList);
  }
  disc_->busy = {BusyKind::Format, 0, options_.pollsPerOperation};
  if (!(optionsValid && (list[1] & kImmed))) FinishOperation();
  return ScsiOutcome::Good();
}

bool VirtualDrive::PollOperation(bool readinessTest) {
  BusyState& busy = disc_->busy;
  ++busy.polls;
  // The readiness test after the last poll finds the drive ready; an
  // initiator that only asks REQUEST SENSE sees it ready after twice as many.
  const bool done = (readinessTest && busy.polls > busy.total) || busy.polls >= 2 * busy.total;
  if (done) FinishOperation();
  return done;
}

Sense VirtualDrive::BusySense() const {
  const BusyState& busy = disc_->busy;
  Sense sense = busy.kind == BusyKind::Format ? sense::kFormatInProgress : sense::kOperationInProgress;
  const std::uint32_t done = std::min(busy.polls, busy.total);
  sense.progress = static_cast<std::uint16_t>(std::uint64_t{done} * 0xFFFF / busy.total);
  return sense;
}

void VirtualDrive::FinishOperation() {
  const BusyKind kind = disc_->busy.kind;
  *disc_ = kind == BusyKind::Format ? DiscState::FormattedDvdPlusRw() : DiscState::Blank(disc_->medium);
  store_.EraseBlocks();
}

}  // namespace wnaspi::vdrive
