#pragma once
// Typed fields of ECMA-119 structures. Each type holds the field's bytes in
// disc order, so a structure built from them has the exact on-disc layout,
// and each has exactly one setter that writes the whole field from one value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/bytes/byte_order.h"

namespace scrivo::ecma119 {

// ECMA-119 7.3.3: 32-bit value, little-endian half then big-endian half.
class BothEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutBoth32(bytes_.data(), value); }
  // The little-endian half is the one readers trust.
  constexpr std::uint32_t Value() const { return bytes::GetLE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 8> bytes_{};
};

// ECMA-119 7.2.3: 16-bit value in both byte orders.
class BothEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutBoth16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetLE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

// ECMA-119 7.3.1 / 7.3.2: single byte-order 32-bit fields of the path table
// locations and of type L / type M path table records.
class LittleEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutLE32(bytes_.data(), value); }
  constexpr std::uint32_t Value() const { return bytes::GetLE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

class BigEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutBE32(bytes_.data(), value); }
  constexpr std::uint32_t Value() const { return bytes::GetBE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

// ECMA-119 7.2.1 / 7.2.2.
class LittleEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutLE16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetLE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 2> bytes_{};
};

class BigEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutBE16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetBE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 2> bytes_{};
};

static_assert(sizeof(BothEndian32) == 8 && sizeof(BothEndian16) == 4);
static_assert(sizeof(LittleEndian32) == 4 && sizeof(BigEndian32) == 4);
static_assert(sizeof(LittleEndian16) == 2 && sizeof(BigEndian16) == 2);

// A fixed-length text field (a- or d-characters, or UCS-2 big-endian units).
template <std::size_t N>
using TextField = std::array<std::uint8_t, N>;

template <std::size_t N>
constexpr TextField<N> FilledWith(std::uint8_t byte) {
  TextField<N> field{};
  field.fill(byte);
  return field;
}

// Copies `text` to the start of `field`, at most N bytes; the rest is kept.
template <std::size_t N>
void WriteText(TextField<N>& field, std::string_view text) {
  std::memcpy(field.data(), text.data(), text.size() < N ? text.size() : N);
}

// --- Dates -----------------------------------------------------------------

// A moment as the disc records it: seconds since 1970-01-01 00:00 UTC, and
// the offset from Greenwich (minutes east) of the zone it is shown in. Both
// date forms hold the local time and that offset.
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t offsetMinutes = 0;
  friend constexpr bool operator==(const FileTime&, const FileTime&) = default;
};

// ECMA-119 9.1.5: years since 1900, month, day, hour, minute, second, and the
// offset in 15-minute units (a signed byte, -48 to +52).
using RecordDate = TextField<7>;
// ECMA-119 8.4.26.1: "YYYYMMDDHHMMSScc" in digits and the offset byte.
using VolumeDate = TextField<17>;

// A volume date that is not specified: sixteen '0' digits and offset 0.
constexpr VolumeDate kUnspecifiedVolumeDate = {'0', '0', '0', '0', '0', '0', '0', '0', '0',
                                               '0', '0', '0', '0', '0', '0', '0', 0};

namespace dates {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct Civil {
  std::int64_t year;
  unsigned month, day, hour, minute, second;
};

constexpr Civil CivilFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  const auto secondOfDay = static_cast<unsigned>(rest);
  return {year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
}

// The offset in the 15-minute units both forms hold, within -48 to +52.
constexpr std::int32_t OffsetUnits(std::int32_t offsetMinutes) {
  const std::int32_t units = offsetMinutes / 15;
  return units < -48 ? -48 : units > 52 ? 52 : units;
}

// The local time a moment is shown as, held within [first, last] (both
// given as local times in seconds).
constexpr Civil LocalCivil(FileTime time, std::int64_t first, std::int64_t last) {
  std::int64_t local = time.seconds + std::int64_t{OffsetUnits(time.offsetMinutes)} * 15 * 60;
  local = local < first ? first : local > last ? last : local;
  return CivilFromSeconds(local);
}

}  // namespace dates

