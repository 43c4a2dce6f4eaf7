#pragma once
// Everything quillon reports goes through one sink: the phase and progress
// of a job, its messages, the entries left out, the engine's notices, the
// result lines and the facts of writers and discs. As text (the default)
// progress and result lines go to standard output and messages to standard
// error; with --json each report is one JSON object on its own line on
// standard output, in the versioned schema of docs/quillon-events.schema.json
// (README: Machine-readable output). A new kind of report is one member here.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

// A JSON value's members, in order: a text, a whole number or a truth.
class JsonFields {
 public:
  JsonFields& Add(std::string_view name, std::string_view text);
  JsonFields& Add(std::string_view name, const char* text) { return Add(name, std::string_view(text)); }
  JsonFields& Add(std::string_view name, std::int64_t number);
  JsonFields& Add(std::string_view name, bool truth);
  const std::string& text() const { return text_; }

 private:
  void Name(std::string_view name);
  std::string text_;
};

// A text as a JSON string, quotes included; bytes that are not UTF-8 become
// U+FFFD, so that every line is valid JSON whatever a file name holds.
std::string JsonString(std::string_view text);

enum class Source { Quillon, Engine };

// Switched to JSON by main before any command runs.
void UseJsonEvents(bool json);
bool JsonEvents();

// A job's phase ("Writing") and its percentage, never running backwards
// within a phase.
void ReportProgress(std::string_view phase, int percent);
// How full the burn's read-ahead buffer is (per cent), shown with the progress.
void ReportBuffer(int percent);
// Ends a progress bar's line, so that a message follows on its own line.
void EndProgressLine();
// A message: quillon's (shown "quillon: TEXT") or the engine's own text.
// `prefixed` false shows quillon's text as it is (the application's texts).
void ReportMessage(std::string_view text, Source source = Source::Quillon, bool prefixed = true);
// A notice the engine showed as a message box.
void ReportNotice(std::string_view text);
// An entry left out of the disc (or refusing the burn), with the reason.
void ReportRefused(std::string_view path, std::string_view reason, bool leftOut);
// A line of the result ("Burned Completed!").
void ReportOutput(std::string_view line);
// Facts: a writer ("writer") or a disc ("disc"); as text the caller prints
// its own report, so these are JSON only.
void ReportFacts(std::string_view event, const JsonFields& fields);
// The end of the command: its exit code (as text nothing more is said).
int ReportResult(int exitCode);

}  // namespace quillon
