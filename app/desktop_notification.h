#pragma once
// A desktop notification (org.freedesktop.Notifications on the session
// bus): shown by the desktop's notification service when there is one,
// nothing otherwise.

#include <QString>

void SendDesktopNotification(const QString& title, const QString& text);
