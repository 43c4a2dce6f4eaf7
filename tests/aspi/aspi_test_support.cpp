#include "aspi_test_support.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace aspitest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "aspi-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string SenseText(int key, int asc, int ascq) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X", key, asc, ascq);
  return text;
}

std::string SenseOf(const Result& r) { return SenseText(r.key(), r.asc(), r.ascq()); }

std::string CheckConditionOf(const Result& r) {
  char text[64];
  std::snprintf(text, sizeof text, "status %02X, target status %02X, sense ", r.status, r.targStat);
  return text + SenseOf(r);
}

std::string CheckConditionText(int key, int asc, int ascq) {
  char text[64];
  std::snprintf(text, sizeof text, "status %02X, target status %02X, sense ", SS_ERR, STATUS_CHKCOND);
  return text + SenseText(key, asc, ascq);
}

Sender EntryPoint() { return [](void* srb) { return SendASPI32Command(srb); }; }

Sender Through(wnaspi::AspiLayer& layer) {
  return [&layer](void* srb) { return layer.Send(srb); };
}

Result Device::Exec(const Cdb& cdb, std::uint8_t flags, std::uint32_t length, const Bytes& out) {
  Result result;
  result.data = out;
  result.data.resize(length, 0);
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = ha_;
  srb.SRB_Flags = flags;
  srb.SRB_Target = target_;
  srb.SRB_Lun = lun_;
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = length ? result.data.data() : nullptr;
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = 12;
  std::memcpy(srb.CDBByte, cdb.data(), cdb.size());
  send_(&srb);
  result.status = srb.SRB_Status;
  result.haStat = srb.SRB_HaStat;
  result.targStat = srb.SRB_TargStat;
  std::memcpy(result.sense.data(), srb.SenseArea, sizeof srb.SenseArea);
  return result;
}

std::uint8_t Device::DeviceType(std::uint8_t* type) {
  SRB_GDEVBlock srb{};
  srb.SRB_Cmd = SC_GET_DEV_TYPE;
  srb.SRB_HaId = ha_;
  srb.SRB_Target = target_;
  srb.SRB_Lun = lun_;
  send_(&srb);
  if (type) *type = srb.SRB_DeviceType;
  return srb.SRB_Status;
}

std::string Device::Description() {
  SRB_ExecSCSICmd srb{};
  std::array<std::uint8_t, 36> data{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = ha_;
  srb.SRB_Target = target_;
  srb.SRB_Lun = lun_;
  srb.SRB_Flags = kFlagsIn;
  srb.SRB_BufLen = 36;
  srb.SRB_BufPointer = data.data();
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = 6;
  const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 0x24, 0};
  std::memcpy(srb.CDBByte, inquiry, sizeof inquiry);
  send_(&srb);
  if (srb.SRB_Status != SS_COMP) return "<failed>";
  return std::string(reinterpret_cast<const char*>(&data[8]), 27);
}

