// A host may drop its last reference to the control from inside any of its
// event handlers: the control finishes handling the message first, and
// nothing more reaches the host once it has let go.

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "engine/control/module_state.h"
#include "engine/control/scrivo_ctrl.h"
#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/event_sink.h"
#include "platform/user/message_loop.h"

namespace {

using platform::DISPID;

enum class Outgoing { Events, Diagnostics };

// Holds the only reference to the control and drops it in the handler of
// one event; counts whatever arrives afterwards.
class ReleasingHost {
 public:
  ReleasingHost(Outgoing releaseOn, DISPID id) : releaseOn_(releaseOn), releaseId_(id) {
    control = new scrivo::CScrivoCtrl();
    control->AddRef();
    Advise(scrivo::ids::kEventInterface, events_);
    Advise(scrivo::ids::kDiagnosticsInterface, diagnostics_);
  }

  scrivo::CScrivoCtrl* control = nullptr;
  int eventsAfterRelease = 0;

 private:
  class Sink final : public platform::EventSink {
   public:
    Sink(ReleasingHost& host, Outgoing from) : host_(host), from_(from) {}

   private:
    void OnEvent(DISPID id, std::span<const platform::Variant>) override { host_.OnEvent(from_, id); }
    ReleasingHost& host_;
    Outgoing from_;
  };

  void Advise(const platform::IID& iid, Sink& sink) {
    platform::ComPtr<platform::IConnectionPoint> point;
    control->FindConnectionPoint(iid, reinterpret_cast<platform::IConnectionPoint**>(point.Out()));
    std::uint32_t cookie = 0;
    point->Advise(&sink, &cookie);
  }

  void OnEvent(Outgoing from, DISPID id) {
    if (!control) {
      ++eventsAfterRelease;
    } else if (from == releaseOn_ && id == releaseId_) {
      std::exchange(control, nullptr)->Release();
    }
  }

  Outgoing releaseOn_;
  DISPID releaseId_;
  Sink events_{*this, Outgoing::Events};
  Sink diagnostics_{*this, Outgoing::Diagnostics};
};

struct ReleaseCase {
  const char* event;
  Outgoing from;
  DISPID id;
  // Makes the control raise the event; messages queued behind it must not
  // reach the host once it has released the control.
  std::function<void(scrivo::CScrivoCtrl&)> raise;
};

void PostTwice(scrivo::CScrivoCtrl& control, std::uint32_t message, std::uintptr_t wParam) {
  control.PostJobMessage(message, wParam);
  control.PostJobMessage(message, wParam);
}

TEST(HostRelease, ControlOutlivesTheHandlerThatDropsTheLastReference) {
  const ReleaseCase cases[] = {
      {"Progress", Outgoing::Events, scrivo::EVENTID_PROGRESS,
       [](auto& c) { PostTwice(c, scrivo::WM_JOB_PROGRESS, 500); }},
      {"Finished", Outgoing::Events, scrivo::EVENTID_FINISHED,
       [](auto& c) { PostTwice(c, scrivo::WM_BURN_FINISHED, 0); }},
      {"BlankFinished", Outgoing::Events, scrivo::EVENTID_BLANKFINISHED,
       [](auto& c) { PostTwice(c, scrivo::WM_BLANK_FINISHED, 0); }},
      {"EngineError", Outgoing::Diagnostics, scrivo::DIAGID_ENGINEERROR,
       [](auto& c) {
         c.ReportError("Unable to burn image.");
         c.PostJobMessage(scrivo::WM_BURN_FINISHED, 0);
       }},
      // With no ASPI layer bound the format fails at once, on the worker.
      {"JobFailed", Outgoing::Diagnostics, scrivo::DIAGID_JOBFAILED, [](auto& c) { c.BlankDVD(); }},
  };
  auto& loop = platform::MessageLoop::ForThisThread();
  for (const ReleaseCase& c : cases) {
    SCOPED_TRACE(c.event);
    const long liveBefore = scrivo::module::g_liveObjects.load();
    ReleasingHost host(c.from, c.id);
    c.raise(*host.control);
    for (int i = 0; i < 1000 && host.control; ++i) loop.WaitAndDispatch(std::chrono::milliseconds(10));
    ASSERT_EQ(host.control, nullptr) << "the event never came";
    loop.DispatchPending();
    EXPECT_EQ(host.eventsAfterRelease, 0);
    EXPECT_EQ(scrivo::module::g_liveObjects.load(), liveBefore) << "the control was not destroyed";
  }
}

}  // namespace
