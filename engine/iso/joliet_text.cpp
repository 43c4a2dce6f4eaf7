#include "engine/iso/joliet_text.h"

#include "platform/bytes/byte_order.h"
#include "platform/text/codepage.h"

namespace scrivo {

std::u16string JolietName(std::string_view storedName) {
  return platform::NarrowToWide(storedName, platform::InvalidBytes::AsLatin1);
}

std::vector<std::uint8_t> JolietIdentifier(std::string_view storedName) {
  std::u16string units = JolietName(storedName);
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
