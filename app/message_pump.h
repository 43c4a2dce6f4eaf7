#pragma once
// Runs the GUI thread's platform message loop from inside Qt's event loop.
// The engine's workers post window messages from their own threads; the
// loop's wake handler (called on the posting thread, or on the GUI thread in
// the middle of a call into the control) only queues one call into Qt's
// loop, and that call dispatches everything pending, in post order, on the
// GUI thread. A modal dialog's own event loop keeps dispatching, so event
// handlers may run inside a message box opened by another handler.

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

namespace platform {
class MessageLoop;
}

class MessagePump final : public QObject {
  Q_OBJECT

 public:
  using DebugOutput = std::function<void(const QString&)>;

  // Called on the GUI thread, before the control is created. Debug texts,
  // written by the engine's workers too, reach `debugOutput` on the GUI
  // thread; without it the debug channel stays off.
  explicit MessagePump(DebugOutput debugOutput = {});
  // Removes the handler and the debug sink: release the control first, so
  // no worker is left to post or write.
  ~MessagePump() override;

  // Handles what the control has posted so far, in post order. Only from
  // Qt's loop or a command it runs, never from inside a wake.
  void DispatchPending();

 private:
  platform::MessageLoop& loop_;
  std::atomic<bool> scheduled_{false};
  DebugOutput debugOutput_;
};
