#pragma once
// The simple drawing a control does on its host's surface.

#include <cstdint>
#include <string>

#include "platform/user/message_loop.h"

namespace platform {

// 0x00BBGGRR, as Win32 COLORREF.
using Color = std::uint32_t;
constexpr Color RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return Color{r} | (Color{g} << 8) | (Color{b} << 16);
}

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void FillRect(const Rect& rect, Color color) = 0;
  // One line of text centred horizontally and vertically in `rect`, on a
  // transparent background.
  virtual void DrawCenteredText(const Rect& rect, const std::string& text, Color color) = 0;
};

}  // namespace platform
