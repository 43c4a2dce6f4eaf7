#pragma once
// The five-line reports of Get Burner Info. and Get Disk Info., lines joined
// by a carriage return and line feed.

#include <QString>

#include <cstdint>

struct BurnerFacts {
  bool cdrWrite, cdrwWrite, multiSession, readDvd;
  std::int32_t maxWriteSpeed;
};
struct DiscFacts {
  bool blank, closed, erasable;
  std::int32_t maxReadSpeed, maxWriteSpeed;
};

QString BurnerReport(const BurnerFacts& facts);
QString DiscReport(const DiscFacts& facts);
