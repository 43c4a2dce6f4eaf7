#include "host/disc_probe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <utility>

#include "engine/drive/medium_profile.h"
#include "engine/drive/mmc_core.h"
#include "platform/aspi/wnaspi32.h"
#include "platform/bytes/byte_order.h"

namespace quillon {
namespace {

constexpr std::uint8_t kSenseNotReady = 0x02;
constexpr std::uint8_t kAscNotReady = 0x04;
constexpr std::uint8_t kAscqLongWrite = 0x08;
constexpr std::uint8_t kAscqCauseNotReportable = 0x00;
constexpr std::uint8_t kAscNoMedium = 0x3A;
constexpr std::size_t kDescriptionLength = 27;  // vendor, product, three revision characters
constexpr std::uint8_t kLastLun = 7;
constexpr std::size_t kTrackInformationLength = 48;
// Feature 0000h, Profile List: the reply's header names the current profile.
constexpr std::uint16_t kFeatureProfileList = 0x0000;

constexpr std::uint16_t kProfileDvdRam = 0x12;
constexpr std::uint16_t kProfileDvdMinusRwOverwrite = 0x13;

constexpr std::uint8_t kDiscStatusComplete = 2;
constexpr std::uint8_t kSessionIncomplete = 1;  // READ DISC INFORMATION: state of the last session
constexpr std::uint8_t kBackgroundFormatNone = 0;
constexpr std::uint8_t kLastRecordedAddressValid = 0x02;  // track information byte 7

}  // namespace

std::string Megabytes(std::uint64_t blocks, bool roundUp) {
  const double megabytes = static_cast<double>(blocks) * 2048 / (1024 * 1024);
  const double scale = megabytes < 10 && blocks > 0 ? 10 : 1;
  const double value = (roundUp ? std::ceil(megabytes * scale) : std::floor(megabytes * scale)) / scale;
  char text[32];
  std::snprintf(text, sizeof text, scale > 1 ? "%.1f MB" : "%.0f MB", value);
  return text;
}

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

DiscProbe::DiscProbe() : drive_(std::make_unique<scrivo::MmcCore>()) {}
DiscProbe::~DiscProbe() = default;

bool DiscProbe::Eject() { return drive_->EjectDisc(); }

bool DiscProbe::Open(int hostAdapter, int target, const std::string& description) {
  if (!drive_->LoadAspi()) return false;
  const auto ha = static_cast<std::uint8_t>(hostAdapter);
  const auto id = static_cast<std::uint8_t>(target);
  // The control names the writer by host adapter and target; the LUN is
  // the one that answers with the writer's description.
  for (std::uint8_t lun = 0; lun <= kLastLun; ++lun) {
    std::array<char, kDescriptionLength + 1> text{};
    const bool answered = drive_->Inquiry(ha, id, lun, text.data()) == SS_COMP;
    const std::string answer = answered ? std::string(text.data(), kDescriptionLength) : std::string();
    if (answer == description.substr(0, kDescriptionLength)) {
      drive_->SetDevice(ha, id, lun);
      return true;
    }
  }
  return false;
}

DiscProbe::Readiness DiscProbe::AwaitReady() {
  return drive_->WaitForMedium() ? Readiness::Ready : TestReady();
}

DiscProbe::Readiness DiscProbe::TestReady() {
  if (drive_->TestUnitReady()) return Readiness::Ready;
  const scrivo::SenseCode sense = drive_->LastSense();
  if (sense == scrivo::SenseCode{kSenseNotReady, kAscNotReady, kAscqLongWrite}) return Readiness::InUse;
  // The layer answers so for a drive the system keeps, and says why.
  if (sense == scrivo::SenseCode{kSenseNotReady, kAscNotReady, kAscqCauseNotReportable} &&
      !LayerNote().empty()) {
    return Readiness::Mounted;
  }
  if (sense.key == kSenseNotReady && sense.asc == kAscNoMedium) return Readiness::NoDisc;
  return Readiness::NotReady;
}

std::string DiscProbe::LayerNote() {
  // The layer the drive access loaded: loading it again shares it.
  platform::HMODULE library = platform::LoadLibraryA("WNASPI32.DLL");
  if (!library) return {};
  std::string note;
  if (auto get = reinterpret_cast<GetASPI32DeviceNoteFn>(
          platform::GetProcAddress(library, "GetASPI32DeviceNote"))) {
    const scrivo::DeviceAddress address = drive_->CurrentDevice();
    std::array<char, 1024> text{};
    get(address.hostAdapter, address.target, address.lun, text.data(),
        static_cast<std::uint32_t>(text.size()));
    note = text.data();
  }
  platform::FreeLibrary(library);
  return note;
}

std::optional<DiscDescription> DiscProbe::Describe() {
  DiscDescription disc;
  // The feature header alone: its bytes 6-7 hold the current profile.
  std::array<std::uint8_t, 8> header{};
  if (drive_->GetFeature(kFeatureProfileList, header)) disc.profile = bytes::GetBE16(&header[6]);

  std::array<std::uint8_t, 34> info{};
  if (!drive_->ReadDiscInformation(info)) return std::nullopt;
  disc.overwritable = disc.dvdPlusRw() || disc.profile == kProfileDvdRam ||
                      disc.profile == kProfileDvdMinusRwOverwrite;
  disc.closed = !disc.overwritable && (info[2] & 0x03) == kDiscStatusComplete;
  disc.unformatted = disc.dvdPlusRw() && (info[7] & 0x03) == kBackgroundFormatNone;
  disc.unfinished = !disc.overwritable && ((info[2] >> 2) & 0x03) == kSessionIncomplete;

  if (disc.closed) return disc;
  // The free space as the engine's own capacity check asks it: track FFh
  // exists only on a CD and a DVD+R, the other DVDs answer otherwise.
  disc.freeKnown = drive_->ReadFreeBlocks(disc.freeBlocks);
  // A DVD burn writes from block 0; on a CD and a DVD+R the invisible track
  // says where the next session starts.
  std::array<std::uint8_t, kTrackInformationLength> track{};
  const scrivo::MediumKind kind = scrivo::KindOfProfile(disc.profile);
  const bool invisibleTrack = kind == scrivo::MediumKind::Cd || kind == scrivo::MediumKind::DvdPlusR ||
                              kind == scrivo::MediumKind::Unknown;
  if (invisibleTrack &&
      drive_->ReadTrackInformation(scrivo::TrackAddress::TrackNumber, scrivo::kInvisibleTrack, track)) {
    disc.nextWritable = bytes::GetBE32(&track[8]);
  }
  return disc;
}

std::optional<std::uint32_t> DiscProbe::RecordedFrom(std::uint32_t lba) {
  std::array<std::uint8_t, kTrackInformationLength> track{};
  if (!drive_->ReadTrackInformation(scrivo::TrackAddress::Lba, lba, track)) return std::nullopt;
  const std::uint32_t start = bytes::GetBE32(&track[8]);
  if (track[7] & kLastRecordedAddressValid) return bytes::GetBE32(&track[28]) - start + 1;
  return bytes::GetBE32(&track[24]);
}

}  // namespace quillon
