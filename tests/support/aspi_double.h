#pragma once
// A recording double of the ASPI layer. Installed as the in-process module
// "WNASPI32.DLL", it records every request block the engine sends and
// answers with what the test scripted.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/aspi/wnaspi32.h"

namespace testsupport {

struct RecordedRequest {
  std::uint8_t command = 0;  // SRB_Cmd
  std::uint8_t hostAdapter = 0, target = 0, lun = 0;
  std::uint8_t flags = 0;
  std::uint32_t hdrReserved = 0;
  std::uint16_t reserved1 = 0;
  std::uint32_t bufferLength = 0;
  bool bufferIsNull = true;
  std::uint8_t senseLength = 0, cdbLength = 0, haStat = 0, targStat = 0;
  void* postProc = nullptr;
  bool reserved2Zero = true;
  bool senseAreaZero = true;
  std::vector<std::uint8_t> cdb;      // 16 CDB bytes as sent
  std::vector<std::uint8_t> dataOut;  // the buffer of a data-out request
  std::uint8_t Opcode() const { return cdb.empty() ? 0 : cdb[0]; }
};

// What the double answers to an execute request.
struct Reply {
  std::uint8_t status = SS_COMP;
  std::vector<std::uint8_t> dataIn;  // copied into the buffer (up to its length)
  std::vector<std::uint8_t> sense;   // copied into SenseArea
  bool completeLater = false;        // return SS_PENDING, complete from another thread
  bool signalWhenImmediate = true;   // set the event even when completing at once
};

class AspiDouble {
 public:
  using Responder = std::function<Reply(const RecordedRequest&)>;

  // Registers the module; LoadAspi then binds to this double.
  AspiDouble();
  ~AspiDouble();
  AspiDouble(const AspiDouble&) = delete;
  AspiDouble& operator=(const AspiDouble&) = delete;

  void SetResponder(Responder responder) { responder_ = std::move(responder); }
  // Host adapter inquiry and device-type answers.
  std::uint8_t hostAdapterCount = 1;
  std::uint8_t hostAdapterStatus = SS_COMP;  // SRB_Status of every host adapter inquiry
  std::function<bool(std::uint8_t ha, std::uint8_t target, std::uint8_t lun)> devicePresent =
      [](std::uint8_t, std::uint8_t, std::uint8_t) { return false; };

  std::vector<RecordedRequest> Requests() const;
  // Only the execute requests (SRB_Cmd 2).
  std::vector<RecordedRequest> Commands() const;
  void Clear();

  std::uint32_t Send(void* srb);

 private:
  std::uint32_t Execute(SRB_ExecSCSICmd& srb);
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  Responder responder_;
};

}  // namespace testsupport
