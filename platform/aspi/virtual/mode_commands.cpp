// MODE SENSE(10) and MODE SELECT(10) (SPC; pages of MMC 7.5 and MMC-3 5.5.10).

#include <vector>

#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::size_t kModeHeaderLength = 8;  // mode parameter header (10)
enum PageControl : std::uint8_t { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };
constexpr std::uint8_t kPageFormat = 0x10;  // MODE SELECT byte 1 bit 4
constexpr std::uint8_t kSavePages = 0x01;   // byte 1 bit 0

}  // namespace

ScsiOutcome VirtualDrive::ModeSense(const Command& command) {
  const auto control = static_cast<PageControl>(command.Byte(2) >> 6);
  const std::uint8_t code = command.Byte(2) & 0x3F;
  if (control == kSaved) return Fail(sense::kSavingParametersNotSupported);
  if (command.Byte(3) != 0) return Fail(sense::kInvalidFieldInCdb);  // no subpages
  if (code != kWriteParametersPageCode && code != kCapabilitiesPageCode && code != kAllPagesCode) {
    return Fail(sense::kInvalidFieldInCdb);
  }

  std::vector<std::uint8_t> reply(kModeHeaderLength, 0);  // no block descriptor
  if (code == kWriteParametersPageCode || code == kAllPagesCode) {
    const WriteParametersPage page = control == kChangeable ? ChangeableWriteParameters(options_.model.strict)
                                     : control == kDefault  ? InitialWriteParameters()
                                                            : writeParameters_;
    reply.insert(reply.end(), page.begin(), page.end());
  }
  if (code == kCapabilitiesPageCode || code == kAllPagesCode) {
    const auto page = control == kChangeable ? ChangeableCapabilitiesPage(loadedMedium())
                                             : CapabilitiesPage(loadedMedium(), speeds_, options_.model.strict);
    reply.insert(reply.end(), page.begin(), page.end());
  }
  bytes::PutBE16(&reply[0], static_cast<std::uint16_t>(reply.size() - 2));
  return command.Reply(reply, command.Be16(7));
}

ScsiOutcome VirtualDrive::ModeSelect(const Command& command) {
  if (!(command.Byte(1) & kPageFormat) || (command.Byte(1) & kSavePages)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  const std::uint16_t length = command.Be16(7);
  if (length == 0) return ScsiOutcome::Good();
  const auto list = command.Parameters(length);
  if (list.empty()) return Command::Underrun();
  if (length < kModeHeaderLength) return Fail(sense::kParameterListLengthError);
  if (bytes::GetBE16(&list[6]) != 0) return Fail(sense::kInvalidFieldInParameterList);
  if (options_.model.strict && ReservedParameterBitsSet(command.opcode(), list)) {
    return Fail(sense::kInvalidFieldInParameterList);
  }

  // Every page is checked before any takes effect.
  WriteParametersPage staged = writeParameters_;
  for (std::size_t at = kModeHeaderLength; at < length;) {
    if (length - at < 2 || length - at < 2u + list[at + 1]) {
      return Fail(sense::kParameterListLengthError);
    }
    const auto page = list.subspan(at, 2u + list[at + 1]);
    if ((page[0] & 0x3F) != kWriteParametersPageCode) {
      return Fail(sense::kInvalidFieldInParameterList);  // page 2Ah cannot be changed
    }
    if (auto problem = CheckWriteParameters(page, staged, options_.model.strict)) return Fail(*problem);
    if (options_.model.strict) {
      if (auto problem = CheckWriteParametersStrictly(page, loadedMedium())) return Fail(*problem);
    }
    std::copy(page.begin(), page.end(), staged.begin());
    staged[0] = kWriteParametersPageCode;  // PS is not kept
    at += page.size();
  }
  writeParameters_ = staged;
  return ScsiOutcome::Good();
}

}  // namespace wnaspi::vdrive
