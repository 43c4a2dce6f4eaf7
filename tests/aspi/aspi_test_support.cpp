#include "aspi_test_support.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "engine/drive/feature_reply.h"

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

Sender EntryPoint() { return &SendASPI32Command; }

Sender Through(wnaspi::AspiLayer& layer) {
  return [&layer](void* srb) { return layer.Send(srb); };
}

Device::Device(Sender send, std::uint8_t ha, std::uint8_t target, std::uint8_t lun)
    : send_(std::move(send)) {
  core_.BindAspi(send_);
  core_.SetDevice(ha, target, lun);
}

Result Device::Exec(const Cdb& cdb, std::uint8_t flags, std::uint32_t length, const Bytes& out) {
  Result result;
  result.data = out;
  result.data.resize(length, 0);
  core_.StagedCdb() = cdb;
  core_.ExecuteCdb(length ? result.data.data() : nullptr, length, flags);
  const SRB_ExecSCSICmd& srb = core_.LastRequest();
  result.status = srb.SRB_Status;
  result.haStat = srb.SRB_HaStat;
  result.targStat = srb.SRB_TargStat;
  std::memcpy(result.sense.data(), srb.SenseArea, sizeof srb.SenseArea);
  return result;
}

std::uint8_t Device::DeviceType(std::uint8_t* type) {
  const DeviceAddress address = core_.CurrentDevice();
  SRB_GDEVBlock srb{};
  srb.SRB_Cmd = SC_GET_DEV_TYPE;
  srb.SRB_HaId = address.hostAdapter;
  srb.SRB_Target = address.target;
  srb.SRB_Lun = address.lun;
  send_(&srb);
  if (type) *type = srb.SRB_DeviceType;
  return srb.SRB_Status;
}

std::string Device::Description() {
  const DeviceAddress address = core_.CurrentDevice();
  std::array<char, 28> text{};
  if (core_.Inquiry(address.hostAdapter, address.target, address.lun, text.data()) != SS_COMP) {
    return "<failed>";
  }
  return std::string(text.data(), 27);
}

scrivo::DiscInfo Device::Disc() {
  scrivo::DiscInfo info;
  EXPECT_TRUE(core_.GetDiscInfo(info)) << "READ DISC INFORMATION failed";
  return info;
}

std::optional<std::uint32_t> Device::PrepareCd(std::uint8_t multiSessionField) {
  core_.multiSessionField = multiSessionField;
  if (!core_.PrepareTrack(multiSessionField ? BurnMode::CdMultiSession : BurnMode::CdSingleSession)) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(core_.writeAddress);
}

bool Device::WriteBlock(std::uint32_t lba, const Bytes& block) {
  core_.writeAddress = static_cast<std::int32_t>(lba);
  return core_.WriteBlocks(block);
}

std::uint32_t Device::WriteBlocks(std::uint32_t start, const std::vector<Bytes>& blocks) {
  std::uint32_t written = 0;
  for (const Bytes& block : blocks) {
    if (!WriteBlock(start + written, block)) break;
    ++written;
  }
  return written;
}

void Device::FinishSession(bool cd) {
  core_.FinishSession(cd ? BurnMode::CdMultiSession : BurnMode::Dvd, 0);
}

std::vector<std::uint32_t> Device::ProgressUntilReady() {
  std::vector<std::uint32_t> seen;
  constexpr int kMaxPolls = 10000;
  for (int poll = 0; poll < kMaxPolls; ++poll) {
    std::uint32_t progress = 0, busy = 0;
    if (!core_.GetProgress(&progress, &busy)) {
      ADD_FAILURE() << "REQUEST SENSE failed while the drive was busy";
      return {};
    }
    if (!busy) return seen;
    seen.push_back(progress);
  }
  ADD_FAILURE() << "the drive never became ready";
  return seen;
}

bool Device::FeatureCurrent(std::uint16_t feature) {
  std::array<std::uint8_t, 255> reply{};
  return core_.GetFeature(feature, reply) && scrivo::FeatureListed(reply, feature) &&
         scrivo::FeatureCurrent(reply);
}

std::optional<std::uint32_t> Device::NextSessionFromToc() {
  scrivo::FullToc toc;
  if (!core_.ReadFullToc(toc)) return std::nullopt;
  const auto next = toc.NextSessionStart();
  if (!next) return std::nullopt;
  return static_cast<std::uint32_t>(*next);
}

Cdb ReadTocCdb(std::uint8_t format, bool msf, std::uint8_t number, std::uint16_t allocation) {
  Cdb c = ReadFullTocCdb(allocation);
  c[1] = msf ? 0x02 : 0x00;
  c[2] = format;
  c[6] = number;
  return c;
}

Bytes StreamingDescriptor(std::uint32_t endLba, std::uint32_t readSpeed, std::uint32_t writeSpeed) {
  constexpr std::uint32_t kTimeMs = 1000;
  Bytes d(28, 0);
  bytes::PutBE32(&d[8], endLba);
  bytes::PutBE32(&d[12], readSpeed);
  bytes::PutBE32(&d[16], kTimeMs);
  bytes::PutBE32(&d[20], writeSpeed);
  bytes::PutBE32(&d[24], kTimeMs);
  return d;
}

Bytes PatternBlock(std::uint32_t lba, std::uint8_t salt) {
  Bytes block(kLogicalBlockSize);
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<std::uint8_t>((lba * 7 + i + salt) & 0xFF);
  }
  bytes::PutBE32(block.data(), lba);
  return block;
}

Bytes ReadBlocks(Device& d, std::uint32_t lba, std::uint32_t count) {
  Bytes all;
  std::array<std::uint8_t, kLogicalBlockSize> block{};
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!d.core().ReadBlock(static_cast<std::int32_t>(lba + i), block)) {
      ADD_FAILURE() << "READ(10) of block " << lba + i << " failed: "
                    << SenseText(d.core().LastSense().key, d.core().LastSense().asc,
                                 d.core().LastSense().ascq);
      return all;
    }
    all.insert(all.end(), block.begin(), block.end());
  }
  return all;
}

std::vector<TocEntry> TocEntries(Device& d, std::uint8_t* firstSession, std::uint8_t* lastSession) {
  scrivo::FullToc toc;
  if (!d.core().ReadFullToc(toc)) return {};
  if (firstSession) *firstSession = toc.firstCompleteSession;
  if (lastSession) *lastSession = toc.lastCompleteSession;
  std::vector<TocEntry> entries;
  for (std::size_t i = 0; i < toc.DescriptorCount(); ++i) {
    const auto* p = &toc.descriptors[i * FullToc::kDescriptorSize];
    entries.push_back({p[0], p[1], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10]});
  }
  return entries;
}

void AspiTest::Configure(const wnaspi::Variables& variables) {
  // The layer's own tests send hand-made command sequences (CD tracks of a
  // few blocks, DVD writes off the ECC blocks): they take the forgiving
  // writers unless a test asks for strictness. The engine's flows run on
  // strict ones.
  wnaspi::Variables forgiving = variables;
  forgiving.try_emplace("WNASPI32_VIRTUAL_STRICT", "0");
  wnaspi::ConfigureForTesting(forgiving);
}

void AspiTest::ConfigureOne(const std::string& medium, const std::string& extra) {
  wnaspi::Variables variables{{"WNASPI32_VIRTUAL_WRITERS", medium + "=" + (dir_ / "w0").string()}};
  if (!extra.empty()) variables["WNASPI32_VIRTUAL_FAULTS"] = extra;
  Configure(variables);
}

}  // namespace aspitest
