#include "tools/quillon/events.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>

#include "tools/quillon/help.h"
#include "tools/quillon/progress.h"

namespace quillon {
namespace {

// The version of the JSON objects' schema, in each one as "schema".
constexpr std::int64_t kSchemaVersion = 1;

bool g_json = false;
// The text view of a job's progress, made at its first report.
std::optional<ProgressView> g_progress;
// The JSON view: the phase last reported and its percentage.
std::string g_phase;
int g_percent = -1;
// The last message, quillon's or the engine's: the result's reason.
std::string g_lastMessage;

// The length of the UTF-8 sequence at `i`, 0 when it is not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                         : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) >= 0xA0) ||
      (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) >= 0x90))
    return 0;
  return length;
}

void Emit(std::string_view event, const JsonFields& fields) {
  std::string line = "{\"schema\":" + std::to_string(kSchemaVersion) + ",\"event\":" + JsonString(event);
  if (!fields.text().empty()) line += "," + fields.text();
  std::cout << line << "}\n" << std::flush;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out + "\"";
}

void JsonFields::Name(std::string_view name) {
  if (!text_.empty()) text_ += ',';
  text_ += JsonString(name) + ":";
}

JsonFields& JsonFields::Add(std::string_view name, std::string_view text) {
  Name(name);
  text_ += JsonString(text);
  return *this;
}

JsonFields& JsonFields::Add(std::string_view name, std::int64_t number) {
  Name(name);
  // Digits in every locale.
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text_.append(digits, end);
  return *this;
}

JsonFields& JsonFields::Add(std::string_view name, bool truth) {
  Name(name);
  text_ += truth ? "true" : "false";
  return *this;
}

void UseJsonEvents(bool json) { g_json = json; }
bool JsonEvents() { return g_json; }

void ReportBuffer(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (!g_json) {
    if (!g_progress) g_progress.emplace(std::cout, isatty(STDOUT_FILENO) != 0);
    g_progress->ShowBuffer(percent);
    return;
  }
  Emit("buffer", JsonFields().Add("percent", std::int64_t{percent}));
}

void ReportProgress(std::string_view phase, int percent) {
  percent = std::clamp(percent, 0, 100);
  if (!g_json) {
    if (!g_progress) g_progress.emplace(std::cout, isatty(STDOUT_FILENO) != 0);
    g_progress->Show(phase, percent);
    return;
  }
  if (phase != g_phase) {
    g_phase = phase;
    g_percent = -1;
    Emit("phase", JsonFields().Add("phase", phase));
  }
  if (percent <= g_percent) return;
  g_percent = percent;
  Emit("progress", JsonFields().Add("phase", phase).Add("percent", std::int64_t{percent}));
}

void EndProgressLine() {
  // A job's bar ends for good: the next job starts a view of its own.
  if (g_progress) g_progress.reset();
  g_phase.clear();
  g_percent = -1;
}

void ReportMessage(std::string_view text, Source source, bool prefixed) {
  g_lastMessage = text;
  if (g_json) {
    Emit("message", JsonFields()
                        .Add("source", source == Source::Quillon ? "quillon" : "engine")
                        .Add("text", text));
    return;
  }
  if (g_progress) g_progress->EndLine();
  std::cerr << (prefixed ? "quillon: " : "") << text << '\n';
}

void ReportNotice(std::string_view text) {
  if (g_json) {
    Emit("notice", JsonFields().Add("text", text));
    return;
  }
  if (g_progress) g_progress->EndLine();
  std::cerr << "quillon: " << text << '\n';
}

void ReportRefused(std::string_view path, std::string_view reason, bool leftOut) {
  if (g_json) {
    Emit("refused", JsonFields().Add("path", path).Add("text", reason).Add("left_out", leftOut));
    return;
  }
  std::cerr << "quillon: " << (leftOut ? "left out: " : "") << reason << '\n';
}

void ReportOutput(std::string_view line) {
  if (g_json) {
    Emit("output", JsonFields().Add("text", line));
    return;
  }
  if (g_progress) g_progress->EndLine();
  std::cout << line << '\n';
}

void ReportFacts(std::string_view event, const JsonFields& fields) {
  if (g_json) Emit(event, fields);
}

int ReportResult(int exitCode) {
  if (!g_json) return exitCode;
  const char* status = exitCode == kExitDone        ? "done"
                       : exitCode == kExitUsage     ? "usage"
                       : exitCode == kExitCancelled ? "cancelled"
                                                    : "failed";
  Emit("result", JsonFields()
                     .Add("status", status)
                     .Add("exit", std::int64_t{exitCode})
                     .Add("reason", exitCode == kExitDone ? std::string_view() : g_lastMessage));
  return exitCode;
}

}  // namespace quillon
