#include "platform/automation/guid.h"

#include <cctype>
#include <cstdio>

namespace platform {

std::string FormatGuid(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2,
                g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                g.data4[7]);
  return text;
}

std::optional<GUID> ParseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  std::string hex;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return std::nullopt;
    if (!dash) {
      if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
      hex.push_back(text[i]);
    }
  }
  auto field = [&hex](std::size_t at, std::size_t digits) {
    return static_cast<std::uint32_t>(std::stoul(hex.substr(at, digits), nullptr, 16));
  };
  GUID g;
  g.data1 = field(0, 8);
  g.data2 = static_cast<std::uint16_t>(field(8, 4));
  g.data3 = static_cast<std::uint16_t>(field(12, 4));
  for (std::size_t i = 0; i < 8; ++i) g.data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
  return g;
}

}  // namespace platform
