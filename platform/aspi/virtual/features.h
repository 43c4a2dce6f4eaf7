#pragma once
// The features this drive lists in GET CONFIGURATION (MMC-5 5.3), each with
// its Current bit computed from the loaded medium.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/aspi/virtual/disc_state.h"

namespace wnaspi::vdrive {

namespace feature {
constexpr std::uint16_t kProfileList = 0x0000;
constexpr std::uint16_t kCore = 0x0001;
constexpr std::uint16_t kMorphing = 0x0002;
constexpr std::uint16_t kRemovableMedium = 0x0003;
constexpr std::uint16_t kRandomReadable = 0x0010;
constexpr std::uint16_t kMultiRead = 0x001D;
constexpr std::uint16_t kCdRead = 0x001E;
constexpr std::uint16_t kDvdRead = 0x001F;
constexpr std::uint16_t kIncrementalStreamingWritable = 0x0021;
constexpr std::uint16_t kFormattable = 0x0023;
constexpr std::uint16_t kDvdPlusRw = 0x002A;
constexpr std::uint16_t kDvdPlusR = 0x002B;
constexpr std::uint16_t kCdTrackAtOnce = 0x002D;
constexpr std::uint16_t kDvdMinusRWrite = 0x002F;
}  // namespace feature

// Request types of GET CONFIGURATION (byte 1 bits 1-0).
enum class FeatureRequest : std::uint8_t { All = 0, Current = 1, One = 2 };

// The GET CONFIGURATION reply: the 8-byte feature header (data length,
// current profile) and the descriptors the request type selects, starting at
// feature `start`. `disc` is null without a disc.
std::vector<std::uint8_t> ConfigurationReply(const DiscState* disc, FeatureRequest request,
                                             std::uint16_t start);

}  // namespace wnaspi::vdrive
