#include "platform/aspi/aspi_layer.h"

#include <algorithm>
#include <cstring>

#include "platform/aspi/scsi_opcodes.h"
#include "platform/aspi/sg/model_sg_system.h"
#include "platform/aspi/sg/sg_device.h"
#include "platform/aspi/sg/sg_discovery.h"
#include "platform/aspi/virtual/fault_injector.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi {
namespace {

constexpr std::uint8_t kInitiatorId = 7;
constexpr std::string_view kManagerId = "QUILLON WNASPI32";
constexpr std::uint32_t kMaxTransferLength = 0x10000;  // 64 KiB, what SG_IO takes from any drive

void PutPadded(std::uint8_t* out, std::string_view text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

// The direction a request names; with data but no single direction named,
// the operation code decides.
DataDirection DirectionOf(const SRB_ExecSCSICmd& srb) {
  if (srb.SRB_BufLen == 0) return DataDirection::None;
  const std::uint8_t flags = srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
  if (flags == SRB_DIR_IN) return DataDirection::In;
  if (flags == SRB_DIR_OUT) return DataDirection::Out;
  return opcode::SendsData(srb.CDBByte[0]) ? DataDirection::Out : DataDirection::In;
}

}  // namespace

AspiLayer::AspiLayer(const Config& config, std::shared_ptr<sg::SgSystem> sg)
    : log_(std::make_unique<Log>(config.traceFile, config.debug)) {
  // Once per program, the layer being built once: what the user set up
  // wrongly is said, never skipped in silence.
  for (const std::string& problem : config.problems) log_->Problem(problem);

  std::vector<std::string> faultProblems;
  auto faults = std::make_shared<vdrive::FaultInjector>(config.faults, &faultProblems);
  for (const std::string& problem : faultProblems) log_->Problem(problem);

  std::lock_guard lock(mutex_);
  // The machine's drives first. A drive that is there but cannot be used
  // still keeps the implied virtual writer away: a burn meant for it must
  // not land in a file.
  std::size_t machineDrives = 0;
  if (!config.virtualViaSg && sg && config.realDrives) {
    sg_ = std::move(sg);
    machineDrives = AddRealDrives();
  }
  const bool giveVirtual = !config.virtualWritersImplied || machineDrives == 0;
  if (!giveVirtual) {
    log_->Diagnostic("no virtual writer: the machine has optical drives (" +
                     std::string(variable::kVirtualWriters) + " adds virtual writers)");
  }

  // Through the model machine the writers are found as real drives, in
  // place of the virtual adapter: adapter 0, target N as without it.
  Adapter virtualAdapter;
  virtualAdapter.identifier = "VIRTUAL";
  bool anyVirtual = false;
  std::vector<std::unique_ptr<ScsiDevice>> viaSg;
  for (std::size_t target = 0; giveVirtual && target < config.virtualWriters.size(); ++target) {
    const auto& writer = config.virtualWriters[target];
    if (config.virtualViaSg) viaSg.emplace_back();
    if (!writer) continue;
    if (const std::string problem = vdrive::DiscStore::Prepare(writer->directory); !problem.empty()) {
      log_->Problem(std::string(variable::kVirtualWriters) + ": \"" +
                    std::string(vdrive::Traits(writer->medium).name) + "=" +
                    writer->directory.string() + "\": " + problem + "; the writer at target " +
                    std::to_string(target) + " has no disc");
    }
    vdrive::VirtualDriveOptions options{static_cast<std::uint8_t>(target), writer->medium,
                                        writer->directory, config.pollsPerOperation,
                                        config.commandLatency, config.model};
    auto drive = std::make_unique<vdrive::VirtualDrive>(std::move(options), faults, *log_);
    if (config.virtualViaSg) {
      viaSg.back() = std::move(drive);
      continue;
    }
    virtualAdapter.devices[target * kLuns] = std::move(drive);
    anyVirtual = true;
    const std::string place = std::to_string(adapters_.size()) + ":" + std::to_string(target) + ":0";
    log_->Diagnostic("virtual writer " + place + " (" +
                     std::string(vdrive::Traits(writer->medium).name) + ") in " +
                     writer->directory.string());
  }
  if (config.virtualViaSg) {
    auto model = std::make_shared<sg::ModelSgSystem>(std::move(viaSg));
    if (!model->ready()) log_->Problem("the model machine's sysfs tree cannot be made: no writers");
    sg_ = std::move(model);
    AddRealDrives();
    return;
  }
  // An adapter, if empty, when there is nothing else, as there always was.
  if (anyVirtual || adapters_.empty()) adapters_.push_back(std::move(virtualAdapter));
}

std::size_t AspiLayer::AddRealDrives() {
  auto drives = sg::FindOpticalDrives(*sg_, *log_);
  const std::size_t listed = drives.size();
  std::erase_if(drives, [this](const sg::FoundDrive& drive) { return realDrives_.contains(drive.node); });
  const auto first = static_cast<std::uint8_t>(adapters_.size());
  for (sg::MappedDrive& drive : sg::OpenAndMapDrives(*sg_, *log_, std::move(drives), first)) {
    while (adapters_.size() <= drive.hostAdapter) {
      Adapter& adapter = adapters_.emplace_back();
      adapter.identifier = "SG host " + std::to_string(drive.drive.address.host);
    }
    realDrives_[drive.drive.node] = {drive.hostAdapter, drive.target, drive.lun};
    adapters_[drive.hostAdapter].devices[drive.target * kLuns + drive.lun] =
        std::make_shared<sg::SgDevice>(sg_, drive.handle, drive.drive.node, *log_);
  }
  return listed;
}

void AspiLayer::Rescan() {
  std::lock_guard lock(mutex_);
  if (!sg_) return;
  // Drives gone from sysfs leave their places empty; the others keep theirs.
  std::vector<std::string> present;
  for (const sg::FoundDrive& drive : sg::FindOpticalDrives(*sg_, *log_)) present.push_back(drive.node);
  for (auto it = realDrives_.begin(); it != realDrives_.end();) {
    if (std::find(present.begin(), present.end(), it->first) != present.end()) {
      ++it;
      continue;
    }
    log_->Diagnostic("real drive " + it->first + " is gone");
    const Place& place = it->second;
    adapters_[place.hostAdapter].devices[place.target * kLuns + place.lun].reset();
    it = realDrives_.erase(it);
  }
  AddRealDrives();
}

std::size_t AspiLayer::adapterCount() const {
  std::lock_guard lock(mutex_);
  return adapters_.size();
}

AspiLayer::~AspiLayer() = default;

std::uint32_t AspiLayer::SupportInfo() const {
  std::lock_guard lock(mutex_);
  const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(adapters_.size(), 0xFF));
  return count ? (std::uint32_t{SS_COMP} << 8) | count : std::uint32_t{SS_NO_ADAPTERS} << 8;
}