// A record date; a moment before 1900 or after 2155 is held at the nearest
// date the field can show.
constexpr RecordDate EncodeRecordDate(FileTime time) {
  const std::int64_t first = dates::DaysFromCivil(1900, 1, 1) * dates::kSecondsPerDay;
  const std::int64_t last = (dates::DaysFromCivil(2156, 1, 1) * dates::kSecondsPerDay) - 1;
  const dates::Civil civil = dates::LocalCivil(time, first, last);
  return {static_cast<std::uint8_t>(civil.year - 1900), static_cast<std::uint8_t>(civil.month),
          static_cast<std::uint8_t>(civil.day),         static_cast<std::uint8_t>(civil.hour),
          static_cast<std::uint8_t>(civil.minute),      static_cast<std::uint8_t>(civil.second),
          static_cast<std::uint8_t>(dates::OffsetUnits(time.offsetMinutes))};
}

// The moment a record date names; nothing for a date that names none (the
// all-zero date of a record without one, or fields out of their ranges).
constexpr std::optional<FileTime> DecodeRecordDate(const RecordDate& date) {
  const unsigned month = date[1], day = date[2];
  const auto units = static_cast<std::int8_t>(date[6]);
  if (month < 1 || month > 12 || day < 1 || date[3] > 23 || date[4] > 59 || date[5] > 59 ||
      units < -48 || units > 52) {
    return std::nullopt;
  }
  const std::int64_t year = 1900 + std::int64_t{date[0]};
  // A day past the month's end (31 April) names no date.
  const std::int64_t days = dates::DaysFromCivil(year, month, day);
  if (dates::CivilFromSeconds(days * dates::kSecondsPerDay).day != day) return std::nullopt;
  const std::int64_t local = days * dates::kSecondsPerDay + date[3] * 3600 + date[4] * 60 + date[5];
  return FileTime{local - std::int64_t{units} * 15 * 60, units * 15};
}

// A volume date (hundredths 00); held within the years 1 to 9999.
constexpr VolumeDate EncodeVolumeDate(FileTime time) {
  const std::int64_t first = dates::DaysFromCivil(1, 1, 1) * dates::kSecondsPerDay;
  const std::int64_t last = (dates::DaysFromCivil(10000, 1, 1) * dates::kSecondsPerDay) - 1;
  const dates::Civil civil = dates::LocalCivil(time, first, last);
  VolumeDate date{};
  auto digits = [&date](std::size_t at, std::int64_t value, std::size_t count) {
    for (std::size_t i = count; i > 0; --i, value /= 10) {
      date[at + i - 1] = static_cast<std::uint8_t>('0' + value % 10);
    }
  };
  digits(0, civil.year, 4);
  digits(4, civil.month, 2);
  digits(6, civil.day, 2);
  digits(8, civil.hour, 2);
  digits(10, civil.minute, 2);
  digits(12, civil.second, 2);
  digits(14, 0, 2);
  date[16] = static_cast<std::uint8_t>(dates::OffsetUnits(time.offsetMinutes));
  return date;
}

// The moment a volume date names; nothing for an unset date ("0" digits and
// a zero offset) or one whose fields are out of their ranges. Hundredths
// are dropped.
constexpr std::optional<FileTime> DecodeVolumeDate(const VolumeDate& date) {
  std::int64_t fields[7] = {};
  constexpr std::size_t kWidths[7] = {4, 2, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  for (std::size_t f = 0; f < 7; ++f) {
    for (std::size_t i = 0; i < kWidths[f]; ++i, ++at) {
      if (date[at] < '0' || date[at] > '9') return std::nullopt;
      fields[f] = fields[f] * 10 + (date[at] - '0');
    }
  }
  const auto units = static_cast<std::int8_t>(date[16]);
  const std::int64_t year = fields[0], month = fields[1], day = fields[2];
  const std::int64_t hour = fields[3], minute = fields[4], second = fields[5];
  if (year < 1 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59 ||
      units < -48 || units > 52) {
    return std::nullopt;
  }
  const std::int64_t days = dates::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  if (std::int64_t{dates::CivilFromSeconds(days * dates::kSecondsPerDay).day} != day) return std::nullopt;
  const std::int64_t local = days * dates::kSecondsPerDay + hour * 3600 + minute * 60 + second;
  return FileTime{local - std::int64_t{units} * 15 * 60, units * 15};
}

}  // namespace scrivo::ecma119