namespace cdb {
Cdb TestUnitReady() { return {}; }
Cdb RequestSense() { return {0x03, 0, 0, 0, 0xC8, 0}; }
Cdb Inquiry() { return {0x12, 0, 0, 0, 0x24, 0}; }
Cdb ModeSenseCapabilities() { return {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x1E, 0, 0, 0}; }
Cdb ModeSenseWriteParametersDefault() { return {0x5A, 0, 0x85, 0, 0, 0, 0, 0, 0x9E, 0, 0, 0}; }
Cdb ModeSense(std::uint8_t pcCode, std::uint16_t allocation) {
  return {0x5A, 0, pcCode, 0, 0, 0, 0, static_cast<std::uint8_t>(allocation >> 8),
          static_cast<std::uint8_t>(allocation), 0, 0, 0};
}
Cdb ModeSelect(std::uint16_t length) {
  return {0x55, 0x10, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length), 0, 0, 0};
}
Cdb GetFeature(std::uint16_t feature, std::uint16_t allocation) {
  return {0x46, 0x02, static_cast<std::uint8_t>(feature >> 8), static_cast<std::uint8_t>(feature),
          0, 0, 0, static_cast<std::uint8_t>(allocation >> 8),
          static_cast<std::uint8_t>(allocation), 0, 0, 0};
}
Cdb ReadDiscInformation() { return {0x51, 0, 0, 0, 0, 0, 0, 0, 0x22, 0, 0, 0}; }
Cdb ReadTocFull(std::uint16_t allocation) {
  return {0x43, 0x02, 0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(allocation >> 8),
          static_cast<std::uint8_t>(allocation), 0, 0, 0};
}
Cdb ReadSessionInfo() { return {0x43, 0x01, 0x01, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0}; }
Cdb ReadToc(std::uint8_t format, bool msf, std::uint8_t number, std::uint16_t allocation) {
  return {0x43, static_cast<std::uint8_t>(msf ? 0x02 : 0), format, 0, 0, 0, number,
          static_cast<std::uint8_t>(allocation >> 8), static_cast<std::uint8_t>(allocation), 0, 0, 0};
}
Cdb ReadTrackInformation(std::uint8_t type, std::uint32_t value, std::uint16_t allocation) {
  return {0x52, type, static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value), 0,
          static_cast<std::uint8_t>(allocation >> 8), static_cast<std::uint8_t>(allocation), 0, 0, 0};
}
Cdb Read10(std::uint32_t lba, std::uint16_t blocks) {
  return {0x28, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
          static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0,
          static_cast<std::uint8_t>(blocks >> 8), static_cast<std::uint8_t>(blocks), 0, 0, 0};
}
Cdb Write10(std::uint32_t lba, std::uint16_t blocks) {
  Cdb c = Read10(lba, blocks);
  c[0] = 0x2A;
  return c;
}
Cdb SynchronizeCache() { return {0x35}; }
Cdb CloseSession() { return {0x5B, 0, 0x02}; }
Cdb CloseFunctionZero() { return {0x5B}; }
Cdb CloseTrack(std::uint16_t track) {
  return {0x5B, 0, 0x01, 0, static_cast<std::uint8_t>(track >> 8), static_cast<std::uint8_t>(track)};
}
Cdb SetCdSpeed(std::uint16_t read, std::uint16_t write) {
  return {0xBB, 0, static_cast<std::uint8_t>(read >> 8), static_cast<std::uint8_t>(read),
          static_cast<std::uint8_t>(write >> 8), static_cast<std::uint8_t>(write), 0, 0, 0, 0, 0, 0};
}
Cdb GetPerformanceWriteSpeed() { return {0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0x03, 0}; }
Cdb SetStreaming() { return {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0}; }
Cdb ReserveTrack(std::uint32_t blocks) {
  return {0x53, 0, 0, 0, 0, static_cast<std::uint8_t>(blocks >> 24),
          static_cast<std::uint8_t>(blocks >> 16), static_cast<std::uint8_t>(blocks >> 8),
          static_cast<std::uint8_t>(blocks), 0, 0, 0};
}
Cdb Blank(bool full) { return {0xA1, static_cast<std::uint8_t>(full ? 0x10 : 0x11)}; }
Cdb FormatDvdPlusRw() { return {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0}; }
Cdb Eject() { return {0x1B, 0, 0, 0, 0x02}; }
}  // namespace cdb

Bytes FormatParameters() { return {0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x98, 0, 0, 0}; }

Bytes StreamingDescriptor(std::uint32_t endLba, std::uint32_t readSpeed, std::uint32_t writeSpeed) {
  Bytes d(28, 0);
  auto put = [&](std::size_t at, std::uint32_t v) {
    d[at] = static_cast<std::uint8_t>(v >> 24);
    d[at + 1] = static_cast<std::uint8_t>(v >> 16);
    d[at + 2] = static_cast<std::uint8_t>(v >> 8);
    d[at + 3] = static_cast<std::uint8_t>(v);
  };
  put(8, endLba);
  put(12, readSpeed);
  put(16, 1000);
  put(20, writeSpeed);
  put(24, 1000);
  return d;
}

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 |
         b[at + 3];
}
std::uint16_t Be16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

Bytes PatternBlock(std::uint32_t lba, std::uint8_t salt) {
  Bytes block(2048);
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<std::uint8_t>((lba * 7 + i + salt) & 0xFF);
  }
  block[0] = static_cast<std::uint8_t>(lba >> 24);
  block[1] = static_cast<std::uint8_t>(lba >> 16);
  block[2] = static_cast<std::uint8_t>(lba >> 8);
  block[3] = static_cast<std::uint8_t>(lba);
  return block;
}

