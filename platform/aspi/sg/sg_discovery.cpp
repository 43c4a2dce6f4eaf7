#include "platform/aspi/sg/sg_discovery.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

namespace wnaspi::sg {
namespace {

constexpr int kScsiTypeRom = 5;
constexpr int kAspiTargets = 8;
constexpr int kAspiLuns = 8;

std::string ReadAttribute(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  return value;
}

// sr0, sr1, ...: the SCSI CD/DVD driver's block devices.
bool IsSrName(const std::string& name) {
  return name.size() > 2 && name.starts_with("sr") &&
         std::all_of(name.begin() + 2, name.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool ParseKernelAddress(const std::string& text, KernelAddress* address) {
  return std::sscanf(text.c_str(), "%d:%d:%d:%d", &address->host, &address->channel,
                     &address->target, &address->lun) == 4 &&
         address->host >= 0 && address->channel >= 0 && address->target >= 0 && address->lun >= 0;
}

std::string Describe(const FoundDrive& d) {
  std::string text = d.node + " (" + std::to_string(d.address.host) + ":" +
                     std::to_string(d.address.channel) + ":" + std::to_string(d.address.target) +
                     ":" + std::to_string(d.address.lun);
  if (!d.vendor.empty() || !d.model.empty()) text += " " + d.vendor + " " + d.model;
  return text + ")";
}

}  // namespace

std::vector<FoundDrive> FindOpticalDrives(SgSystem& system, Log& log) {
  std::vector<FoundDrive> drives;
  const std::filesystem::path blocks = system.SysfsRoot() / "class" / "block";
  std::error_code error;
  std::filesystem::directory_iterator it(blocks, error);
  if (error) return drives;  // no sysfs (a container): no real drives
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    if (!IsSrName(name)) continue;
    const std::filesystem::path device = entry.path() / "device";
    FoundDrive drive;
    drive.name = name;
    drive.node = (system.DeviceRoot() / name).string();
    const std::filesystem::path target = std::filesystem::read_symlink(device, error);
    if (error || !ParseKernelAddress(target.filename().string(), &drive.address)) {
      log.Diagnostic("real drive " + name + ": no SCSI address in sysfs; skipped");
      continue;
    }
    const std::string type = ReadAttribute(device / "type");
    if (!type.empty() && type != std::to_string(kScsiTypeRom)) continue;
    drive.vendor = ReadAttribute(device / "vendor");
    drive.model = ReadAttribute(device / "model");
    drives.push_back(std::move(drive));
  }
  std::sort(drives.begin(), drives.end(),
            [](const FoundDrive& a, const FoundDrive& b) { return a.address < b.address; });
  return drives;
}

std::vector<MappedDrive> OpenAndMapDrives(SgSystem& system, Log& log,
                                          std::vector<FoundDrive> drives,
                                          std::uint8_t firstAdapter) {
  std::vector<MappedDrive> mapped;
  std::map<std::pair<int, int>, std::uint8_t> adapters;  // (host, channel) -> ASPI adapter
  std::map<std::uint8_t, std::array<std::array<bool, kAspiLuns>, kAspiTargets>> taken;
  for (FoundDrive& drive : drives) {
    const int handle = system.Open(drive.node);
    if (handle < 0) {
      std::string text = "real drive " + Describe(drive) + ": cannot open: " +
                         std::strerror(-handle) + "; skipped";
      if (handle == -EACCES || handle == -EPERM) {
        const std::string group = system.GroupOwning(drive.node);
        text += ". Writing needs read and write access to " + drive.node +
                "; the usual fix is membership of the group that owns it (" +
                (group.empty() ? std::string("often 'cdrom'") : "'" + group + "'") +
                "): sudo usermod -aG " + (group.empty() ? std::string("cdrom") : group) +
                " $USER, then log in again";
      }
      // Said always: a drive the user expects to burn on is not there.
      log.Problem(text);
      continue;
    }
    const auto key = std::make_pair(drive.address.host, drive.address.channel);
    if (!adapters.contains(key)) {
      if (firstAdapter + adapters.size() > 0xFF) {
        log.Diagnostic("real drive " + Describe(drive) + ": no ASPI host adapter number left; skipped");
        system.Close(handle);
        continue;
      }
      adapters[key] = static_cast<std::uint8_t>(firstAdapter + adapters.size());
    }
    const std::uint8_t adapter = adapters[key];
    auto& slots = taken[adapter];
    // Kernel addresses are never negative (ParseKernelAddress refuses them).
    auto slot = [&slots](int t, int l) -> bool& {
      return slots[static_cast<std::size_t>(t)][static_cast<std::size_t>(l)];
    };
    int target = drive.address.target, lun = drive.address.lun;
    if (target >= kAspiTargets || lun >= kAspiLuns || slot(target, lun)) {
      target = -1;
      for (int t = 0; t < kAspiTargets && target < 0; ++t) {
        if (!slot(t, 0)) target = t;
      }
      lun = 0;
    }
    if (target < 0) {
      log.Diagnostic("real drive " + Describe(drive) + ": no free ASPI target on host adapter " +
                     std::to_string(adapter) + "; skipped");
      system.Close(handle);
      continue;
    }
    slot(target, lun) = true;
    log.Diagnostic("real drive " + Describe(drive) + " is ASPI " + std::to_string(adapter) + ":" +
                   std::to_string(target) + ":" + std::to_string(lun));
    mapped.push_back({std::move(drive), handle, adapter, static_cast<std::uint8_t>(target),
                      static_cast<std::uint8_t>(lun)});
  }
  return mapped;
}

}  // namespace wnaspi::sg
