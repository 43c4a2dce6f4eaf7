#include "tools/quillon/burner.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>

#include "host/control_host.h"
#include "platform/text/codepage.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::Variant;

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

// The control, called by member name as the application binds it.
class Session {
 public:
  bool Open() {
    if (platform::HRESULT hr = host_.Create(); platform::FAILED(hr)) {
      std::cerr << "quillon: cannot create the engine control: " << platform::DescribeHresult(hr)
                << " (register it with 'quillon register')\n";
      return false;
    }
    Call("InitControl");
    PrintEngineTexts();
    return true;
  }

  // Prints the engine's failure texts and message boxes that arrived so far.
  void PrintEngineTexts() {
    for (const auto& n : host_.Pump(std::chrono::milliseconds(0))) {
      if (n.kind == HostNotice::Kind::EngineError || n.kind == HostNotice::Kind::MessageBox)
        std::cerr << "quillon: " << n.name << '\n';
    }
  }

  Variant Get(std::string_view name) { return Invoke(name, platform::InvokeKind::PropertyGet, {}); }
  Variant Call(std::string_view name, std::vector<Variant> args = {}) {
    return Invoke(name, platform::InvokeKind::Method, std::move(args));
  }
  void Set(std::string_view name, Variant value) {
    Invoke(name, platform::InvokeKind::PropertyPut, {std::move(value)});
  }
  long Number(std::string_view name) {
    Variant v = Get(name);
    return v.Type() == platform::VarType::I4 ? v.AsI4() : v.Type() == platform::VarType::I2 ? v.AsI2() : 0;
  }
  bool Flag(std::string_view name) {
    Variant v = Get(name);
    return v.Type() == platform::VarType::BOOL && v.AsBool();
  }
  std::string Text(std::string_view name) {
    Variant v = Get(name);
    return v.Type() == platform::VarType::BSTR ? platform::WideToNarrow(v.AsBstr()) : "";
  }

  // Selects writer `index` and checks it is ready; prints `notReady` if not.
  bool SelectReady(int index, const char* notReady) {
    if (index >= Number("MediaCount")) {
      std::cerr << "quillon: there is no writer " << index << " (see 'quillon writers')\n";
      return false;
    }
    Call("SetCurrentDevice", {Variant::I4(index)});
    Variant ready = Call("CDWriterUnitReady");
    if (ready.Type() != platform::VarType::BOOL || !ready.AsBool()) {
      std::cerr << notReady << '\n';
      return false;
    }
    return true;
  }

  ControlHost& Host() { return host_; }

 private:
  Variant Invoke(std::string_view name, platform::InvokeKind kind, std::vector<Variant> args) {
    platform::DISPID id = 0;
    Variant result;
    if (platform::SUCCEEDED(host_.Control().GetIDOfName(name, &id))) host_.Control().Invoke(id, kind, args, &result);
    return result;
  }
  ControlHost host_;
};

// Shows progress: a bar on a terminal, a line per step elsewhere.
class ProgressView {
 public:
  ProgressView() : terminal_(isatty(STDOUT_FILENO)) {}
  void Show(int percent) {
    if (terminal_) {
      int filled = percent * 40 / 100;
      std::cout << "\r[" << std::string(filled, '#') << std::string(40 - filled, ' ') << "] " << percent << " %"
                << std::flush;
    } else {
      std::cout << "Progress " << percent << " %\n";
    }
  }
  void End() {
    if (terminal_) std::cout << '\n';
  }

 private:
  bool terminal_;
};

enum class JobEnd { Completed, Failed };

// Runs the message loop until `event` or a failed job; engine texts go to
// standard error. The first interrupt cancels a burn.
JobEnd WaitForJob(Session& session, const std::string& event, bool cancellable) {
  ProgressView progress;
  bool cancelRequested = false;
  while (true) {
    if (g_interrupted && cancellable && !cancelRequested) {
      cancelRequested = true;
      std::cerr << "\nquillon: cancelling; the session is closed with what was written\n";
      session.Call("CancelBurning");
    }
    for (const auto& n : session.Host().Pump(std::chrono::milliseconds(50))) {
      if (n.kind == HostNotice::Kind::Event && n.name == "Progress" && !n.args.empty()) {
        progress.Show(n.args[0].AsI2());
      } else if (n.kind == HostNotice::Kind::Event && n.name == event) {
        progress.End();
        return JobEnd::Completed;
      } else if (n.kind == HostNotice::Kind::EngineError) {
        progress.End();
        std::cerr << "quillon: " << n.name << '\n';
      } else if (n.kind == HostNotice::Kind::JobFailed) {
        progress.End();
        return JobEnd::Failed;
      } else if (n.kind == HostNotice::Kind::MessageBox) {
        std::cerr << n.name << '\n';
      }
    }
  }
}

