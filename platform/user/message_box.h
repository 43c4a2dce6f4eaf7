#pragma once
// Message boxes, the modal about box and the debug channel. The host installs
// the service that shows them (the desktop application shows dialogs, the
// command-line host prints, tests capture).

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// MessageBox type flags (Win32 values).
constexpr unsigned MB_OK = 0x0000;
constexpr unsigned MB_OKCANCEL = 0x0001;
constexpr unsigned MB_YESNO = 0x0004;
constexpr unsigned MB_ICONERROR = 0x0010;
constexpr unsigned MB_ICONQUESTION = 0x0020;
constexpr unsigned MB_ICONWARNING = 0x0030;
constexpr unsigned MB_ICONINFORMATION = 0x0040;
// MessageBox results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct AboutBoxContent {
  std::string title;
  std::string iconResource;  // which icon the dialog shows
  std::string text;
  std::string buttonText;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
  virtual void ShowAboutBox(const AboutBoxContent& content) = 0;
};

// Installs the host's service (null restores the default, which writes to
// standard error). The service must outlive its installation.
void SetUserInterface(UserInterface* service);

// Shown with no owner window.
int MessageBoxA(const std::string& text, const std::string& caption, unsigned type);
void ShowAboutBox(const AboutBoxContent& content);

// The debug channel: texts meant for developers and diagnosing users, never
// shown unless a host turns the channel on.
enum class DebugSource { EngineError, Diagnostic };
using DebugSink = std::function<void(DebugSource, std::string_view)>;
void SetDebugSink(DebugSink sink);
void DebugLog(DebugSource source, std::string_view text);

}  // namespace platform
