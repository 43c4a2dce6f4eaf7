#include "app/dialog_frame.h"

#include <QScreen>

namespace {

constexpr int kFontPixels = 11;

}  // namespace

void SetFixedDialogFrame(QDialog& dialog, const QSize& clientSize) {
  dialog.setFixedSize(clientSize);
  QFont font = dialog.font();
  font.setPixelSize(kFontPixels);
  dialog.setFont(font);
  if (const QScreen* screen = dialog.screen()) {
    dialog.move(screen->availableGeometry().center() - dialog.rect().center());
  }
}
