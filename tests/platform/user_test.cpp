// Posted messages and the code-page conversions.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/user/message_loop.h"

namespace {

using namespace std::chrono_literals;

struct Recorder : platform::WindowHandler {
  void HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    seen.push_back({message, wParam, lParam});
    thread = std::this_thread::get_id();
  }
  struct Seen {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    friend bool operator==(const Seen&, const Seen&) = default;
  };
  std::vector<Seen> seen;
  std::thread::id thread;
};

TEST(Messages, PostedFromAWorkerAreHandledOnTheWindowsThreadInPostOrder) {
  Recorder recorder;
  platform::HWND window = platform::CreateWindowFor(&recorder);
  std::thread worker([window] {
    for (std::uintptr_t i = 1; i <= 50; ++i) platform::PostMessage(window, 1032, i * 10, 0);
    platform::PostMessage(window, 1033, 0, 0);
  });
  worker.join();
  EXPECT_TRUE(recorder.seen.empty());  // nothing runs until the loop is pumped
  EXPECT_EQ(platform::MessageLoop::ForThisThread().DispatchPending(), 51u);
  ASSERT_EQ(recorder.seen.size(), 51u);
  for (std::size_t i = 0; i < 50; ++i) EXPECT_EQ(recorder.seen[i].wParam, (i + 1) * 10);
  EXPECT_EQ(recorder.seen.back(), (Recorder::Seen{1033, 0, 0}));
  EXPECT_EQ(recorder.thread, std::this_thread::get_id());
  platform::DestroyWindow(window);
}

TEST(Messages, MessagesForADestroyedWindowAreDropped) {
  Recorder recorder;
  platform::HWND window = platform::CreateWindowFor(&recorder);
  EXPECT_TRUE(platform::PostMessage(window, 1524, 0, 0));
  platform::DestroyWindow(window);
  EXPECT_FALSE(platform::PostMessage(window, 1524, 0, 0));
  EXPECT_EQ(platform::MessageLoop::ForThisThread().DispatchPending(), 0u);
  EXPECT_TRUE(recorder.seen.empty());
}

TEST(Messages, WaitingWakesForAPostAndTheWakeHandlerIsCalled) {
  Recorder recorder;
  platform::HWND window = platform::CreateWindowFor(&recorder);
  int wakes = 0;
  platform::MessageLoop::ForThisThread().SetWakeHandler([&wakes] { ++wakes; });
  std::thread worker([window] { platform::PostMessage(window, 1032, 7, 0); });
  EXPECT_TRUE(platform::MessageLoop::ForThisThread().WaitAndDispatch(10s));
  worker.join();
  EXPECT_EQ(wakes, 1);
  platform::MessageLoop::ForThisThread().SetWakeHandler(nullptr);
  platform::DestroyWindow(window);
}

TEST(Messages, WindowPlacementIsKept) {
  Recorder recorder;
  platform::HWND window = platform::CreateWindowFor(&recorder, {10, 20, 300, 40});
  EXPECT_EQ(platform::GetWindowRect(window), (platform::Rect{10, 20, 300, 40}));
  platform::SetWindowRect(window, {10, 20, 1, 1});
  EXPECT_EQ(platform::GetWindowRect(window).width, 1);
  platform::DestroyWindow(window);
}

TEST(CodePage, Utf8NamesRoundTripThroughUtf16) {
  std::string name = "Fotos/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5.txt";  // été € and a note
  std::u16string wide = platform::Utf8ToUtf16(name);
  EXPECT_EQ(wide.substr(0, 8), u"Fotos/\u00E9t");
  EXPECT_EQ(wide.size(), 18u);  // the note is a surrogate pair
  EXPECT_EQ(platform::Utf16ToUtf8(wide), name);
}

TEST(CodePage, BrokenInputIsReplacedNotDropped) {
  EXPECT_EQ(platform::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  std::u16string lone = u"x";
  lone.push_back(static_cast<char16_t>(0xD800));  // an unpaired surrogate
  lone.push_back(u'y');
  EXPECT_EQ(platform::Utf16ToUtf8(lone), "x?y");
}

TEST(CodePage, InvalidBytesCanComeOutAsLatin1SoDistinctNamesStayDistinct) {
  using platform::InvalidBytes;
  EXPECT_EQ(platform::NarrowToWide("a\xFF", InvalidBytes::AsLatin1), u"a\u00FF");
  EXPECT_EQ(platform::NarrowToWide("caf\xC3\xA9 caf\xE9", InvalidBytes::AsLatin1), u"caf\u00E9 caf\u00E9");
  // A sequence cut short, then a surrogate and an overlong form: byte by byte.
  EXPECT_EQ(platform::NarrowToWide("\xE2\x82" "A\xED\xA0\x80\xC0\xAF", InvalidBytes::AsLatin1),
            u"\u00E2\u0082A\u00ED\u00A0\u0080\u00C0\u00AF");
  EXPECT_EQ(platform::NarrowToWide("a\xFF"), u"a\uFFFD") << "replaced by default";
}

TEST(CodePage, ThePlainCLocaleIsTakenAsUtf8) {
  // Tests run in the C locale unless the environment says otherwise.
  EXPECT_EQ(platform::NarrowCharset(), "UTF-8");
  EXPECT_EQ(platform::NarrowToWide("\xC3\xA9"), u"\u00E9");
}

}  // namespace
