#include "platform/aspi/virtual/disc_state_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <vector>

namespace wnaspi::vdrive {
namespace {

// Version 2 ends with the checksum line; version 1 files have none.
constexpr int kVersion = 2;
constexpr int kVersionWithoutChecksum = 1;
// The most polls an operation can take (WNASPI32_VIRTUAL_POLLS's bound).
constexpr std::uint32_t kMaxOperationPolls = 100000;
constexpr std::uint32_t kMaxTrackMode = 0x0F;
constexpr std::uint32_t kMaxSessionFormat = 0xFF;

// CRC-32 (the polynomial of zlib and PNG), bit by bit: a record is a few
// hundred bytes.
std::uint32_t Crc32(std::string_view text) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : text) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string Hex32(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

const char* NextName(NextSession next) {
  switch (next) {
    case NextSession::Allowed: return "allowed";
    case NextSession::NotAllowed: return "not-allowed";
    case NextSession::None: break;
  }
  return "none";
}

const char* BusyName(BusyKind kind) {
  switch (kind) {
    case BusyKind::Blank: return "blank";
    case BusyKind::Format: return "format";
    case BusyKind::None: break;
  }
  return "none";
}

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields SplitFields(std::string_view line) {
  Fields fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t end = std::min(line.find(' ', pos), line.size());
    if (end > pos) {
      const std::string_view token = line.substr(pos, end - pos);
      const std::size_t eq = token.find('=');
      if (eq == std::string_view::npos) {
        fields.emplace_back(std::string(token), std::string());
      } else {
        fields.emplace_back(std::string(token.substr(0, eq)), std::string(token.substr(eq + 1)));
      }
    }
    pos = end;
  }
  return fields;
}

// Reads the fields of one record by name, each exactly once.
class Record {
 public:
  Record(const Fields& fields, std::string* error) : error_(error) {
    for (std::size_t i = 1; i < fields.size(); ++i) values_[fields[i].first] = fields[i].second;
  }
  bool Number(const std::string& key, std::uint32_t* out, int base = 10) {
    const std::string* value = Take(key);
    if (!value) return false;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), *out, base);
    if (ec != std::errc() || end != value->data() + value->size()) return Fail("bad number " + key);
    return true;
  }
  bool Flag(const std::string& key, bool* out) {
    const std::string* value = Take(key);
    if (!value) return false;
    if (*value != "yes" && *value != "no") return Fail("bad yes/no value of " + key);
    *out = *value == "yes";
    return true;
  }
  bool Text(const std::string& key, std::string* out) {
    const std::string* value = Take(key);
    if (!value) return false;
    *out = *value;
    return true;
  }
  bool Done() {
    if (!values_.empty()) return Fail("unknown field " + values_.begin()->first);
    return true;
  }

 private:
  const std::string* Take(const std::string& key) {
    auto it = values_.find(key);
    if (it == values_.end()) {
      Fail("missing field " + key);
      return nullptr;
    }
    taken_ = it->second;
    values_.erase(it);
    return &taken_;
  }
  bool Fail(const std::string& why) {
    if (error_->empty()) *error_ = why;
    return false;
  }
  std::map<std::string, std::string> values_;
  std::string taken_;
  std::string* error_;
};

bool ParseSession(const Fields& fields, DiscState* disc, std::string* error) {
  Session s;
  Record record(fields, error);
  std::string next;
  std::uint32_t format = 0;
  std::uint32_t number = 0;
  const auto [end, ec] = std::from_chars(fields[0].second.data(),
                                         fields[0].second.data() + fields[0].second.size(), number);
  if (ec != std::errc() || number != disc->sessions.size() + 1) {
    *error = "sessions must be numbered 1, 2, ... in order";
    return false;
  }
  s.number = number;
  if (!record.Flag("closed", &s.closed) || !record.Text("next", &next) ||
      !record.Number("format", &format, 16) || !record.Done()) {
    return false;
  }
  if (next == "allowed") {
    s.next = NextSession::Allowed;
  } else if (next == "not-allowed") {
    s.next = NextSession::NotAllowed;
  } else if (next == "none") {
    s.next = NextSession::None;
  } else {
    *error = "bad next-session value " + next;
    return false;
  }
  if (format > kMaxSessionFormat) {
    *error = "session format out of range";
    return false;
  }
  s.format = static_cast<std::uint8_t>(format);
  disc->sessions.push_back(s);
  return true;
}

bool ParseTrack(const Fields& fields, DiscState* disc, std::string* error) {
  Track t;
  std::uint32_t number = 0;
  const auto [end, ec] = std::from_chars(fields[0].second.data(),
                                         fields[0].second.data() + fields[0].second.size(), number);
  if (ec != std::errc() || number != disc->tracks.size() + 1) {
    *error = "tracks must be numbered 1, 2, ... in order";
    return false;
  }
  t.number = number;
  Record record(fields, error);
  std::uint32_t mode = 0;
  if (!record.Number("session", &t.session) || !record.Number("start", &t.start) ||
      !record.Number("recorded", &t.recorded) || !record.Number("reserved", &t.reserved) ||
      !record.Flag("closed", &t.closed) || !record.Flag("dao", &t.sessionAtOnce) ||
      !record.Number("mode", &mode) || !record.Done()) {
    return false;
  }
  if (mode > kMaxTrackMode) {
    *error = "track mode out of range";
    return false;
  }
  t.mode = static_cast<std::uint8_t>(mode);
  disc->tracks.push_back(t);
  return true;
}

