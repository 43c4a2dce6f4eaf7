#include "tools/quillon/shell.h"

#include <chrono>
#include <string>

#include "platform/automation/hresult.h"
#include "host/control_host.h"
#include "tools/quillon/shell_parser.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

class Shell {
 public:
  Shell(ControlHost& host, std::ostream& out) : host_(host), out_(out) {}

  void Run(const ShellCommand& command) {
    switch (command.kind) {
      case ShellCommand::Kind::Empty: break;
      case ShellCommand::Kind::Member: CallOrGet(command); break;
      case ShellCommand::Kind::Put: Put(command); break;
      case ShellCommand::Kind::Wait: Wait(command); break;
      case ShellCommand::Kind::Pump: PumpFor(command.seconds); break;
    }
    PrintNotices(host_.Pump(std::chrono::milliseconds(0)));
  }

  void Error(const std::string& text) { out_ << "! " << text << '\n'; }

 private:
  const platform::MemberDesc* Find(const std::string& name) {
    platform::DISPID id = 0;
    if (platform::FAILED(host_.Control().GetIDOfName(name, &id))) return nullptr;
    return host_.Control().GetTypeInfo()->Find(id);
  }

  void CallOrGet(const ShellCommand& command) {
    const platform::MemberDesc* member = Find(command.name);
    if (!member) return Error("unknown member: " + command.name);
    bool property = member->kind == platform::MemberKind::Property;
    auto kind = property && command.args.empty() ? platform::InvokeKind::PropertyGet : platform::InvokeKind::Method;
    platform::Variant result;
    platform::HRESULT hr = host_.Control().Invoke(member->id, kind, command.args, &result);
    if (platform::FAILED(hr)) return Error(platform::DescribeHresult(hr));
    if (result.IsEmpty()) {
      out_ << "ok\n";
    } else {
      out_ << "= " << FormatValue(result) << '\n';
    }
  }

  void Put(const ShellCommand& command) {
    const platform::MemberDesc* member = Find(command.name);
    if (!member) return Error("unknown member: " + command.name);
    platform::HRESULT hr = host_.Control().Invoke(member->id, platform::InvokeKind::PropertyPut, command.args, nullptr);
    if (platform::FAILED(hr)) return Error(platform::DescribeHresult(hr));
    out_ << "ok\n";
  }

  void Wait(const ShellCommand& command) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(command.seconds));
    while (true) {
      bool seen = false;
      auto notices = host_.Pump(std::chrono::milliseconds(20));
      bool failed = false;
      for (const auto& n : notices) {
        PrintNotice(n);
        if (n.kind == HostNotice::Kind::Event && n.name == command.name) seen = true;
        if (n.kind == HostNotice::Kind::JobFailed) failed = true;
      }
      if (seen) return;
      // A job that failed raises no event: waiting on would only time out.
      if (failed) return Error("job failed");
      if (Clock::now() >= deadline) return Error("timeout");
    }
  }

  void PumpFor(double seconds) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    do {
      PrintNotices(host_.Pump(std::chrono::milliseconds(10)));
    } while (Clock::now() < deadline);
  }

  void PrintNotices(const std::deque<HostNotice>& notices) {
    for (const auto& n : notices) PrintNotice(n);
  }

  void PrintNotice(const HostNotice& notice) {
    switch (notice.kind) {
      case HostNotice::Kind::Event:
        out_ << "@ " << notice.name;
        for (const auto& arg : notice.args) out_ << ' ' << FormatValue(arg);
        out_ << '\n';
        break;
      case HostNotice::Kind::EngineError:
      case HostNotice::Kind::EngineNotice: out_ << "# " << notice.name << '\n'; break;
      case HostNotice::Kind::JobFailed:
      case HostNotice::Kind::BufferLevel: break;
      // Why an entry was refused, after the engine's text for it.
      case HostNotice::Kind::EntryRefused: out_ << "# " << notice.name << '\n'; break;
      case HostNotice::Kind::MessageBox: out_ << "* " << notice.name << '\n'; break;
      // What a read-back found: each file or the directory, then the counts.
      case HostNotice::Kind::VerifyMismatch: out_ << "# " << notice.name << '\n'; break;
      case HostNotice::Kind::VerifyFinished:
        out_ << "# VerifyFinished";
        for (const auto& arg : notice.args) out_ << ' ' << FormatValue(arg);
        out_ << '\n';
        break;
    }
    out_.flush();
  }

  ControlHost& host_;
  std::ostream& out_;
};

}  // namespace

int RunShell(std::istream& in, std::ostream& out) {
  ControlHost host;
  if (platform::HRESULT hr = host.Create(); platform::FAILED(hr)) {
    out << "! cannot create the control: " << platform::DescribeHresult(hr)
        << " (register it with 'quillon register')\n";
    return 1;
  }
  Shell shell(host, out);
  std::string line;
  while (std::getline(in, line)) {
    std::string error;
    auto command = ParseShellLine(line, error);
    if (!command) {
      shell.Error(error);
    } else {
      shell.Run(*command);
    }
    out.flush();
  }
  return 0;
}

}  // namespace quillon
