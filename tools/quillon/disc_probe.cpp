#include "tools/quillon/disc_probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/aspi/wnaspi32.h"
#include "platform/bytes/byte_order.h"
#include "platform/kernel/event.h"

namespace quillon {
namespace {

constexpr std::uint8_t kSenseNotReady = 0x02;
constexpr std::uint8_t kAscNotReady = 0x04;
constexpr std::uint8_t kAscqLongWrite = 0x08;
constexpr std::uint8_t kAscNoMedium = 0x3A;
constexpr std::size_t kDescriptionLength = 27;  // vendor, product, three revision characters
constexpr std::uint8_t kLastLun = 7;
constexpr auto kRequestTimeout = std::chrono::seconds(60);

constexpr std::uint16_t kProfileDvdRam = 0x12;
constexpr std::uint16_t kProfileDvdMinusRwOverwrite = 0x13;

constexpr std::uint8_t kDiscStatusComplete = 2;
constexpr std::uint8_t kSessionIncomplete = 1;  // READ DISC INFORMATION: state of the last session
constexpr std::uint8_t kBackgroundFormatNone = 0;
constexpr std::uint8_t kLastRecordedAddressValid = 0x02;  // track information byte 7

}  // namespace

std::string MediumName(std::uint16_t profile) {
  // MMC profile numbers of the discs a writer takes.
  static constexpr std::pair<std::uint16_t, std::string_view> kNames[] = {
      {0x08, "CD-ROM"},  {0x09, "CD-R"},   {0x0A, "CD-RW"},  {0x10, "DVD-ROM"}, {0x11, "DVD-R"},
      {0x12, "DVD-RAM"}, {0x13, "DVD-RW"}, {0x14, "DVD-RW"}, {0x15, "DVD-R"},   {0x16, "DVD-R"},
      {0x1A, "DVD+RW"},  {0x1B, "DVD+R"},  {0x2A, "DVD+RW"}, {0x2B, "DVD+R"},
  };
  for (const auto& [number, name] : kNames) {
    if (number == profile) return std::string(name);
  }
  return "disc";
}

DiscProbe::~DiscProbe() { platform::FreeLibrary(library_); }

bool DiscProbe::Open(int hostAdapter, int target, const std::string& description) {
  library_ = platform::LoadLibraryA("WNASPI32.DLL");
  send_ = reinterpret_cast<std::uint32_t (*)(void*)>(
      platform::GetProcAddress(library_, "SendASPI32Command"));
  if (!send_) return false;
  hostAdapter_ = static_cast<std::uint8_t>(hostAdapter);
  target_ = static_cast<std::uint8_t>(target);
  // The control names the writer by host adapter and target; the LUN is
  // the one that answers with the writer's description.
  for (int lun = 0; lun <= kLastLun; ++lun) {
    if (Describe(lun) == description.substr(0, kDescriptionLength)) {
      lun_ = static_cast<std::uint8_t>(lun);
      return true;
    }
  }
  return false;
}

std::string DiscProbe::Describe(int lun) {
  lun_ = static_cast<std::uint8_t>(lun);
  const std::array<std::uint8_t, 6> inquiry{0x12, 0, 0, 0, 36, 0};
  std::array<std::uint8_t, 36> data{};
  if (!Execute(inquiry, data).good) return {};
  return std::string(reinterpret_cast<const char*>(data.data() + 8), kDescriptionLength);
}

DiscProbe::Reply DiscProbe::Execute(std::span<const std::uint8_t> cdb,
                                    std::span<std::uint8_t> data) {
  SRB_ExecSCSICmd srb{};
  platform::Event done(platform::Event::Reset::Auto);
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = hostAdapter_;
  srb.SRB_Target = target_;
  srb.SRB_Lun = lun_;
  srb.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
  srb.SRB_BufLen = static_cast<std::uint32_t>(data.size());
  srb.SRB_BufPointer = data.empty() ? nullptr : data.data();
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
  srb.SRB_PostProc = &done;
  std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
  send_(&srb);
  if (srb.SRB_Status == SS_PENDING && !done.Wait(kRequestTimeout)) return {};
  Reply reply;
  reply.good = srb.SRB_Status == SS_COMP;
  if (srb.SRB_Status == SS_ERR && srb.SRB_TargStat == STATUS_CHKCOND) {
    reply.key = srb.SenseArea[2] & 0x0F;
    reply.asc = srb.SenseArea[12];
    reply.ascq = srb.SenseArea[13];
  }
  return reply;
}

DiscProbe::Readiness DiscProbe::TestReady() {
  const std::array<std::uint8_t, 6> testUnitReady{};
  const Reply reply = Execute(testUnitReady, {});
  if (reply.good) return Readiness::Ready;
  if (reply.key == kSenseNotReady && reply.asc == kAscNotReady && reply.ascq == kAscqLongWrite) {
    return Readiness::InUse;
  }
  if (reply.key == kSenseNotReady && reply.asc == kAscNoMedium) return Readiness::NoDisc;
  return Readiness::NotReady;
}

std::optional<DiscDescription> DiscProbe::Describe() {
  DiscDescription disc;
  // The feature header alone: its bytes 6-7 hold the current profile.
  const std::array<std::uint8_t, 10> getConfiguration{0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0};
  std::array<std::uint8_t, 8> header{};
  if (Execute(getConfiguration, header).good) disc.profile = bytes::GetBE16(&header[6]);

  const std::array<std::uint8_t, 10> readDiscInformation{0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
  std::array<std::uint8_t, 34> info{};
  if (!Execute(readDiscInformation, info).good) return std::nullopt;
  disc.overwritable = disc.dvdPlusRw() || disc.profile == kProfileDvdRam ||
                      disc.profile == kProfileDvdMinusRwOverwrite;
  disc.closed = !disc.overwritable && (info[2] & 0x03) == kDiscStatusComplete;
  disc.unformatted = disc.dvdPlusRw() && (info[7] & 0x03) == kBackgroundFormatNone;
  disc.unfinished = !disc.overwritable && ((info[2] >> 2) & 0x03) == kSessionIncomplete;

  // The next track, as the engine's own capacity check reads it.
  const std::array<std::uint8_t, 10> readTrackInformation{0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 48, 0};
  std::array<std::uint8_t, 48> track{};
  if (!disc.closed && Execute(readTrackInformation, track).good) {
    disc.nextWritable = bytes::GetBE32(&track[8]);
    disc.freeBlocks = bytes::GetBE32(&track[16]);
  }
  return disc;
}

std::optional<std::uint32_t> DiscProbe::RecordedFrom(std::uint32_t lba) {
  std::array<std::uint8_t, 10> readTrackInformation{0x52, 0x00, 0, 0, 0, 0, 0, 0, 48, 0};
  bytes::PutBE32(&readTrackInformation[2], lba);
  std::array<std::uint8_t, 48> track{};
  if (!Execute(readTrackInformation, track).good) return std::nullopt;
  const std::uint32_t start = bytes::GetBE32(&track[8]);
  if (track[7] & kLastRecordedAddressValid) return bytes::GetBE32(&track[28]) - start + 1;
  return bytes::GetBE32(&track[24]);
}

}  // namespace quillon