bool ParseBusy(const Fields& fields, DiscState* disc, std::string* error) {
  const std::string& kind = fields[0].second;
  if (kind == "none") {
    if (fields.size() != 1) *error = "busy=none takes no fields";
    disc->busy = {};
    return error->empty();
  }
  Record record(fields, error);
  if (!record.Number("polls", &disc->busy.polls) || !record.Number("total", &disc->busy.total) ||
      !record.Done()) {
    return false;
  }
  if (kind == "blank") {
    disc->busy.kind = BusyKind::Blank;
  } else if (kind == "format") {
    disc->busy.kind = BusyKind::Format;
  } else {
    *error = "bad busy value " + kind;
    return false;
  }
  // The drive is ready again after `total` readiness polls, or twice as
  // many REQUEST SENSE polls: a count beyond that was never written.
  if (disc->busy.total == 0 || disc->busy.total > kMaxOperationPolls ||
      disc->busy.polls >= 2 * disc->busy.total) {
    *error = "busy poll counts out of range";
  }
  return error->empty();
}

bool ParseFlagLine(const Fields& fields, bool* out, std::string* error) {
  if (fields.size() != 1 || (fields[0].second != "yes" && fields[0].second != "no")) {
    *error = "bad " + fields[0].first + " line";
    return false;
  }
  *out = fields[0].second == "yes";
  return true;
}

bool Fail(std::string* error, std::string why) {
  *error = std::move(why);
  return false;
}

// What the medium allows: a DVD+RW is unformatted and empty, or formatted as
// one closed session over the whole disc; a sequential disc is finalised
// only with a closed last session, and a closed session has no open track.
// A blank runs only on a rewritable CD or DVD-RW, a format only on a DVD+RW.
bool CheckMedium(const DiscState& disc, std::string* error) {
  if (disc.busy.kind == BusyKind::Blank && !disc.traits().blankable) {
    return Fail(error, "a blank in progress on a disc that cannot be blanked");
  }
  if (disc.busy.kind == BusyKind::Format && disc.medium != Medium::DvdPlusRw) {
    return Fail(error, "a format in progress on a disc that cannot be formatted");
  }
  if (disc.traits().randomWritable) {
    const DiscState expected = disc.formatted ? DiscState::FormattedDvdPlusRw() : DiscState::Blank(disc.medium);
    const bool same = disc.finalized == expected.finalized && disc.sessions.size() == expected.sessions.size() &&
                      disc.tracks.size() == expected.tracks.size() &&
                      (disc.tracks.empty() || (disc.tracks[0].start == 0 && disc.tracks[0].closed &&
                                               disc.trackSize(disc.tracks[0]) == disc.capacity() &&
                                               disc.sessions[0].closed));
    return same || Fail(error, "sessions or tracks a DVD+RW cannot have");
  }
  if (disc.finalized && (disc.sessions.empty() || !disc.sessions.back().closed)) {
    return Fail(error, "a finalised disc without a closed last session");
  }
  for (const Track& t : disc.tracks) {
    if (disc.session(t.session).closed && !t.closed) {
      return Fail(error, "track " + std::to_string(t.number) + " is open in a closed session");
    }
  }
  return true;
}

// The structure must be one a drive could have produced.
bool Check(const DiscState& disc, std::string* error) {
  const std::uint32_t capacity = disc.capacity();
  std::uint32_t previousEnd = 0, previousSession = 1;
  for (const Track& t : disc.tracks) {
    if (t.session < previousSession || t.session > disc.sessions.size()) {
      *error = "track " + std::to_string(t.number) + " names a missing session or one out of order";
      return false;
    }
    if (t.start < previousEnd || disc.trackSize(t) > capacity || t.start > capacity - disc.trackSize(t) ||
        (t.reserved && t.recorded > t.reserved)) {
      *error = "track " + std::to_string(t.number) + " lies outside the disc or overlaps";
      return false;
    }
    previousEnd = disc.trackEnd(t);
    previousSession = t.session;
  }
  for (const Session& s : disc.sessions) {
    const bool hasTrack = std::any_of(disc.tracks.begin(), disc.tracks.end(),
                                      [&](const Track& t) { return t.session == s.number; });
    if (!hasTrack) {
      *error = "session " + std::to_string(s.number) + " has no track";
      return false;
    }
    if (!s.closed && s.number != disc.sessions.size()) {
      *error = "only the last session may be open";
      return false;
    }
  }
  if (disc.formatted && disc.medium != Medium::DvdPlusRw) {
    *error = "only a DVD+RW is formatted";
    return false;
  }
  return CheckMedium(disc, error);
}

}  // namespace

