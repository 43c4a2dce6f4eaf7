// The write parameters mode page (05h) of a recording, composed field by
// field and sent with MODE SELECT(10). Nothing is taken over from the page
// the drive holds (another program may have left packet writing, a test
// write or a raw write type there), except the bits the drive does not let
// a host change, which MODE SELECT must send back as they are.

#include <algorithm>
#include <array>
#include <vector>

#include "engine/drive/feature_reply.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
namespace {

constexpr std::uint8_t kWriteParametersPage = 0x05;
constexpr std::uint16_t kModeReplyLength = 158;
constexpr std::size_t kHeaderLength = 8;  // mode parameter header (10), no block descriptor
constexpr std::size_t kLongestPage = kModeReplyLength - kHeaderLength;

// Page bytes (MMC, Write Parameters mode page).
constexpr std::size_t kPageLength = 1;
constexpr std::size_t kWriteTypeByte = 2;   // BUFE 6, LS_V 5, Test Write 4, Write Type 3-0
constexpr std::size_t kTrackModeByte = 3;   // Multi-session 7-6, FP 5, Copy 4, Track Mode 3-0
constexpr std::size_t kDataBlockByte = 4;   // Data Block Type 3-0
constexpr std::size_t kLinkSizeByte = 5;
constexpr std::size_t kAudioPauseByte = 14;  // 2 bytes; 150 blocks is MMC's default
constexpr std::uint16_t kAudioPause = 150;

constexpr std::uint8_t kBufe = 0x40;
constexpr std::uint8_t kWriteTypeTrackAtOnce = 0x01;
constexpr std::uint8_t kWriteTypeSessionAtOnce = 0x02;
constexpr std::uint8_t kCdTrackMode = 4;  // data, recorded uninterrupted
constexpr std::uint8_t kDataBlockMode1 = 0x08;  // mode 1, 2048 bytes of user data
constexpr std::uint8_t kDvdTrackMode = 4;
constexpr std::uint8_t kDvdMinusRTrackMode = 5;  // incremental recording of DVD-R/-RW
constexpr std::uint8_t kDvdMinusRLinkSize = 16;

// Capabilities page 2Ah, byte 4 bit 7 (BUF): the drive protects against
// buffer underruns. Asked only when the changeable mask of page 05h is not.
constexpr std::size_t kCapabilitiesBufByte = kHeaderLength + 4;
constexpr std::uint8_t kCapabilitiesBuf = 0x80;

// What a recording sets in page 05h; every other field is 0.
struct PageChoice {
  std::uint8_t writeType;
  std::uint8_t multiSession;  // 2 bits
  std::uint8_t trackMode;
  std::uint8_t linkSize;
};

// The drive reports the page length; the page sent back is never longer
// than what the reply buffer holds.
std::size_t PageBytes(std::span<const std::uint8_t> reply) {
  return std::min<std::size_t>(reply[kHeaderLength + kPageLength] + 2u, kLongestPage);
}

}  // namespace

bool MmcCore::ReadWriteParameters(PageControl control, std::span<std::uint8_t> reply) {
  std::fill(reply.begin(), reply.end(), 0);
  return Issue(ModeSense10Cdb(control, kWriteParametersPage, kModeReplyLength), reply, kFlagsDataIn);
}

bool MmcCore::SelectWriteParameters(std::uint8_t writeType, std::uint8_t trackMode, std::uint8_t linkSize) {
  const PageChoice choice{writeType, multiSessionField, trackMode, linkSize};
  // The current page gives the page's length and the bits the drive keeps.
  std::array<std::uint8_t, kModeReplyLength> current{};
  if (!ReadWriteParameters(PageControl::Current, current)) return false;
  std::array<std::uint8_t, kModeReplyLength> changeable{};
  const bool maskKnown = ReadWriteParameters(PageControl::Changeable, changeable);
  // Underrun protection where the drive offers it: the BUFE bit is
  // changeable, or (a drive that reports no mask) page 2Ah says it has it.
  bool bufe = maskKnown && (changeable[kHeaderLength + kWriteTypeByte] & kBufe);
  if (!maskKnown) {
    std::array<std::uint8_t, 30> capabilities{};
    bufe = SenseCapabilities(capabilities) && (capabilities[kCapabilitiesBufByte] & kCapabilitiesBuf);
  }

  const std::size_t pageBytes = PageBytes(current);
  // An all-zero mode parameter header followed by the page. Byte 0 holds
  // the page code alone: PS is reserved in MODE SELECT.
  std::vector<std::uint8_t> list(kHeaderLength + pageBytes, 0);
  const std::span<std::uint8_t> page = std::span(list).subspan(kHeaderLength);
  page[0] = kWriteParametersPage;
  page[kPageLength] = static_cast<std::uint8_t>(pageBytes - 2);
  // Test Write, LS_V, FP, Copy off; no packet size, session format 00h
  // (CD-DA or CD-ROM), no application code, catalogue or ISRC.
  page[kWriteTypeByte] = static_cast<std::uint8_t>((bufe ? kBufe : 0) | choice.writeType);
  page[kTrackModeByte] = static_cast<std::uint8_t>(((choice.multiSession & 0x03) << 6) | choice.trackMode);
  page[kDataBlockByte] = kDataBlockMode1;
  page[kLinkSizeByte] = choice.linkSize;
  if (pageBytes >= kAudioPauseByte + 2) bytes::PutBE16(&page[kAudioPauseByte], kAudioPause);
  if (maskKnown) {
    // Bits the drive does not let a host change go back as it holds them.
    for (std::size_t i = kWriteTypeByte; i < pageBytes; ++i) {
      const std::uint8_t fixed = static_cast<std::uint8_t>(~changeable[kHeaderLength + i]);
      page[i] = static_cast<std::uint8_t>((page[i] & ~fixed) | (current[kHeaderLength + i] & fixed));
    }
  }
  return Issue(ModeSelect10Cdb(static_cast<std::uint16_t>(list.size())), list, kFlagsDataOut);
}

bool MmcCore::SetWriteParametersCd() {
  TestUnitReady();
  return SelectWriteParameters(kWriteTypeTrackAtOnce, kCdTrackMode, 0);
}

bool MmcCore::SetWriteParametersDvd() {
  bool minusR = false;
  return SelectDvdWriteParameters(minusR);
}

bool MmcCore::SelectDvdWriteParameters(bool& minusR) {
  std::array<std::uint8_t, 255> feature{};
  minusR = GetFeature(kFeatureDvdMinusRWrite, feature) &&
           FeatureListed(feature, kFeatureDvdMinusRWrite) && FeatureCurrent(feature);
  TestUnitReady();
  return SelectWriteParameters(kWriteTypeSessionAtOnce, minusR ? kDvdMinusRTrackMode : kDvdTrackMode,
                               minusR ? kDvdMinusRLinkSize : 0);
}

}  // namespace scrivo
