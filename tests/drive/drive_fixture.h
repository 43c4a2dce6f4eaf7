#pragma once
// A bound MmcCore addressing one drive of the recording ASPI double, a
// virtual clock, and a host that records what the drive operations post.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/drive/mmc_core.h"
#include "engine/drive/drive_progress.h"
#include "platform/kernel/clock.h"
#include "tests/support/aspi_double.h"

namespace drivetest {

using Bytes = std::vector<std::uint8_t>;
using testsupport::RecordedRequest;
using testsupport::Reply;

// The 12 CDB bytes of a request.
inline Bytes CdbOf(const RecordedRequest& r) { return Bytes(r.cdb.begin(), r.cdb.begin() + 12); }

inline Reply Data(Bytes bytes) {
  Reply reply;
  reply.dataIn = std::move(bytes);
  return reply;
}

// CHECK CONDITION with NOT READY / operation in progress.
inline Reply NotReady() {
  Reply reply;
  reply.status = SS_ERR;
  reply.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x07};
  return reply;
}

// CHECK CONDITION with ILLEGAL REQUEST / invalid field in CDB.
inline Reply Rejected() {
  Reply reply;
  reply.status = SS_ERR;
  reply.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
  return reply;
}

// The progress a drive job reports, in order.
class ProgressLog {
 public:
  scrivo::ProgressSink Sink() {
    return [this](std::uint32_t perMille) { values_.push_back(perMille); };
  }
  const std::vector<std::uint32_t>& Progress() const { return values_; }

 private:
  std::vector<std::uint32_t> values_;
};

class DriveTest : public ::testing::Test {
 protected:
  DriveTest() {
    aspi.SetResponder([this](const RecordedRequest& r) {
      auto handler = handlers_.find(r.Opcode());
      return handler == handlers_.end() ? Reply{} : handler->second(r);
    });
    EXPECT_TRUE(core.LoadAspi());
    core.SetDevice(0, 1, 0);
  }

  // Answers every command with this opcode; others succeed without data.
  void On(std::uint8_t opcode, testsupport::AspiDouble::Responder handler) {
    handlers_[opcode] = std::move(handler);
  }
  // Answers the n-th and later commands of an opcode from a list (the last
  // entry repeats).
  void OnSequence(std::uint8_t opcode, std::vector<Reply> replies) {
    auto next = std::make_shared<std::size_t>(0);
    On(opcode, [replies = std::move(replies), next](const RecordedRequest&) {
      Reply reply = replies[std::min(*next, replies.size() - 1)];
      ++*next;
      return reply;
    });
  }

  std::vector<RecordedRequest> Sent() const { return aspi.Commands(); }
  // The commands other than TEST UNIT READY.
  std::vector<RecordedRequest> SentWithoutReadiness() const {
    std::vector<RecordedRequest> out;
    for (const auto& r : aspi.Commands()) {
      if (r.Opcode() != 0x00) out.push_back(r);
    }
    return out;
  }
  Bytes Opcodes() const {
    Bytes out;
    for (const auto& r : aspi.Commands()) out.push_back(r.Opcode());
    return out;
  }

  testsupport::AspiDouble aspi;
  platform::VirtualClock clock;
  platform::ScopedClock clockScope{clock};
  scrivo::MmcCore core;
  ProgressLog host;

 private:
  std::map<std::uint8_t, testsupport::AspiDouble::Responder> handlers_;
};

}  // namespace drivetest