std::string SerializeDiscState(const DiscState& disc) {
  std::string text = "# Quillon virtual writer: the disc in this directory (blocks in disc.img)\n";
  text += "version=" + std::to_string(kVersion) + "\n";
  text += "medium=" + std::string(disc.traits().name) + "\n";
  text += "formatted=" + std::string(YesNo(disc.formatted)) + "\n";
  text += "finalized=" + std::string(YesNo(disc.finalized)) + "\n";
  text += "busy=" + std::string(BusyName(disc.busy.kind));
  if (disc.busy.active()) {
    text += " polls=" + std::to_string(disc.busy.polls) + " total=" + std::to_string(disc.busy.total);
  }
  text += "\n";
  for (const Session& s : disc.sessions) {
    char format[3];
    std::snprintf(format, sizeof format, "%02X", s.format);
    text += "session=" + std::to_string(s.number) + " closed=" + YesNo(s.closed) +
            " next=" + NextName(s.next) + " format=" + format + "\n";
  }
  for (const Track& t : disc.tracks) {
    text += "track=" + std::to_string(t.number) + " session=" + std::to_string(t.session) +
            " start=" + std::to_string(t.start) + " recorded=" + std::to_string(t.recorded) +
            " reserved=" + std::to_string(t.reserved) + " closed=" + YesNo(t.closed) +
            " dao=" + YesNo(t.sessionAtOnce) + " mode=" + std::to_string(t.mode) + "\n";
  }
  text += "end checksum=" + Hex32(Crc32(text)) + "\n";
  return text;
}

std::optional<DiscState> ParseDiscState(std::string_view text, std::string* error) {
  DiscState disc;
  error->clear();
  const std::string_view whole = text;
  int version = 0;
  bool sawMedium = false, sawFormatted = false, sawFinalized = false, sawBusy = false, sawEnd = false;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    const std::size_t lineStart = whole.size() - text.size();
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A shorter record is padded with empty lines until the file is cut.
    if (line.empty()) continue;
    if (sawEnd) {
      *error = "line " + std::to_string(lineNumber) + ": text after the end line";
      return std::nullopt;
    }
    if (line.front() == '#') continue;
    const Fields fields = SplitFields(line);
    const std::string& key = fields[0].first;
    bool ok = true;
    bool* seen = key == "medium" ? &sawMedium : key == "formatted" ? &sawFormatted
               : key == "finalized" ? &sawFinalized : key == "busy" ? &sawBusy : nullptr;
    if ((seen && *seen) || (key == "version" && version != 0)) {
      *error = "line " + std::to_string(lineNumber) + ": a second " + key + " line";
      return std::nullopt;
    }
    if (seen) *seen = true;
    if (key == "version") {
      version = fields[0].second == std::to_string(kVersion) ? kVersion
                : fields[0].second == std::to_string(kVersionWithoutChecksum) ? kVersionWithoutChecksum
                                                                              : -1;
      ok = fields.size() == 1 && version > 0;
      if (!ok) *error = "unsupported version";
    } else if (key == "medium") {
      const auto medium = MediumFromName(fields[0].second);
      ok = medium.has_value() && fields.size() == 1;
      if (!ok) *error = "unknown medium " + fields[0].second;
      if (medium) disc.medium = *medium;
    } else if (key == "formatted") {
      ok = ParseFlagLine(fields, &disc.formatted, error);
    } else if (key == "finalized") {
      ok = ParseFlagLine(fields, &disc.finalized, error);
    } else if (key == "busy") {
      ok = ParseBusy(fields, &disc, error);
    } else if (key == "session") {
      ok = ParseSession(fields, &disc, error);
    } else if (key == "track") {
      ok = ParseTrack(fields, &disc, error);
    } else if (key == "end" && version == kVersion) {
      Record record(fields, error);
      std::uint32_t checksum = 0;
      ok = fields[0].second.empty() && record.Number("checksum", &checksum, 16) && record.Done();
      if (ok && checksum != Crc32(whole.substr(0, lineStart))) {
        ok = false;
        *error = "the checksum does not match the text: the file was changed or cut";
      }
      sawEnd = true;
    } else {
      ok = false;
      *error = "unknown line";
    }
    if (!ok) {
      *error = "line " + std::to_string(lineNumber) + ": " + *error;
      return std::nullopt;
    }
  }
  if (version == 0 || !sawMedium || !sawFormatted || !sawFinalized || !sawBusy) {
    *error = "a version, medium, formatted, finalized or busy line is missing: the file was cut";
    return std::nullopt;
  }
  if (version == kVersion && !sawEnd) {
    *error = "no end line: the file was cut";
    return std::nullopt;
  }
  if (!Check(disc, error)) return std::nullopt;
  return disc;
}

}  // namespace wnaspi::vdrive
