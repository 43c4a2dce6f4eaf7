// The write parameters mode page (05h) of a recording: the drive's default
// page with the fields the engine decides changed, sent back with MODE
// SELECT(10). Fields the engine does not name stay as the drive reported.

#include <algorithm>
#include <array>
#include <vector>

#include "engine/drive/feature_reply.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/mmc_core.h"

namespace scrivo {
namespace {

constexpr std::uint8_t kWriteParametersPage = 0x05;
constexpr std::uint16_t kModeReplyLength = 158;
constexpr std::size_t kHeaderLength = 8;  // mode parameter header (10), no block descriptor
constexpr std::size_t kLongestPage = kModeReplyLength - kHeaderLength;

// Page bytes (MMC, Write Parameters mode page).
constexpr std::size_t kPageLength = 1;
constexpr std::size_t kWriteTypeByte = 2;    // bits 3-0 Write Type, bit 4 Test Write
constexpr std::size_t kTrackModeByte = 3;    // bits 7-6 Multi-session, 3-0 Track Mode
constexpr std::size_t kDataBlockByte = 4;    // bits 3-0 Data Block Type
constexpr std::size_t kLinkSizeByte = 5;

constexpr std::uint8_t kKeepBufeLsv = 0xE0;  // BUFE, LS_V and bit 7 stay as reported
constexpr std::uint8_t kWriteTypeTrackAtOnce = 0x01;
constexpr std::uint8_t kWriteTypeSessionAtOnce = 0x02;
constexpr std::uint8_t kKeepTrackMode = 0x0F;
constexpr std::uint8_t kDataBlockMode1 = 0x08;  // mode 1, 2048 bytes of user data
constexpr std::uint8_t kDvdTrackMode = 4;
constexpr std::uint8_t kDvdMinusRTrackMode = 5;  // incremental recording of DVD-R/-RW
constexpr std::uint8_t kDvdMinusRLinkSize = 16;

std::uint8_t MultiSessionBits(std::uint8_t field) {
  return static_cast<std::uint8_t>((field & 0x03) << 6);
}

std::span<std::uint8_t> PageOf(std::span<std::uint8_t> reply) {
  return reply.subspan(kHeaderLength);
}

// The drive reports the page length; the page sent back is never longer
// than what the reply buffer holds.
std::size_t PageBytes(std::span<const std::uint8_t> reply) {
  return std::min<std::size_t>(reply[kHeaderLength + kPageLength] + 2u, kLongestPage);
}

}  // namespace

bool MmcCore::ReadWriteParametersDefaults(std::span<std::uint8_t> reply) {
  std::fill(reply.begin(), reply.end(), 0);
  return Issue(ModeSense10Cdb(PageControl::Default, kWriteParametersPage, kModeReplyLength),
               reply, kFlagsDataIn);
}

bool MmcCore::SelectWriteParameters(std::span<const std::uint8_t> reply) {
  const std::size_t pageBytes = PageBytes(reply);
  // An all-zero mode parameter header followed by the page.
  std::vector<std::uint8_t> list(kHeaderLength + pageBytes, 0);
  std::copy_n(reply.begin() + kHeaderLength, pageBytes, list.begin() + kHeaderLength);
  const auto length = static_cast<std::uint16_t>(list.size());
  return Issue(ModeSelect10Cdb(length), list, kFlagsDataOut);
}

bool MmcCore::SetWriteParametersCd() {
  TestUnitReady();
  TestUnitReady();
  std::array<std::uint8_t, kModeReplyLength> reply{};
  if (!ReadWriteParametersDefaults(reply)) return false;
  auto page = PageOf(reply);
  page[kWriteTypeByte] = (page[kWriteTypeByte] & kKeepBufeLsv) | kWriteTypeTrackAtOnce;
  page[kTrackModeByte] = (page[kTrackModeByte] & kKeepTrackMode) | MultiSessionBits(multiSessionField);
  page[kDataBlockByte] = kDataBlockMode1;
  return SelectWriteParameters(reply);
}

bool MmcCore::SetWriteParametersDvd() {
  bool minusR = false;
  return SelectDvdWriteParameters(minusR);
}

bool MmcCore::SelectDvdWriteParameters(bool& minusR) {
  std::array<std::uint8_t, 255> feature{};
  minusR = GetFeature(kFeatureDvdMinusRWrite, feature) &&
           FeatureListed(feature, kFeatureDvdMinusRWrite) && FeatureCurrent(feature);
  const std::uint8_t trackMode = minusR ? kDvdMinusRTrackMode : kDvdTrackMode;

  std::array<std::uint8_t, kModeReplyLength> reply{};
  TestUnitReady();
  if (!ReadWriteParametersDefaults(reply)) return false;
  auto page = PageOf(reply);
  page[kWriteTypeByte] = (page[kWriteTypeByte] & kKeepBufeLsv) | kWriteTypeSessionAtOnce;
  page[kTrackModeByte] = MultiSessionBits(multiSessionField) | trackMode;
  page[kDataBlockByte] = kDataBlockMode1;
  page[kLinkSizeByte] = minusR ? kDvdMinusRLinkSize : 0;
  return SelectWriteParameters(reply);
}

}  // namespace scrivo
