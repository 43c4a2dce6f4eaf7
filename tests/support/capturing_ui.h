#pragma once
// Captures the message boxes and about boxes the engine shows.

#include <string>
#include <vector>

#include "platform/user/message_box.h"

namespace testsupport {

struct ShownMessage {
  std::string text;
  std::string caption;
  unsigned type = 0;
};

class CapturingUserInterface final : public platform::UserInterface {
 public:
  CapturingUserInterface() { platform::SetUserInterface(this); }
  ~CapturingUserInterface() override { platform::SetUserInterface(nullptr); }

  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    messages.push_back({text, caption, type});
    return platform::IDOK;
  }
  void ShowAboutBox(const platform::AboutBoxContent& content) override { aboutBoxes.push_back(content); }

  std::vector<ShownMessage> messages;
  std::vector<platform::AboutBoxContent> aboutBoxes;
};

}  // namespace testsupport
