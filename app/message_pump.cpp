#include "app/message_pump.h"

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
  loop_.DispatchPending();
}