std::shared_ptr<ScsiDevice> AspiLayer::DeviceAt(std::uint8_t hostAdapter, std::uint8_t target,
                                                std::uint8_t lun) const {
  std::lock_guard lock(mutex_);
  if (hostAdapter >= adapters_.size() || target >= kTargets || lun >= kLuns) return nullptr;
  return adapters_[hostAdapter].devices[target * kLuns + lun];
}

std::string AspiLayer::DeviceNote(std::uint8_t hostAdapter, std::uint8_t target,
                                  std::uint8_t lun) const {
  const auto device = DeviceAt(hostAdapter, target, lun);
  return device ? device->Note() : std::string();
}

std::uint32_t AspiLayer::Send(void* block) {
  if (!block) return SS_INVALID_SRB;
  auto* header = static_cast<SRB_Header*>(block);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
      HostAdapterInquiry(*static_cast<SRB_HAInquiry*>(block));
      break;
    case SC_GET_DEV_TYPE:
      DeviceType(*static_cast<SRB_GDEVBlock*>(block));
      break;
    case SC_EXEC_SCSI_CMD:
      Execute(*static_cast<SRB_ExecSCSICmd*>(block));
      break;
    case SC_RESCAN_SCSI_BUS:
      // Every adapter at once: the machine's drives are found by sysfs,
      // not by asking a bus.
      Rescan();
      log_->Request("RESCAN");
      header->SRB_Status = SS_COMP;
      break;
    default:
      header->SRB_Status = SS_INVALID_CMD;
      break;
  }
  return header->SRB_Status;
}

