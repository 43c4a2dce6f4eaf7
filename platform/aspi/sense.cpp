#include "platform/aspi/sense.h"

#include "platform/bytes/byte_order.h"

namespace wnaspi {

namespace {
constexpr std::uint8_t kCurrentErrorFixed = 0x70;
constexpr std::uint8_t kAdditionalLength = kFixedSenseLength - 8;
constexpr std::uint8_t kSksv = 0x80;
constexpr std::uint8_t kValid = 0x80;  // byte 0: the information field is valid
}  // namespace

std::array<std::uint8_t, kFixedSenseLength> FixedFormat(const Sense& sense) {
  std::array<std::uint8_t, kFixedSenseLength> bytes{};
  bytes[0] = kCurrentErrorFixed;
  bytes[2] = sense.key & 0x0F;
  if (sense.information) {
    bytes[0] |= kValid;
    bytes::PutBE32(&bytes[3], *sense.information);
  }
  bytes[7] = kAdditionalLength;
  bytes[12] = sense.asc;
  bytes[13] = sense.ascq;
  if (sense.progress) {
    bytes[15] = kSksv;
    bytes::PutBE16(&bytes[16], *sense.progress);
  }
  return bytes;
}

}  // namespace wnaspi