bool Burner::GetDiscInfo(DiscInfo* info) {
  d_.NoData(cdb::TestUnitReady());
  const Result r = d_.In(cdb::ReadDiscInformation(), 34);
  if (!r.ok()) return false;
  info->blank = (r.data[2] & 0x03) == 0;
  info->closed = (r.data[2] & 0x03) == 2;
  info->erasable = (r.data[2] & 0x10) != 0;
  return true;
}

std::optional<std::uint32_t> Burner::NextSessionFromToc() {
  std::uint8_t last = 0;
  std::optional<std::uint32_t> next;
  for (const TocEntry& e : FullToc(d_, nullptr, &last)) {
    if (e.session == last && e.point == 0xB0) next = (e.min * 60u + e.sec) * 75u + e.frame;
  }
  return next;
}

std::vector<TocEntry> FullToc(Device& d, std::uint8_t* firstSession, std::uint8_t* lastSession) {
  d.NoData(cdb::TestUnitReady());
  const Result header = d.In(cdb::ReadTocFull(4), 4);
  if (!header.ok()) return {};
  const std::uint16_t length = Be16(header.data, 0);
  d.NoData(cdb::TestUnitReady());
  const Result full = d.In(cdb::ReadTocFull(static_cast<std::uint16_t>(length + 4)), length + 4);
  if (!full.ok()) return {};
  if (firstSession) *firstSession = full.data[2];
  if (lastSession) *lastSession = full.data[3];
  std::vector<TocEntry> entries;
  for (std::size_t at = 4; at + 11 <= full.data.size(); at += 11) {
    const auto* p = &full.data[at];
    entries.push_back({p[0], p[1], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10]});
  }
  return entries;
}

std::optional<std::uint32_t> Burner::PrepareCd(std::uint8_t multiSessionField) {
  DiscInfo info{};
  if (!GetDiscInfo(&info) || info.closed) return std::nullopt;
  const std::uint32_t start = NextSessionFromToc().value_or(0);
  SetWriteParametersCd(multiSessionField);
  return start;
}

// The drive's default page 05h, after a readiness test, as a MODE SELECT
// parameter list: an empty 8-byte header followed by the page.
bool Burner::DefaultWriteParameters(Bytes& list) {
  d_.NoData(cdb::TestUnitReady());
  const Result sensed = d_.In(cdb::ModeSenseWriteParametersDefault(), 158);
  if (!sensed.ok()) return false;
  const std::size_t page = sensed.data[9] + 2u;
  list.assign(page + 8, 0);
  std::copy_n(sensed.data.begin() + 8, page, list.begin() + 8);
  return true;
}

bool Burner::SelectWriteParameters(const Bytes& list) {
  return d_.Out(cdb::ModeSelect(static_cast<std::uint16_t>(list.size())), list).ok();
}

bool Burner::SetWriteParametersCd(std::uint8_t multiSessionField) {
  d_.NoData(cdb::TestUnitReady());
  Bytes list;
  if (!DefaultWriteParameters(list)) return false;
  list[8 + 2] = static_cast<std::uint8_t>((list[8 + 2] & 0xE0) | 0x01);
  list[8 + 3] = static_cast<std::uint8_t>((list[8 + 3] & 0x0F) | (multiSessionField << 6));
  list[8 + 4] = 0x08;
  return SelectWriteParameters(list);
}

bool Burner::FeatureCurrent(std::uint16_t feature) {
  const Result r = d_.In(cdb::GetFeature(feature, 255), 255);
  return r.ok() && Be32(r.data, 0) > 4 && r.data[9] == (feature & 0xFF) && (r.data[10] & 1);
}

bool Burner::SetWriteParametersDvd(bool dvdMinusWrite) {
  const std::uint8_t trackMode = dvdMinusWrite ? 5 : 4;
  Bytes list;
  if (!DefaultWriteParameters(list)) return false;
  list[8 + 2] = static_cast<std::uint8_t>((list[8 + 2] & 0xE0) | 0x02);
  list[8 + 3] = trackMode;  // multiSessionField 0
  list[8 + 4] = 0x08;
  list[8 + 5] = trackMode == 5 ? 0x10 : 0x00;
  return SelectWriteParameters(list);
}

bool Burner::WriteBlock(std::uint32_t lba, const Bytes& block) {
  d_.NoData(cdb::TestUnitReady());
  return d_.Out(cdb::Write10(lba), block).ok();
}

