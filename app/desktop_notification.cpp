#include "app/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void SendDesktopNotification(const QString& title, const QString& text) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  constexpr const char* kService = "org.freedesktop.Notifications";
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService)) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications", kService, "Notify");
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
  call << QString("Quillon CD & DVD Burner") << 0u << QString("quillonburner") << title << text << QStringList()
       << QVariantMap() << -1;
  // Sent without waiting for the answer: the window does not wait on the desktop.
  bus.asyncCall(call);
}
