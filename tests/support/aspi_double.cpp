#include "tests/support/aspi_double.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/kernel/event.h"
#include "platform/loader/library.h"

namespace testsupport {
namespace {

AspiDouble* g_current = nullptr;

extern "C" std::uint32_t DoubleSend(void* srb) { return g_current ? g_current->Send(srb) : SS_ERR; }
extern "C" std::uint32_t DoubleSupportInfo() { return (SS_COMP << 8) | 1; }

bool AllZero(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

}  // namespace

AspiDouble::AspiDouble() {
  g_current = this;
  platform::testing::RegisterModule(
      "WNASPI32.DLL", {{"SendASPI32Command", reinterpret_cast<void*>(&DoubleSend)},
                       {"GetASPI32SupportInfo", reinterpret_cast<void*>(&DoubleSupportInfo)}});
  responder_ = [](const RecordedRequest&) { return Reply{}; };
}

AspiDouble::~AspiDouble() {
  platform::testing::UnregisterModule("WNASPI32.DLL");
  g_current = nullptr;
}

std::vector<RecordedRequest> AspiDouble::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> AspiDouble::Commands() const {
  std::vector<RecordedRequest> out;
  for (const auto& r : Requests()) {
    if (r.command == SC_EXEC_SCSI_CMD) out.push_back(r);
  }
  return out;
}

void AspiDouble::Clear() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

std::uint32_t AspiDouble::Send(void* srb) {
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: {
      auto* inquiry = static_cast<SRB_HAInquiry*>(srb);
      {
        std::lock_guard lock(mutex_);
        RecordedRequest r;
        r.command = SC_HA_INQUIRY;
        r.hostAdapter = inquiry->SRB_HaId;
        r.flags = inquiry->SRB_Flags;
        requests_.push_back(r);
      }
      inquiry->HA_Count = hostAdapterCount;
      inquiry->SRB_Status = hostAdapterStatus;
      return hostAdapterStatus;
    }
    case SC_GET_DEV_TYPE: {
      auto* request = static_cast<SRB_GDEVBlock*>(srb);
      {
        std::lock_guard lock(mutex_);
        RecordedRequest r;
        r.command = SC_GET_DEV_TYPE;
        r.hostAdapter = request->SRB_HaId;
        r.target = request->SRB_Target;
        r.lun = request->SRB_Lun;
        requests_.push_back(r);
      }
      bool present = devicePresent(request->SRB_HaId, request->SRB_Target, request->SRB_Lun);
      request->SRB_DeviceType = present ? DTYPE_CDROM : 0x1F;
      request->SRB_Status = present ? SS_COMP : SS_NO_DEVICE;
      return request->SRB_Status;
    }
    case SC_EXEC_SCSI_CMD:
      return Execute(*static_cast<SRB_ExecSCSICmd*>(srb));
    default:
      header->SRB_Status = SS_INVALID_CMD;
      return SS_INVALID_CMD;
  }
}

std::uint32_t AspiDouble::Execute(SRB_ExecSCSICmd& srb) {
  RecordedRequest r;
  r.command = srb.SRB_Cmd;
  r.hostAdapter = srb.SRB_HaId;
  r.target = srb.SRB_Target;
  r.lun = srb.SRB_Lun;
  r.flags = srb.SRB_Flags;
  r.hdrReserved = srb.SRB_Hdr_Rsvd;
  r.reserved1 = srb.SRB_Rsvd1;
  r.bufferLength = srb.SRB_BufLen;
  r.bufferIsNull = srb.SRB_BufPointer == nullptr;
  r.senseLength = srb.SRB_SenseLen;
  r.cdbLength = srb.SRB_CDBLen;
  r.haStat = srb.SRB_HaStat;
  r.targStat = srb.SRB_TargStat;
  r.postProc = srb.SRB_PostProc;
  r.reserved2Zero = AllZero(srb.SRB_Rsvd2, sizeof srb.SRB_Rsvd2);
  r.senseAreaZero = AllZero(srb.SenseArea, sizeof srb.SenseArea);
  r.cdb.assign(srb.CDBByte, srb.CDBByte + sizeof srb.CDBByte);
  if ((srb.SRB_Flags & SRB_DIR_OUT) && srb.SRB_BufPointer) {
    r.dataOut.assign(srb.SRB_BufPointer, srb.SRB_BufPointer + srb.SRB_BufLen);
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(r);
  }
  Reply reply = responder_(r);
  auto complete = [&srb, reply](bool signal) {
    if (srb.SRB_BufPointer && (srb.SRB_Flags & SRB_DIR_IN)) {
      std::size_t n = std::min<std::size_t>(reply.dataIn.size(), srb.SRB_BufLen);
      if (n > 0) std::memcpy(srb.SRB_BufPointer, reply.dataIn.data(), n);
    }
    std::size_t senseBytes = std::min(reply.sense.size(), sizeof srb.SenseArea);
    if (senseBytes > 0) std::memcpy(srb.SenseArea, reply.sense.data(), senseBytes);
    if (reply.status != SS_COMP && !reply.sense.empty()) srb.SRB_TargStat = STATUS_CHKCOND;
    std::atomic_ref<std::uint8_t>(srb.SRB_Status).store(reply.status, std::memory_order_release);
    if (signal && srb.SRB_PostProc) static_cast<platform::Event*>(srb.SRB_PostProc)->Set();
  };
  if (!reply.completeLater) {
    complete(reply.signalWhenImmediate);
    return reply.status;
  }
  std::thread([complete] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    complete(true);
  }).detach();
  return SS_PENDING;
}

}  // namespace testsupport