int ListWriters(Session& session) {
  long count = session.Number("MediaCount");
  for (long i = 0; i < count; ++i) {
    session.Call("SetCurrentDevice", {Variant::I4(static_cast<std::int32_t>(i))});
    std::cout << '[' << session.Number("HAnum") << '.' << session.Number("SCSIID") << '.' << session.Text("MediaDesc")
              << '\n';
  }
  session.PrintEngineTexts();
  return 0;
}

int Info(Session& session, const BurnerOptions& o) {
  if (!session.SelectReady(o.writer, "CD/DVD Writer not ready! Can not get the information of burner.")) return 1;
  std::cout << BurnerReport({session.Flag("IsCDRWriteSupport"), session.Flag("IsCDRWWriteSupport"),
                             session.Flag("IsMultiSessionsSupport"), session.Flag("IsReadDVDSupport"),
                             session.Number("MaxWriteSpeed")})
            << '\n'
            << DiscReport({session.Flag("IsDiskBlank"), session.Flag("IsDiskClosed"), session.Flag("IsDiskErasable"),
                           session.Number("MaxReadSpeed"), session.Number("MaxWriteSpeed")});
  return 0;
}

// Hands a path over as the application hands a compilation entry: a folder's
// contents land at the disc's root, a file under its bare name.
void AddPath(Session& session, const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    std::string folder = path.ends_with('/') ? path : path + "/";
    session.Call("AddDirectory", {Variant::Bstr(platform::NarrowToWide(folder))});
  } else {
    session.Call("AddFile", {Variant::Bstr(platform::NarrowToWide(fs::path(path).filename().string())),
                             Variant::Bstr(platform::NarrowToWide(path))});
  }
}

int Burn(Session& session, const BurnerOptions& o) {
  if (!session.SelectReady(o.writer, "CD/DVD Writer not ready! Can not continue to burn.")) return 1;
  if (o.paths.empty()) {
    std::cerr << "Please select direcotry or file first before burning!\n";
    return 1;
  }
  session.Set("VolumeLabel", Variant::Bstr(platform::NarrowToWide(o.label)));
  for (const auto& path : o.paths) AddPath(session, path);
  if (o.dvd) {
    session.Call("BurnDVDData");
  } else {
    session.Call("BurnCDData", {Variant::Bool(o.multi)});
  }
  if (WaitForJob(session, "Finished", true) == JobEnd::Failed) return 1;
  std::cout << "Burned Completed!\n";
  if (o.eject) session.Call("EjectDisk");
  return 0;
}

int Erase(Session& session, const BurnerOptions& o) {
  if (!session.SelectReady(o.writer, "CD/DVD Writer not ready! Can not continue to erase.")) return 1;
  if (!session.Flag("IsDiskErasable")) {
    std::cerr << "CD/DVD disk is not erasable! Can not continue to erase.\n";
    return 1;
  }
  session.Call("Blank", {Variant::Bool(o.full)});
  if (WaitForJob(session, "BlankFinished", false) == JobEnd::Failed) return 1;
  std::cout << "Blank complete!\n";
  return 0;
}

int Format(Session& session, const BurnerOptions& o) {
  if (!session.SelectReady(o.writer, "CD/DVD Writer not ready! Can not continue to format.")) return 1;
  session.Call("BlankDVD");
  if (WaitForJob(session, "BlankFinished", false) == JobEnd::Failed) {
    std::cerr << "quillon: the disc could not be formatted (a DVD+RW is needed)\n";
    return 1;
  }
  std::cout << "Format complete!\n";
  return 0;
}

int Eject(Session& session, const BurnerOptions& o) {
  if (o.writer >= session.Number("MediaCount")) {
    std::cerr << "quillon: there is no writer " << o.writer << " (see 'quillon writers')\n";
    return 1;
  }
  session.Call("SetCurrentDevice", {Variant::I4(o.writer)});
  session.Call("EjectDisk");
  session.PrintEngineTexts();
  return 0;
}

}  // namespace

int RunBurnerCommand(const std::string& command, const BurnerOptions& options) {
  std::signal(SIGINT, OnInterrupt);
  Session session;
  if (!session.Open()) return 1;
  if (command == "writers") return ListWriters(session);
  if (command == "info") return Info(session, options);
  if (command == "burn") return Burn(session, options);
  if (command == "erase") return Erase(session, options);
  if (command == "format") return Format(session, options);
  if (command == "eject") return Eject(session, options);
  std::cerr << "quillon: unknown command " << command << '\n';
  return 2;
}

}  // namespace quillon
