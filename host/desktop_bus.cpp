#include "host/desktop_bus.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/user/message_box.h"

namespace quillonhost {
namespace {

// Quick answers: a job does not wait long on a service that is stuck.
constexpr std::uint64_t kAskTimeoutUs = 5'000'000;
// An unmount may wait for the user to authorise it.
constexpr std::uint64_t kUnmountTimeoutUs = 120'000'000;

constexpr const char* kUdisks = "org.freedesktop.UDisks2";

void Debug(const std::string& text) { platform::DebugLog(platform::DebugSource::Diagnostic, text); }

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// An sd_bus_error freed on every path.
struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusError() { sd_bus_error_free(&error); }
  std::string Text(int r) const {
    if (error.message) return error.message;
    return std::strerror(-r);
  }
};

// The system bus (DBUS_SYSTEM_BUS_ADDRESS when set), or null with the reason.
Bus SystemBus(std::string& why) {
  sd_bus* bus = nullptr;
  if (const int r = sd_bus_open_system(&bus); r < 0) {
    why = std::string("no system bus: ") + std::strerror(-r);
    return nullptr;
  }
  return Bus(bus);
}

// One method call with a timeout; the reply, or null with the reason.
template <typename... Args>
Message Call(sd_bus* bus, const char* service, const char* path, const char* interface,
             const char* member, std::uint64_t timeoutUs, std::string& why, const char* signature,
             Args... args) {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(bus, &raw, service, path, interface, member);
  Message call(raw);
  if (r >= 0 && signature) r = sd_bus_message_append(raw, signature, args...);
  if (r < 0) {
    why = std::string("cannot build the call ") + member;
    return nullptr;
  }
  BusError error;
  sd_bus_message* reply = nullptr;
  r = sd_bus_call(bus, raw, timeoutUs, &error.error, &reply);
  if (r < 0) {
    why = error.Text(r);
    return nullptr;
  }
  return Message(reply);
}

}  // namespace

SleepInhibitor& SleepInhibitor::operator=(SleepInhibitor&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void SleepInhibitor::Release() {
  // logind drops the lock when the last copy of its descriptor is closed.
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

SleepInhibitor SleepInhibitor::Take(std::string_view who, std::string_view why) {
  std::string problem;
  Bus bus = SystemBus(problem);
  Message reply;
  if (bus) {
    const std::string whoText(who), whyText(why);
    reply = Call(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                 "org.freedesktop.login1.Manager", "Inhibit", kAskTimeoutUs, problem, "ssss",
                 "sleep:shutdown", whoText.c_str(), whyText.c_str(), "block");
  }
  int fd = -1;
  if (reply && sd_bus_message_read(reply.get(), "h", &fd) < 0) problem = "logind's answer holds no lock";
  // The reply owns its descriptor: the lock lives in a copy of ours.
  const int held = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
  if (held < 0) {
    Debug("the machine may sleep during this job: logind gave no inhibitor lock (" + problem + ")");
    return {};
  }
  return SleepInhibitor(held);
}

std::string InhibitReason(DiscJob job) {
  switch (job) {
    case DiscJob::BurnCd: return "Burning a CD";
    case DiscJob::BurnDvd: return "Burning a DVD";
    case DiscJob::BurnImage: return "Burning a disc image";
    case DiscJob::Erase: return "Erasing a disc";
    case DiscJob::Format: return "Formatting a DVD+RW";
    case DiscJob::Close: return "Closing the session of a disc";
  }
  return "Writing a disc";
}

std::optional<MountedDisc> MountedDiscFromNote(std::string_view note) {
  constexpr std::string_view kCommand = "udisksctl unmount -b ";
  constexpr std::string_view kAt = " is mounted at ";
  const std::size_t command = note.rfind(kCommand);
  if (command == std::string_view::npos) return std::nullopt;
  MountedDisc disc;
  disc.device = std::string(note.substr(command + kCommand.size()));
  if (disc.device.empty()) return std::nullopt;
  if (const std::size_t at = note.find(kAt); at != std::string_view::npos) {
    const std::size_t from = at + kAt.size();
    const std::size_t end = note.rfind("; ", command);
    if (end != std::string_view::npos && end > from) disc.mountPoint = note.substr(from, end - from);
  }
  return disc;
}

bool UdisksAvailable() {
  std::string problem;
  Bus bus = SystemBus(problem);
  // A ping starts a service that is only activatable.
  if (bus && Call(bus.get(), kUdisks, "/org/freedesktop/UDisks2", "org.freedesktop.DBus.Peer",
                  "Ping", kAskTimeoutUs, problem, nullptr))
    return true;
  Debug("UDisks2 does not answer: " + problem);
  return false;
}

std::string UnmountWithUdisks(const std::string& device) {
  std::string problem;
  Bus bus = SystemBus(problem);
  if (!bus) return problem;
  // The block device's object, as UDisks2 itself names it.
  Message resolved = Call(bus.get(), kUdisks, "/org/freedesktop/UDisks2/Manager",
                          "org.freedesktop.UDisks2.Manager", "ResolveDevice", kAskTimeoutUs,
                          problem, "a{sv}a{sv}", 1, "path", "s", device.c_str(), 0);
  if (!resolved) return problem;
  const char* object = nullptr;
  if (sd_bus_message_enter_container(resolved.get(), 'a', "o") < 0 ||
      sd_bus_message_read(resolved.get(), "o", &object) <= 0 || !object) {
    return "UDisks2 does not know " + device;
  }
  const std::string path = object;
  // The user may be asked to authorise the unmount.
  sd_bus_set_allow_interactive_authorization(bus.get(), 1);
  if (!Call(bus.get(), kUdisks, path.c_str(), "org.freedesktop.UDisks2.Filesystem", "Unmount",
            kUnmountTimeoutUs, problem, "a{sv}", 0))
    return problem;
  return {};
}

}  // namespace quillonhost
