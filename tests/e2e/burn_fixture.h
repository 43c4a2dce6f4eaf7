#pragma once
// A control hosted as an application hosts it, reaching virtual writers
// through the real ASPI layer (libwnaspi32.so beside the test program),
// with every pause of the engine on a virtual clock.
//
// The layer reads its configuration from the environment when it is
// loaded; the control unloads it when it is destroyed, so each test sets
// the variables for writers of its own before InitControl and the next test
// in the same process starts from a fresh layer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/typelib/scrivo_typelib.h"
#include "platform/kernel/clock.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/control_fixture.h"

namespace e2e {

enum class JobEnd { Finished, BlankFinished, CloseFinished, Failed, NeverEnded };
std::ostream& operator<<(std::ostream& out, JobEnd end);

class BurnTest : public testsupport::ControlFixture {
 protected:
  BurnTest();
  ~BurnTest() override;
  void SetUp() override;
  void TearDown() override;

  // Virtual writers with blank discs of `media` ("cd-r", "cd-rw", "dvd-r",
  // "dvd+r", "dvd+rw"), one per target in this order, and `faults` for the
  // layer to inject; then InitControl and the first writer selected.
  void UseWriters(const std::vector<std::string>& media, const std::string& faults = "");
  void SelectWriter(int index);

  fs::path WriterFolder(int index = 0) const;
  fs::path DiscImage(int index = 0) const { return WriterFolder(index) / "disc.img"; }
  DiscRecord Disc(int index = 0) const { return DiscRecord::Read(WriterFolder(index) / "disc.state"); }
  std::vector<Cdb> SentCommands() const { return ReadTraceCommands(TraceFile()); }
  std::size_t TraceLines() const { return CountTraceLines(TraceFile()); }
  fs::path TraceFile() const { return work / "trace.txt"; }

  // Members of the dispatch interface, called by id as a host calls them.
  platform::Variant Call(platform::DISPID id, std::vector<platform::Variant> args = {});
  platform::Variant Get(platform::DISPID id);
  void SetLabel(const std::string& label);
  void AddFolder(const fs::path& folder);
  void AddFile(const std::string& name, const fs::path& source);

  // Drops every reference the test holds, as a host that goes away does;
  // the sinks stay advised, to see that nothing more reaches them.
  void ReleaseEveryReference();

  // Starts a job and runs the host's message loop until it ends.
  JobEnd BurnCd(bool multiSession);
  JobEnd BurnDvd();
  JobEnd Blank(bool full);
  JobEnd FormatDvd();
  JobEnd CloseSession();
  // Runs the message loop until the job's event or its failure notice, then
  // until the control is idle again.
  JobEnd WaitForJob();

  // The Progress events raised so far, in percent.
  std::vector<int> ProgressEvents() const;
  // The events raised so far by name ("Progress 37", "Finished", ...).
  std::vector<std::string> EventNames() const;
  bool CompilationEmpty() { return control().Image().Root().children.empty(); }
  // Failure texts delivered on the diagnostics interface.
  std::vector<std::string> DiagnosticTexts() const;
  // The step and the reason of the last JobFailed ("" and "" without one).
  std::pair<std::string, std::string> LastFailedStep() const;

  // Burns `source`'s contents onto writer 0 and expects Finished.
  void BurnFolderOnCd(const fs::path& source, bool multiSession);
  void ExpectReadersSee(const fs::path& image, const fs::path& source);
  void ExpectSessionReadersSee(const fs::path& image, const fs::path& source, std::uint32_t sessionStart);

  // The writers (strict, as they are unless WNASPI32_VIRTUAL_STRICT=0) of
  // the next UseWriters answer `recognition` commands with "becoming ready"
  // after the tray closes (WNASPI32_VIRTUAL_RECOGNITION).
  std::uint32_t recognitionCommands = 0;

  TempFolder work;
  platform::VirtualClock clock;
  testsupport::RecordingSink diagnostics;

 private:
  void SetVariables(const std::vector<std::string>& media, const std::string& faults);
  platform::ScopedClock scopedClock_{clock};
  platform::ComPtr<platform::IConnectionPoint> diagnosticsPoint_;
  std::uint32_t diagnosticsCookie_ = 0;
};

}  // namespace e2e
