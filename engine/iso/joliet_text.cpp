#include "engine/iso/joliet_text.h"

#include "platform/bytes/byte_order.h"
#include "platform/text/codepage.h"

namespace scrivo {

std::vector<std::uint8_t> JolietIdentifier(std::string_view storedName) {
  std::u16string units = platform::NarrowToWide(storedName);
  std::vector<std::uint8_t> identifier(units.size() * 2);
  PutUcs2BigEndian(identifier.data(), units);
  return identifier;
}

void PutUcs2BigEndian(std::uint8_t* out, std::u16string_view units) {
  for (char16_t unit : units) {
    bytes::PutBE16(out, unit);
    out += 2;
  }
}

}  // namespace scrivo
