#pragma once
// Sense data as a drive reports it: sense key, additional sense code (ASC)
// and qualifier (ASCQ), kept as named fields, and the fixed format (SPC,
// response code 70h) they travel in. The named conditions below are the ones
// an MMC drive reports for the situations the virtual writers emulate.

#include <array>
#include <cstdint>
#include <optional>

namespace wnaspi {

struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  // Sense-key specific progress indication (SKSV set, bytes 16-17) of a
  // drive busy with an immediate operation.
  std::optional<std::uint16_t> progress;
  // The information field (VALID set, bytes 3-6): the block a failed write
  // stopped at.
  std::optional<std::uint32_t> information;

  bool operator==(const Sense&) const = default;
};

namespace sense_key {
constexpr std::uint8_t kNoSense = 0x0;
constexpr std::uint8_t kNotReady = 0x2;
constexpr std::uint8_t kMediumError = 0x3;
constexpr std::uint8_t kIllegalRequest = 0x5;
constexpr std::uint8_t kUnitAttention = 0x6;
}  // namespace sense_key

namespace sense {
using namespace sense_key;
constexpr Sense kNone{kNoSense, 0x00, 0x00, {}, {}};
// NOT READY
// The drive cannot say why: the layer uses it for a drive the system keeps
// (a mounted disc), the reason being the device's note (scsi_request.h).
constexpr Sense kNotReadyCauseNotReportable{kNotReady, 0x04, 0x00, {}, {}};
constexpr Sense kBecomingReady{kNotReady, 0x04, 0x01, {}, {}};
constexpr Sense kFormatInProgress{kNotReady, 0x04, 0x04, {}, {}};
constexpr Sense kOperationInProgress{kNotReady, 0x04, 0x07, {}, {}};
constexpr Sense kLongWriteInProgress{kNotReady, 0x04, 0x08, {}, {}};
constexpr Sense kMediumNotPresent{kNotReady, 0x3A, 0x00, {}, {}};
constexpr Sense kMediumNotPresentTrayClosed{kNotReady, 0x3A, 0x01, {}, {}};
constexpr Sense kMediumNotPresentTrayOpen{kNotReady, 0x3A, 0x02, {}, {}};
// MEDIUM ERROR
constexpr Sense kWriteError{kMediumError, 0x0C, 0x00, {}, {}};
constexpr Sense kLossOfStreaming{kMediumError, 0x0C, 0x09, {}, {}};  // buffer underrun
constexpr Sense kUnrecoveredReadError{kMediumError, 0x11, 0x00, {}, {}};
constexpr Sense kMediumFormatCorrupted{kMediumError, 0x31, 0x00, {}, {}};
// ILLEGAL REQUEST
constexpr Sense kParameterListLengthError{kIllegalRequest, 0x1A, 0x00, {}, {}};
constexpr Sense kInvalidOpcode{kIllegalRequest, 0x20, 0x00, {}, {}};
constexpr Sense kLbaOutOfRange{kIllegalRequest, 0x21, 0x00, {}, {}};
constexpr Sense kInvalidAddressForWrite{kIllegalRequest, 0x21, 0x02, {}, {}};
constexpr Sense kInvalidFieldInCdb{kIllegalRequest, 0x24, 0x00, {}, {}};
constexpr Sense kLogicalUnitNotSupported{kIllegalRequest, 0x25, 0x00, {}, {}};
constexpr Sense kInvalidFieldInParameterList{kIllegalRequest, 0x26, 0x00, {}, {}};
constexpr Sense kCommandSequenceError{kIllegalRequest, 0x2C, 0x00, {}, {}};
constexpr Sense kMediumRemovalPrevented{kIllegalRequest, 0x53, 0x02, {}, {}};
constexpr Sense kSessionFixationError{kIllegalRequest, 0x72, 0x00, {}, {}};
constexpr Sense kSessionFixationIncompleteTrack{kIllegalRequest, 0x72, 0x03, {}, {}};
constexpr Sense kIncompatibleMedium{kIllegalRequest, 0x30, 0x00, {}, {}};
constexpr Sense kCannotWriteIncompatibleFormat{kIllegalRequest, 0x30, 0x05, {}, {}};
constexpr Sense kCannotFormatIncompatibleMedium{kIllegalRequest, 0x30, 0x06, {}, {}};
constexpr Sense kMediumNotFormatted{kIllegalRequest, 0x30, 0x10, {}, {}};
constexpr Sense kSavingParametersNotSupported{kIllegalRequest, 0x39, 0x00, {}, {}};
constexpr Sense kIllegalModeForTrack{kIllegalRequest, 0x64, 0x00, {}, {}};
// UNIT ATTENTION
constexpr Sense kMediumMayHaveChanged{kUnitAttention, 0x28, 0x00, {}, {}};
}  // namespace sense

// Fixed-format sense data, 18 bytes (SPC, 4.5.3): response code 70h (current
// error), the key in byte 2, additional length 10 in byte 7, ASC and ASCQ in
// bytes 12-13, and with a progress indication SKSV (byte 15 bit 7) and the
// progress in bytes 16-17, big-endian.
constexpr std::size_t kFixedSenseLength = 18;
std::array<std::uint8_t, kFixedSenseLength> FixedFormat(const Sense& sense);

}  // namespace wnaspi