void AspiLayer::HostAdapterInquiry(SRB_HAInquiry& srb) {
  std::lock_guard lock(mutex_);
  const std::uint8_t adapter = srb.SRB_HaId;
  const auto count = static_cast<std::uint8_t>(std::min<std::size_t>(adapters_.size(), 0xFF));
  std::uint8_t status = SS_INVALID_HA;
  if (adapter < adapters_.size()) {
    srb.HA_Count = count;
    srb.HA_SCSI_ID = kInitiatorId;
    PutPadded(srb.HA_ManagerId, kManagerId, sizeof srb.HA_ManagerId);
    PutPadded(srb.HA_Identifier, adapters_[adapter].identifier, sizeof srb.HA_Identifier);
    std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
    srb.HA_Unique[3] = kTargets;  // bytes 0-1 alignment mask 0, byte 2 flags 0
    bytes::PutLE32(&srb.HA_Unique[4], kMaxTransferLength);
    status = SS_COMP;
  }
  log_->Request(FormatHostAdapterInquiryLine(adapter, status, count));
  srb.SRB_Status = status;
}

void AspiLayer::DeviceType(SRB_GDEVBlock& srb) {
  std::uint8_t status = SS_COMP;
  if (srb.SRB_HaId >= adapterCount()) {
    status = SS_INVALID_HA;
  } else if (!DeviceAt(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun)) {
    status = SS_NO_DEVICE;
  } else {
    // Every device the layer offers is a CD/DVD device.
    srb.SRB_DeviceType = DTYPE_CDROM;
  }
  log_->Request(FormatDeviceTypeLine({srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun}, status,
                                     srb.SRB_DeviceType));
  srb.SRB_Status = status;
}

void AspiLayer::Execute(SRB_ExecSCSICmd& srb) {
  const AspiAddress address{srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun};
  const std::size_t cdbLength = std::min<std::size_t>(srb.SRB_CDBLen, sizeof srb.CDBByte);
  const ScsiRequest request{std::span<const std::uint8_t>(srb.CDBByte, cdbLength),
                            DirectionOf(srb), srb.SRB_BufPointer, srb.SRB_BufLen};
  std::uint8_t status = SS_COMP;
  std::optional<ScsiOutcome> outcome;
  const std::shared_ptr<ScsiDevice> device = DeviceAt(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  if (srb.SRB_HaId >= adapterCount()) {
    status = SS_INVALID_HA;
  } else if (!device) {
    status = SS_NO_DEVICE;
  } else if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof srb.CDBByte ||
             (srb.SRB_BufLen > 0 && !srb.SRB_BufPointer)) {
    status = SS_INVALID_SRB;
  } else {
    outcome = device->Execute(request);
    srb.SRB_HaStat = outcome->hostStatus;
    srb.SRB_TargStat = outcome->targetStatus;
    switch (outcome->kind) {
      case ScsiOutcome::Kind::Good:
        status = SS_COMP;
        break;
      case ScsiOutcome::Kind::CheckCondition: {
        const std::size_t length = std::min<std::size_t>(
            {srb.SRB_SenseLen, sizeof srb.SenseArea, outcome->senseLength});
        std::memset(srb.SenseArea, 0, sizeof srb.SenseArea);
        std::memcpy(srb.SenseArea, outcome->sense.data(), length);
        status = SS_ERR;
        break;
      }
      case ScsiOutcome::Kind::Aborted:
        status = SS_ABORTED;
        break;
      case ScsiOutcome::Kind::TargetStatus:
      case ScsiOutcome::Kind::HostError:
        status = SS_ERR;
        break;
    }
  }
  // Formatting the line costs more than a virtual writer's command.
  if (log_->Tracing()) {
    std::span<const std::uint8_t> parameters;
    if (request.direction == DataDirection::Out && request.data &&
        opcode::SendsParameterList(srb.CDBByte[0])) {
      parameters = {request.data, request.length};
    }
    log_->Request(FormatExecLine(address, request.cdb, request.direction, srb.SRB_BufLen, status,
                                 outcome ? &*outcome : nullptr, parameters));
  }
  srb.SRB_Status = status;
}

}  // namespace wnaspi
