// INQUIRY (SPC) and GET CONFIGURATION (MMC 6.6).

#include <string>

#include "platform/aspi/virtual/features.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kEvpd = 0x01;
constexpr std::size_t kStandardInquiryLength = 36;
constexpr std::uint8_t kSupportedPagesVpd = 0x00;
constexpr std::uint8_t kSerialNumberVpd = 0x80;

// Identification fields are ASCII, left-aligned and padded with spaces. The
// engine describes a writer by vendor, product and the first three revision
// characters run together (27 characters): "QUILLON VIRTUAL DRIVE 0 1.0".
constexpr std::string_view kVendor = "QUILLON ";
constexpr std::string_view kRevision = "1.00";

void PutAscii(std::uint8_t* out, std::string_view text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

std::string ProductId(std::uint8_t target) {
  return "VIRTUAL DRIVE " + std::to_string(target);
}

std::string SerialNumber(std::uint8_t target) { return "QVW" + std::to_string(target); }

}  // namespace

ScsiOutcome VirtualDrive::Inquiry(const Command& command) {
  const std::uint16_t allocation = command.Be16(3);
  if (command.Byte(1) & kEvpd) {
    std::vector<std::uint8_t> page{0x05, command.Byte(2), 0, 0};
    if (command.Byte(2) == kSupportedPagesVpd) {
      page.insert(page.end(), {kSupportedPagesVpd, kSerialNumberVpd});
    } else if (command.Byte(2) == kSerialNumberVpd) {
      const std::string serial = SerialNumber(options_.target);
      page.insert(page.end(), serial.begin(), serial.end());
    } else {
      return Fail(sense::kInvalidFieldInCdb);
    }
    page[3] = static_cast<std::uint8_t>(page.size() - 4);
    return command.Reply(page, allocation);
  }
  if (command.Byte(2) != 0) return Fail(sense::kInvalidFieldInCdb);

  std::array<std::uint8_t, kStandardInquiryLength> data{};
  data[0] = 0x05;  // peripheral device type: CD/DVD device
  data[1] = 0x80;  // RMB: removable medium
  data[2] = 0x05;  // version: SPC-3
  data[3] = 0x02;  // response data format 2
  data[4] = kStandardInquiryLength - 5;
  PutAscii(&data[8], kVendor, 8);
  PutAscii(&data[16], ProductId(options_.target), 16);
  PutAscii(&data[32], kRevision, 4);
  return command.Reply(data, allocation);
}

ScsiOutcome VirtualDrive::GetConfiguration(const Command& command) {
  const std::uint8_t type = command.Byte(1) & 0x03;
  if (type > static_cast<std::uint8_t>(FeatureRequest::One)) return Fail(sense::kInvalidFieldInCdb);
  const auto reply =
      ConfigurationReply(disc_, static_cast<FeatureRequest>(type), command.Be16(2));
  return command.Reply(reply, command.Be16(7));
}

}  // namespace wnaspi::vdrive
