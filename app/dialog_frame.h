#pragma once
// The frame the application's small dialogs share: a fixed size with only a
// close button, the 11-pixel font, centred on the screen.

#include <QDialog>

constexpr Qt::WindowFlags kFixedDialog =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

void SetFixedDialogFrame(QDialog& dialog, const QSize& clientSize);
