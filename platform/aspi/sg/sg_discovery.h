#pragma once
// Finding the machine's optical drives and giving them ASPI addresses.
//
// Drives are the block devices sr0, sr1, ... under SYSFS/class/block whose
// SCSI device type is 5 (CD/DVD); the kernel's address host:channel:target:lun
// is the name of the device their "device" link points to. Each distinct
// kernel host (with its channel), in ascending order, becomes one ASPI host
// adapter numbered from `firstAdapter` (1, after the virtual writers' adapter
// 0); a drive keeps its kernel target and LUN there, or, when either is above
// 7 or the place is taken, gets the lowest free target with LUN 0. A drive
// that cannot be opened for reading and writing is left out and said on
// standard error, with the reason and the usual fix; an adapter left
// without drives is left out too.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/aspi/sg/sg_system.h"
#include "platform/aspi/trace.h"

namespace wnaspi::sg {

struct KernelAddress {
  int host = 0, channel = 0, target = 0, lun = 0;
  auto operator<=>(const KernelAddress&) const = default;
};

struct FoundDrive {
  std::string name;  // "sr0"
  std::string node;  // "/dev/sr0"
  KernelAddress address;
  std::string vendor, model;  // as sysfs has them, for diagnostics
};

struct MappedDrive {
  FoundDrive drive;
  int handle = -1;  // open device, owned by the caller from now on
  std::uint8_t hostAdapter = 0, target = 0, lun = 0;
};

std::vector<FoundDrive> FindOpticalDrives(SgSystem& system, Log& log);
std::vector<MappedDrive> OpenAndMapDrives(SgSystem& system, Log& log,
                                          std::vector<FoundDrive> drives,
                                          std::uint8_t firstAdapter);

}  // namespace wnaspi::sg
