#include "platform/aspi/sg/model_sg_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace wnaspi::sg {
namespace {

// Handles: an ordinary open of drive i is kOpenBase + i, an exclusive one
// kExclusiveBase + i.
constexpr int kOpenBase = 100;
constexpr int kExclusiveBase = 200;
constexpr int kModelHost = 1;
constexpr unsigned char kStatusCheckCondition = 0x02;
constexpr unsigned short kDidError = 0x07;  // the midlayer's "internal error"

bool WriteAttribute(const std::filesystem::path& path, const std::string& value) {
  std::ofstream out(path);
  out << value << '\n';
  return static_cast<bool>(out);
}

DataDirection DirectionOf(const sg_io_hdr_t& header) {
  switch (header.dxfer_direction) {
    case SG_DXFER_TO_DEV: return DataDirection::Out;
    case SG_DXFER_FROM_DEV: return DataDirection::In;
    default: return DataDirection::None;
  }
}

}  // namespace

ModelSgSystem::ModelSgSystem(std::vector<std::unique_ptr<ScsiDevice>> drives)
    : drives_(std::move(drives)), exclusive_(drives_.size(), false) {
  std::string pattern = (std::filesystem::temp_directory_path() / "wnaspi32-model-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return;
  root_ = pattern;
  std::error_code error;
  std::filesystem::create_directories(SysfsRoot() / "class" / "block", error);
  for (std::size_t i = 0; i < drives_.size() && !error; ++i) {
    if (!drives_[i]) continue;
    const std::string name = "sr" + std::to_string(i);
    const auto device = SysfsRoot() / "devices" / "model" / ("host" + std::to_string(kModelHost)) /
                        (std::to_string(kModelHost) + ":0:" + std::to_string(i) + ":0");
    std::filesystem::create_directories(device, error);
    if (error || !WriteAttribute(device / "type", "5") || !WriteAttribute(device / "vendor", "QUILLON") ||
        !WriteAttribute(device / "model", "VIRTUAL WRITER")) {
      break;
    }
    std::filesystem::create_directories(SysfsRoot() / "class" / "block" / name, error);
    if (!error) std::filesystem::create_directory_symlink(device, SysfsRoot() / "class" / "block" / name / "device", error);
  }
  if (error) {
    std::filesystem::remove_all(root_, error);
    root_.clear();
  }
}

ModelSgSystem::~ModelSgSystem() {
  std::error_code error;
  if (!root_.empty()) std::filesystem::remove_all(root_, error);
}

int ModelSgSystem::IndexOf(const std::string& path) const {
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i] && path == (DeviceRoot() / ("sr" + std::to_string(i))).string()) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int ModelSgSystem::Open(const std::string& path) {
  const int index = IndexOf(path);
  return index < 0 ? -ENOENT : kOpenBase + index;
}

int ModelSgSystem::OpenExclusive(const std::string& path) {
  const int index = IndexOf(path);
  if (index < 0) return -ENOENT;
  std::lock_guard lock(mutex_);
  if (exclusive_[static_cast<std::size_t>(index)]) return -EBUSY;
  exclusive_[static_cast<std::size_t>(index)] = true;
  return kExclusiveBase + index;
}

void ModelSgSystem::Close(int handle) {
  std::lock_guard lock(mutex_);
  const int index = handle - kExclusiveBase;
  if (index >= 0 && static_cast<std::size_t>(index) < exclusive_.size()) {
    exclusive_[static_cast<std::size_t>(index)] = false;
  }
}

int ModelSgSystem::SgIo(int handle, sg_io_hdr_t& header) {
  const int index = handle - kOpenBase;
  if (index < 0 || static_cast<std::size_t>(index) >= drives_.size() || !drives_[static_cast<std::size_t>(index)]) {
    return -EBADF;
  }
  const ScsiRequest request{
      std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(header.cmdp), header.cmd_len),
      DirectionOf(header), static_cast<std::uint8_t*>(header.dxferp), header.dxfer_len};
  const ScsiOutcome outcome = drives_[static_cast<std::size_t>(index)]->Execute(request);
  header.status = 0;
  header.masked_status = 0;
  header.host_status = 0;
  header.driver_status = 0;
  header.sb_len_wr = 0;
  header.resid = 0;
  switch (outcome.kind) {
    case ScsiOutcome::Kind::Good:
      break;
    case ScsiOutcome::Kind::CheckCondition: {
      header.status = kStatusCheckCondition;
      header.masked_status = kStatusCheckCondition >> 1;
      const auto length = std::min<std::size_t>(outcome.senseLength, header.mx_sb_len);
      std::copy_n(outcome.sense.begin(), length, static_cast<std::uint8_t*>(header.sbp));
      header.sb_len_wr = static_cast<unsigned char>(length);
      break;
    }
    case ScsiOutcome::Kind::TargetStatus:
      header.status = outcome.targetStatus;
      header.masked_status = static_cast<unsigned char>(outcome.targetStatus >> 1);
      break;
    case ScsiOutcome::Kind::HostError:
    case ScsiOutcome::Kind::Aborted:
      // A transfer the drive could not make (data length wrong) reaches
      // the host as a midlayer error.
      header.host_status = kDidError;
      break;
  }
  return 0;
}

}  // namespace wnaspi::sg
