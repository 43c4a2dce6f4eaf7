#include "platform/aspi/virtual/fault_injector.h"

#include <charconv>
#include <string_view>

#include "platform/aspi/scsi_opcodes.h"
#include "platform/aspi/virtual/disc_store.h"

namespace wnaspi::vdrive {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool RecordsOrErases(std::uint8_t op) {
  switch (op) {
    case opcode::kWrite10:
    case opcode::kWrite12:
    case opcode::kSynchronizeCache:
    case opcode::kCloseTrackSession:
    case opcode::kReserveTrack:
    case opcode::kBlank:
    case opcode::kFormatUnit:
      return true;
    default:
      return false;
  }
}

bool ParseDecimal(std::string_view text, std::uint32_t* value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// "OP@N": two hex digits, then a decimal count from 1.
bool ParseTrigger(std::string_view text, std::uint8_t* op, std::uint32_t* occurrence) {
  const std::size_t at = text.find('@');
  if (at != 2) return false;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + 2, value, 16);
  if (ec != std::errc() || end != text.data() + 2) return false;
  *op = static_cast<std::uint8_t>(value);
  return ParseDecimal(text.substr(3), occurrence) && *occurrence >= 1;
}

// "LBA" or "LBA-LBA", the first not after the last.
bool ParseRange(std::string_view text, std::uint32_t* first, std::uint32_t* last) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return ParseDecimal(text, first) && ParseDecimal(text, last);
  return ParseDecimal(text.substr(0, dash), first) && ParseDecimal(text.substr(dash + 1), last) &&
         *first <= *last;
}

bool Overlaps(std::uint32_t first, std::uint32_t last, std::uint32_t lba, std::uint32_t count) {
  return count > 0 && first <= lba + (count - 1) && last >= lba;
}

constexpr std::uint32_t kMaxDelayMs = 10000;

// "OP:MS": two hex digits, then milliseconds.
bool ParseDelay(std::string_view text, std::uint8_t* op, std::uint32_t* ms) {
  if (text.size() < 4 || text[2] != ':') return false;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + 2, value, 16);
  if (ec != std::errc() || end != text.data() + 2) return false;
  *op = static_cast<std::uint8_t>(value);
  return ParseDecimal(text.substr(3), ms) && *ms <= kMaxDelayMs;
}

}  // namespace

FaultInjector::FaultInjector(const std::string& spec, std::vector<std::string>* problems) {
  std::string_view rest = spec;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = Trim(rest.substr(0, comma));
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    if (item.empty()) continue;
    if (item == "neverready") {
      neverReady_ = true;
      continue;
    }
    const std::size_t eq = item.find('=');
    const std::string_view kind = item.substr(0, eq);
    std::uint8_t slowOp = 0;
    std::uint32_t delayMs = 0;
    if (kind == "slow" && eq != std::string_view::npos &&
        ParseDelay(item.substr(eq + 1), &slowOp, &delayMs)) {
      delays_[slowOp] = std::chrono::milliseconds(delayMs);
      continue;
    }
    Fault fault{};
    const bool triggerOk = eq != std::string_view::npos &&
                           ParseTrigger(item.substr(eq + 1), &fault.opcode, &fault.occurrence);
    std::uint32_t block = 0;
    BlockRange range{};
    const bool rangeOk = eq != std::string_view::npos && ParseRange(item.substr(eq + 1), &range.first, &range.last);
    if (kind == "badblock" && ParseDecimal(item.substr(eq + 1), &block)) {
      badBlocks_.push_back(block);
    } else if (rangeOk && (kind == "corrupt" || kind == "unreadable")) {
      (kind == "corrupt" ? corrupt_ : unreadable_).push_back(range);
    } else if (triggerOk && kind == "fail") {
      fault.action.sense =
          RecordsOrErases(fault.opcode) ? sense::kWriteError : sense::kUnrecoveredReadError;
      faults_.push_back(fault);
    } else if (triggerOk && kind == "notready") {
      fault.action.sense = sense::kBecomingReady;
      faults_.push_back(fault);
    } else if (triggerOk && kind == "button") {
      fault.action.button = true;
      faults_.push_back(fault);
    } else {
      problems->push_back("WNASPI32_VIRTUAL_FAULTS: cannot read \"" + std::string(item) +
                          "\" (expected fail=OP@N, notready=OP@N, button=OP@N, slow=OP:MS, neverready, badblock=LBA, corrupt=LBA[-LBA] or unreadable=LBA[-LBA]); ignored");
    }
  }
}

std::optional<FaultInjector::Action> FaultInjector::OnCommand(std::uint8_t opcode) {
  std::lock_guard lock(mutex_);
  const std::uint32_t count = ++counts_[opcode];
  for (const Fault& fault : faults_) {
    if (fault.opcode == opcode && fault.occurrence == count) return fault.action;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> FaultInjector::UnreadableIn(std::uint32_t lba, std::uint32_t count) const {
  std::optional<std::uint32_t> first;
  for (const BlockRange& range : unreadable_) {
    if (!Overlaps(range.first, range.last, lba, count)) continue;
    const std::uint32_t block = range.first > lba ? range.first : lba;
    if (!first || block < *first) first = block;
  }
  return first;
}

void FaultInjector::Corrupt(std::uint32_t lba, std::uint32_t count, std::uint8_t* data) const {
  for (const BlockRange& range : corrupt_) {
    if (!Overlaps(range.first, range.last, lba, count)) continue;
    const std::uint32_t from = range.first > lba ? range.first : lba;
    const std::uint32_t to = range.last < lba + (count - 1) ? range.last : lba + (count - 1);
    std::uint8_t* at = data + std::size_t{from - lba} * kBlockSize;
    for (std::size_t i = 0; i < std::size_t{to - from + 1} * kBlockSize; ++i) at[i] = static_cast<std::uint8_t>(~at[i]);
  }
}

std::optional<std::uint32_t> FaultInjector::BadBlockIn(std::uint32_t lba, std::uint32_t count) {
  std::lock_guard lock(mutex_);
  auto first = badBlocks_.end();
  for (auto it = badBlocks_.begin(); it != badBlocks_.end(); ++it) {
    if (*it >= lba && *it - lba < count && (first == badBlocks_.end() || *it < *first)) first = it;
  }
  if (first == badBlocks_.end()) return std::nullopt;
  const std::uint32_t block = *first;
  badBlocks_.erase(first);
  return block;
}

}  // namespace wnaspi::vdrive
