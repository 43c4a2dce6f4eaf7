#include "engine/iso/rock_ridge_writer.h"

#include <sys/stat.h>

#include "platform/bytes/byte_order.h"

namespace scrivo::rrip {
namespace {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeader = 4;  // signature, length, version
// NM and SL: a flags byte after the header; bit 0 says the next entry goes on.
constexpr std::uint8_t kContinues = 0x01;
constexpr std::size_t kNamePart = kLongestEntry - kHeader - 1;
// SL component flags (RRIP 4.1.3.1).
constexpr std::uint8_t kComponentCurrent = 0x02;
constexpr std::uint8_t kComponentParent = 0x04;
constexpr std::uint8_t kComponentRoot = 0x08;
constexpr std::size_t kComponentPart = kNamePart - 2;
// TF flags: modification, access and attribute change times follow.
constexpr std::uint8_t kTimesRecorded = 0x02 | 0x04 | 0x08;

constexpr std::string_view kExtensionId = "RRIP_1991A";
constexpr std::string_view kExtensionText =
    "THE ROCK RIDGE INTERCHANGE PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS";
constexpr std::string_view kExtensionSource =
    "PLEASE CONTACT DISC PUBLISHER FOR SPECIFICATION SOURCE.  SEE PUBLISHER IDENTIFIER IN "
    "PRIMARY VOLUME DESCRIPTOR FOR CONTACT INFORMATION.";

// Appends an entry's header; its length byte is set by Close.
std::size_t Open(Entries& out, const char (&signature)[3]) {
  const std::size_t start = out.size();
  out.insert(out.end(), {static_cast<std::uint8_t>(signature[0]),
                         static_cast<std::uint8_t>(signature[1]), 0, kVersion});
  return start;
}

void Close(Entries& out, std::size_t start) { out[start + 2] = static_cast<std::uint8_t>(out.size() - start); }

void AppendBoth32(Entries& out, std::uint32_t value) {
  const std::size_t at = out.size();
  out.resize(at + 8);
  bytes::PutBoth32(out.data() + at, value);
}

void AppendText(Entries& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// One component record of SL: flags, length, bytes.
void AppendComponent(Entries& components, std::uint8_t flags, std::string_view bytes) {
  components.push_back(flags);
  components.push_back(static_cast<std::uint8_t>(bytes.size()));
  AppendText(components, bytes);
}

Entries LinkComponents(std::string_view target) {
  Entries components;
  if (target.starts_with('/')) AppendComponent(components, kComponentRoot, {});
  while (!target.empty()) {
    const std::size_t slash = target.find('/');
    std::string_view part = target.substr(0, slash);
    target = slash == std::string_view::npos ? std::string_view{} : target.substr(slash + 1);
    if (part.empty()) continue;  // "//" or a leading or trailing "/"
    if (part == ".") {
      AppendComponent(components, kComponentCurrent, {});
    } else if (part == "..") {
      AppendComponent(components, kComponentParent, {});
    } else {
      // A component longer than one record goes on in the next (CONTINUE).
      for (; part.size() > kComponentPart; part.remove_prefix(kComponentPart)) {
        AppendComponent(components, kContinues, part.substr(0, kComponentPart));
      }
      AppendComponent(components, 0, part);
    }
  }
  return components;
}

}  // namespace

void AppendSuspIndicator(Entries& out) {
  const std::size_t start = Open(out, "SP");
  out.insert(out.end(), {0xBE, 0xEF, 0});
  Close(out, start);
}

void AppendExtensionReference(Entries& out) {
  const std::size_t start = Open(out, "ER");
  out.insert(out.end(), {static_cast<std::uint8_t>(kExtensionId.size()),
                         static_cast<std::uint8_t>(kExtensionText.size()),
                         static_cast<std::uint8_t>(kExtensionSource.size()), 1});
  AppendText(out, kExtensionId);
  AppendText(out, kExtensionText);
  AppendText(out, kExtensionSource);
  Close(out, start);
}

void AppendPosixAttributes(Entries& out, std::uint32_t mode, std::uint32_t links) {
  const std::size_t start = Open(out, "PX");
  AppendBoth32(out, mode);
  AppendBoth32(out, links);
  AppendBoth32(out, 0);  // owner
  AppendBoth32(out, 0);  // group
  Close(out, start);
}

void AppendName(Entries& out, std::string_view name) {
  do {
    const std::string_view part = name.substr(0, kNamePart);
    name.remove_prefix(part.size());
    const std::size_t start = Open(out, "NM");
    out.push_back(name.empty() ? 0 : kContinues);
    AppendText(out, part);
    Close(out, start);
  } while (!name.empty());
}

void AppendTimes(Entries& out, const ShortTime& modified) {
  const std::size_t start = Open(out, "TF");
  out.push_back(kTimesRecorded);
  for (int i = 0; i < 3; ++i) out.insert(out.end(), modified.begin(), modified.end());
  Close(out, start);
}

void AppendSymbolicLink(Entries& out, std::string_view target) {
  const Entries components = LinkComponents(target);
  std::size_t from = 0;
  do {
    // Whole component records, as many as one entry holds.
    std::size_t to = from;
    while (to < components.size() && to + 2 + components[to + 1] - from <= kNamePart) {
      to += 2 + components[to + 1];
    }
    const std::size_t start = Open(out, "SL");
    out.push_back(to < components.size() ? kContinues : 0);
    out.insert(out.end(), components.begin() + static_cast<std::ptrdiff_t>(from),
               components.begin() + static_cast<std::ptrdiff_t>(to));
    Close(out, start);
    from = to;
  } while (from < components.size());
}

void AppendContinuation(Entries& out) {
  const std::size_t start = Open(out, "CE");
  out.resize(out.size() + 24);
  Close(out, start);
}

void SetContinuation(std::uint8_t* ceEntry, std::uint32_t block, std::uint32_t offset,
                     std::uint32_t length) {
  bytes::PutBoth32(ceEntry + 4, block);
  bytes::PutBoth32(ceEntry + 12, offset);
  bytes::PutBoth32(ceEntry + 20, length);
}

void AppendRelocated(Entries& out) { Close(out, Open(out, "RE")); }

void AppendChildLink(Entries& out, std::uint32_t extent) {
  const std::size_t start = Open(out, "CL");
  AppendBoth32(out, extent);
  Close(out, start);
}

void AppendParentLink(Entries& out, std::uint32_t extent) {
  const std::size_t start = Open(out, "PL");
  AppendBoth32(out, extent);
  Close(out, start);
}

std::uint32_t SharedMode(std::uint32_t sourceMode) {
  if (S_ISDIR(sourceMode)) return S_IFDIR | 0555;
  if (S_ISLNK(sourceMode)) return S_IFLNK | 0777;
  const std::uint32_t execute = (sourceMode & 0111) != 0 ? 0111 : 0;
  return (sourceMode & S_IFMT) | 0444 | execute;
}

std::vector<std::span<const std::uint8_t>> EntriesOf(std::span<const std::uint8_t> area) {
  std::vector<std::span<const std::uint8_t>> entries;
  while (area.size() >= kHeader && area[2] >= kHeader && area[2] <= area.size()) {
    entries.push_back(area.first(area[2]));
    area = area.subspan(area[2]);
  }
  return entries;
}

SplitSystemUse SplitEntries(std::span<const std::uint8_t> entries, std::size_t room,
                            std::size_t areaLimit) {
  SplitSystemUse split;
  if (entries.size() <= room) {
    split.inside.assign(entries.begin(), entries.end());
    return split;
  }
  const auto list = EntriesOf(entries);
  std::size_t next = 0;
  // Fills `into` with entries while they and a CE fit in `limit`; the CE
  // follows when any are left, or all go in when the rest fits whole.
  auto fill = [&](Entries& into, std::size_t limit) {
    std::size_t rest = 0;
    for (std::size_t i = next; i < list.size(); ++i) rest += list[i].size();
    if (rest <= limit) {
      for (; next < list.size(); ++next) into.insert(into.end(), list[next].begin(), list[next].end());
      return;
    }
    while (next < list.size() && into.size() + list[next].size() + kContinuationLength <= limit) {
      into.insert(into.end(), list[next].begin(), list[next].end());
      ++next;
    }
    AppendContinuation(into);
  };
  split.inside.clear();
  // Inside the record, the CE is always needed: the entries did not all fit.
  while (next < list.size() && split.inside.size() + list[next].size() + kContinuationLength <= room) {
    split.inside.insert(split.inside.end(), list[next].begin(), list[next].end());
    ++next;
  }
  AppendContinuation(split.inside);
  while (next < list.size()) fill(split.areas.emplace_back(), areaLimit);
  return split;
}

}  // namespace scrivo::rrip