std::uint32_t Burner::WriteBlocks(std::uint32_t start, const std::vector<Bytes>& blocks) {
  std::uint32_t written = 0;
  for (const Bytes& block : blocks) {
    if (!WriteBlock(start + written, block)) break;
    ++written;
  }
  return written;
}

void Burner::WaitReady() {
  for (int i = 0; i < 1000 && !d_.NoData(cdb::TestUnitReady()).ok(); ++i) {
  }
}

void Burner::FinishSession(bool closeSession) {
  d_.NoData(cdb::TestUnitReady());
  d_.NoData(cdb::SynchronizeCache());
  WaitReady();
  if (closeSession) {
    d_.NoData(cdb::TestUnitReady());
    d_.NoData(cdb::CloseSession());
  }
  WaitReady();
}

std::vector<std::uint32_t> Burner::BlankDisc(bool full, bool* ok) {
  std::vector<std::uint32_t> progress;
  d_.NoData(cdb::TestUnitReady());
  *ok = d_.NoData(cdb::Blank(full)).ok();
  if (!*ok) return progress;
  for (int cycle = 0; cycle < 10000; ++cycle) {
    if (d_.NoData(cdb::TestUnitReady()).ok()) break;
    const Result sense = d_.In(cdb::RequestSense(), 200);
    if (!sense.ok()) {
      *ok = false;
      break;
    }
    progress.push_back(Be16(sense.data, 16));
  }
  d_.NoData(cdb::TestUnitReady());
  d_.NoData(cdb::SynchronizeCache());
  return progress;
}

std::vector<std::uint32_t> Burner::FormatDvdPlusRw(bool* ok, bool* closed) {
  std::vector<std::uint32_t> progress;
  *closed = false;
  d_.NoData(cdb::TestUnitReady());
  *ok = d_.Out(cdb::FormatDvdPlusRw(), FormatParameters()).ok();
  if (!*ok) return progress;
  std::uint32_t value = 0;
  bool busy = false, seen = false;
  for (int cycle = 0; cycle < 10000; ++cycle) {
    busy = !d_.NoData(cdb::TestUnitReady()).ok();
    if (busy) {
      const Result sense = d_.In(cdb::RequestSense(), 200);
      if (sense.ok()) value = Be16(sense.data, 16);
      progress.push_back(value);
    }
    if (seen && value == 0) return progress;
    if (value > 0) seen = true;
    if (!busy) {
      d_.NoData(cdb::TestUnitReady());
      *closed = d_.NoData(cdb::CloseFunctionZero()).ok();
      return progress;
    }
  }
  *ok = false;
  return progress;
}

bool Burner::SetStreaming(std::uint32_t endLba) {
  WaitReady();
  const Result perf = d_.In(cdb::GetPerformanceWriteSpeed(), 328);
  if (!perf.ok()) return false;
  const std::uint32_t n = (Be32(perf.data, 0) - 4) / 16;
  if (n == 0) return false;
  const std::size_t at = 8 + 16 * (std::min<std::uint32_t>(n, 20) - 1);
  return d_.Out(cdb::SetStreaming(),
                StreamingDescriptor(endLba, Be32(perf.data, at + 8), Be32(perf.data, at + 12)))
      .ok();
}

bool Burner::ReserveTrack(std::uint32_t blocks) { return d_.NoData(cdb::ReserveTrack(blocks)).ok(); }

Bytes ReadBlocks(Device& d, std::uint32_t lba, std::uint32_t count) {
  Bytes all;
  for (std::uint32_t i = 0; i < count; ++i) {
    const Result r = d.In(cdb::Read10(lba + i), 2048);
    if (!r.ok()) {
      ADD_FAILURE() << "READ(10) of block " << lba + i << " failed: " << SenseOf(r);
      return all;
    }
    all.insert(all.end(), r.data.begin(), r.data.end());
  }
  return all;
}

void AspiTest::Configure(const wnaspi::Variables& variables) {
  wnaspi::ConfigureForTesting(variables);
}

void AspiTest::ConfigureOne(const std::string& medium, const std::string& extra) {
  wnaspi::Variables variables{{"WNASPI32_VIRTUAL_WRITERS", medium + "=" + (dir_ / "w0").string()}};
  if (!extra.empty()) variables["WNASPI32_VIRTUAL_FAULTS"] = extra;
  Configure(variables);
}

}  // namespace aspitest
