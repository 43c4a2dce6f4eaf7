#include "platform/user/message_box.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

class StandardErrorInterface final : public UserInterface {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
  }
  void ShowAboutBox(const AboutBoxContent& content) override {
    std::fprintf(stderr, "%s: %s\n", content.title.c_str(), content.text.c_str());
  }
};

StandardErrorInterface g_default;
UserInterface* g_service = nullptr;
std::mutex g_sinkMutex;
DebugSink g_sink;

UserInterface& Service() { return g_service ? *g_service : g_default; }

}  // namespace

void SetUserInterface(UserInterface* service) { g_service = service; }

int MessageBoxA(const std::string& text, const std::string& caption, unsigned type) {
  return Service().ShowMessageBox(text, caption, type);
}

void ShowAboutBox(const AboutBoxContent& content) { Service().ShowAboutBox(content); }

void SetDebugSink(DebugSink sink) {
  std::lock_guard lock(g_sinkMutex);
  g_sink = std::move(sink);
}

void DebugLog(DebugSource source, std::string_view text) {
  std::lock_guard lock(g_sinkMutex);
  if (g_sink) g_sink(source, text);
}

}  // namespace platform
