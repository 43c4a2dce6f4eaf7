#include "app/message_pump.h"

#include <memory>
#include <string>

#include "platform/user/message_box.h"
#include "platform/user/message_loop.h"

MessagePump::MessagePump(DebugOutput debugOutput)
    : loop_(platform::MessageLoop::ForThisThread()), debugOutput_(std::move(debugOutput)) {
  loop_.SetWakeHandler([this] {
    // One queued call covers every message posted until it runs.
    if (!scheduled_.exchange(true)) QMetaObject::invokeMethod(this, &MessagePump::DispatchPending, Qt::QueuedConnection);
  });
  if (debugOutput_) {
    platform::SetDebugSink([this](platform::DebugSource, std::string_view text) {
      QMetaObject::invokeMethod(
          this, [this, line = QString::fromStdString(std::string(text))] { debugOutput_(line); },
          Qt::QueuedConnection);
    });
  }
}

MessagePump::~MessagePump() {
  if (debugOutput_) platform::SetDebugSink(nullptr);
  loop_.SetWakeHandler(nullptr);
}

void MessagePump::DispatchPending() {
  // Cleared first: a message posted while these are handled queues a new call.
  scheduled_ = false;
  // A handler may open a modal box, whose loop runs from inside this call:
  // the messages already queued behind that handler (a job that has ended
  // meanwhile posts no more) get a call of their own from the box's loop,
  // instead of waiting for the box to close. Once this call has returned
  // the follow-up does nothing.
  auto inside = std::make_shared<bool>(true);
  QMetaObject::invokeMethod(
      this, [this, inside] { if (*inside) DispatchPending(); }, Qt::QueuedConnection);
  loop_.DispatchPending();
  *inside = false;
}
