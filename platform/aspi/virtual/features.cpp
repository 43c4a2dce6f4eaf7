#include "platform/aspi/virtual/features.h"

#include <array>

#include "platform/bytes/byte_order.h"

namespace wnaspi::vdrive {
namespace {

struct Loaded {
  const DiscState* disc;
  bool present() const { return disc != nullptr; }
  bool is(Medium m) const { return disc && disc->medium == m; }
  bool cd() const { return disc && disc->traits().cd; }
  bool dvd() const { return disc && !disc->traits().cd && !is(Medium::BdR) && !is(Medium::BdRe); }
};

struct FeatureDefinition {
  std::uint16_t code;
  std::uint8_t version;
  bool persistent;
  bool (*current)(const Loaded&);
  std::vector<std::uint8_t> (*data)(const Loaded&);
};

constexpr std::array<std::uint16_t, 9> kProfiles{
    profile::kBdRe,           profile::kBdRSequential, profile::kDvdPlusR,
    profile::kDvdPlusRw,      profile::kDvdMinusRwSequential, profile::kDvdMinusRwRestrictedOverwrite,
    profile::kDvdMinusRSequential, profile::kCdRw,           profile::kCdR};

bool Always(const Loaded&) { return true; }
std::vector<std::uint8_t> NoData(const Loaded&) { return {}; }

std::vector<std::uint8_t> ProfileListData(const Loaded& loaded) {
  std::vector<std::uint8_t> data;
  for (std::uint16_t number : kProfiles) {
    const bool current = loaded.present() && loaded.disc->traits().profile == number;
    data.insert(data.end(), {static_cast<std::uint8_t>(number >> 8),
                             static_cast<std::uint8_t>(number), current ? std::uint8_t{1} : std::uint8_t{0}, 0});
  }
  return data;
}

std::vector<std::uint8_t> CoreData(const Loaded&) {
  std::vector<std::uint8_t> data(8, 0);
  bytes::PutBE32(&data[0], 0x00000002);  // physical interface standard: ATAPI
  data[4] = 0x01;                        // DBE: reports deferred errors
  return data;
}

std::vector<std::uint8_t> MorphingData(const Loaded&) { return {0x02, 0, 0, 0}; }  // OCEvent

std::vector<std::uint8_t> RemovableMediumData(const Loaded&) {
  return {0x28, 0, 0, 0};  // tray loading mechanism, Eject
}

std::vector<std::uint8_t> RandomReadableData(const Loaded& loaded) {
  std::vector<std::uint8_t> data(8, 0);
  bytes::PutBE32(&data[0], 2048);                          // logical block size
  bytes::PutBE16(&data[4], loaded.dvd() ? 16 : 1);         // blocking
  return data;
}

std::vector<std::uint8_t> CdReadData(const Loaded&) { return {0, 0, 0, 0}; }
std::vector<std::uint8_t> DvdReadData(const Loaded&) { return {0x01, 0, 0, 0}; }  // MULTI110

// Data block types 8 (mode 1) and 10 (mode 2 form 1), 2048 bytes each.
constexpr std::uint16_t kDataBlockTypes = (1u << 8) | (1u << 10);

std::vector<std::uint8_t> IncrementalData(const Loaded& loaded) {
  std::vector<std::uint8_t> data(8, 0);
  bytes::PutBE16(&data[0], kDataBlockTypes);
  data[2] = 0x01;                         // BUF
  data[3] = 1;                            // one link size
  data[4] = loaded.dvd() ? 16 : 7;        // the link size of the medium
  return data;
}

std::vector<std::uint8_t> FormattableData(const Loaded&) { return {0, 0, 0, 0}; }
std::vector<std::uint8_t> WriteBitData(const Loaded&) { return {0x01, 0, 0, 0}; }  // Write

std::vector<std::uint8_t> TrackAtOnceData(const Loaded&) {
  std::vector<std::uint8_t> data(4, 0);
  data[0] = 0x42;  // BUF, CD-RW
  bytes::PutBE16(&data[2], kDataBlockTypes);
  return data;
}

std::vector<std::uint8_t> DvdMinusRWriteData(const Loaded&) { return {0x42, 0, 0, 0}; }  // BUF, DVD-RW

const std::array<FeatureDefinition, 14> kFeatures{{
    {feature::kProfileList, 0, true, Always, ProfileListData},
    {feature::kCore, 2, true, Always, CoreData},
    {feature::kMorphing, 1, true, Always, MorphingData},
    {feature::kRemovableMedium, 0, true, Always, RemovableMediumData},
    {feature::kRandomReadable, 0, false,
     [](const Loaded& l) { return l.present() && l.disc->status() != DiscStatus::Empty; },
     RandomReadableData},
    {feature::kMultiRead, 0, false, [](const Loaded& l) { return l.cd(); }, NoData},
    {feature::kCdRead, 0, false, [](const Loaded& l) { return l.cd(); }, CdReadData},
    {feature::kDvdRead, 1, false, [](const Loaded& l) { return l.dvd(); }, DvdReadData},
    {feature::kIncrementalStreamingWritable, 1, false,
     [](const Loaded& l) {
       return l.is(Medium::CdR) || l.is(Medium::CdRw) || l.is(Medium::DvdMinusR) ||
              l.is(Medium::DvdMinusRw);
     },
     IncrementalData},
    {feature::kFormattable, 0, false, [](const Loaded& l) { return l.is(Medium::DvdPlusRw); },
     FormattableData},
    {feature::kDvdPlusRw, 1, false, [](const Loaded& l) { return l.is(Medium::DvdPlusRw); },
     WriteBitData},
    {feature::kDvdPlusR, 0, false, [](const Loaded& l) { return l.is(Medium::DvdPlusR); },
     WriteBitData},
    {feature::kCdTrackAtOnce, 2, false,
     [](const Loaded& l) { return l.is(Medium::CdR) || l.is(Medium::CdRw); }, TrackAtOnceData},
    {feature::kDvdMinusRWrite, 1, false,
     [](const Loaded& l) { return l.is(Medium::DvdMinusR) || l.is(Medium::DvdMinusRw); },
     DvdMinusRWriteData},
}};

// Feature descriptor (MMC-5 5.2.2): code, version/persistent/current,
// additional length, data.
void AppendDescriptor(std::vector<std::uint8_t>& out, const FeatureDefinition& f, bool current,
                      const Loaded& loaded) {
  const std::vector<std::uint8_t> data = f.data(loaded);
  out.push_back(static_cast<std::uint8_t>(f.code >> 8));
  out.push_back(static_cast<std::uint8_t>(f.code));
  out.push_back(static_cast<std::uint8_t>(f.version << 2 | (f.persistent ? 0x02 : 0) |
                                          (current ? 0x01 : 0)));
  out.push_back(static_cast<std::uint8_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

std::vector<std::uint8_t> ConfigurationReply(const DiscState* disc, FeatureRequest request,
                                             std::uint16_t start) {
  const Loaded loaded{disc};
  std::vector<std::uint8_t> reply(8, 0);
  bytes::PutBE16(&reply[6], disc ? disc->traits().profile : profile::kNone);
  for (const FeatureDefinition& f : kFeatures) {
    const bool current = f.current(loaded);
    const bool wanted = request == FeatureRequest::One ? f.code == start
                        : request == FeatureRequest::Current ? f.code >= start && current
                                                             : f.code >= start;
    if (wanted) AppendDescriptor(reply, f, current, loaded);
  }
  bytes::PutBE32(&reply[0], static_cast<std::uint32_t>(reply.size() - 4));
  return reply;
}

}  // namespace wnaspi::vdrive
