// The control's device members against scripted writers: counting and
// selecting writers, the snapshot the read-only properties show, eject and
// write speed, and which writer is addressed after a scan.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>

#include "engine/drive/mmc_commands.h"
#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/bytes/byte_order.h"
#include "platform/kernel/clock.h"
#include "tests/support/aspi_double.h"
#include "tests/support/control_fixture.h"

namespace {

using platform::InvokeKind;
using platform::Variant;
using testsupport::RecordedRequest;
using testsupport::Reply;
using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const scrivo::Cdb& cdb) { return {cdb.begin(), cdb.end()}; }

Bytes CdbOf(const RecordedRequest& r) { return Bytes(r.cdb.begin(), r.cdb.begin() + 12); }

// One writer on host adapter 0, LUN 0, as the double plays it.
struct Writer {
  std::string inquiry;  // vendor (8), product (16), revision (4)
  std::uint8_t writeBits = 0x03;
  bool multiSession = true;
  std::uint16_t readKbps = 7056;
  std::uint16_t writeKbps = 8467;
  std::map<std::uint16_t, bool> features;  // listed features, Current or not
  std::optional<std::uint8_t> discStatus;  // READ DISC INFORMATION byte 2; none: no disc
};

class ControlDevice : public testsupport::ControlFixture {
 protected:
  ControlDevice() {
    aspi.devicePresent = [this](std::uint8_t ha, std::uint8_t target, std::uint8_t lun) {
      return ha == 0 && lun == 0 && writers.count(target) > 0;
    };
    aspi.SetResponder([this](const RecordedRequest& r) { return Answer(r); });
  }

  Reply Answer(const RecordedRequest& r) {
    Reply failure;
    failure.status = SS_ERR;
    auto found = writers.find(r.target);
    if (r.hostAdapter != 0 || r.lun != 0 || found == writers.end()) return failure;
    const Writer& w = found->second;
    Reply reply;
    switch (r.Opcode()) {
      case 0x12:
        reply.dataIn.assign(36, ' ');
        std::memcpy(&reply.dataIn[8], w.inquiry.data(), w.inquiry.size());
        break;
      case 0x5A:
        reply.dataIn.assign(30, 0);
        reply.dataIn[11] = w.writeBits;
        reply.dataIn[12] = w.multiSession ? 0x40 : 0;
        bytes::PutBE16(&reply.dataIn[16], w.readKbps);
        bytes::PutBE16(&reply.dataIn[26], w.writeKbps);
        break;
      case 0x46: {
        const std::uint16_t feature = bytes::GetBE16(&r.cdb[2]);
        auto listed = w.features.find(feature);
        if (listed == w.features.end()) return failure;
        reply.dataIn.assign(16, 0);
        bytes::PutBE32(&reply.dataIn[0], 12);
        bytes::PutBE16(&reply.dataIn[8], feature);
        reply.dataIn[10] = listed->second ? 1 : 0;
        break;
      }
      case 0x51:
        if (!w.discStatus) return failure;
        reply.dataIn.assign(34, 0);
        reply.dataIn[2] = *w.discStatus;
        break;
      default:
        break;
    }
    return reply;
  }

  Variant Get(platform::DISPID id) {
    Variant result;
    EXPECT_EQ(Invoke(id, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
    return result;
  }

  // The target of the next command the control sends for the selected writer.
  int TargetOfNextEject() {
    aspi.Clear();
    control().EjectDisk();
    auto sent = aspi.Commands();
    return sent.empty() ? -1 : sent.back().target;
  }

  testsupport::AspiDouble aspi;
  std::map<std::uint8_t, Writer> writers;
  platform::VirtualClock clock;
  platform::ScopedClock clockScope{clock};
};

TEST_F(ControlDevice, WritersAtTargetsOneAndZeroAreCountedAndSelectedInTargetOrder) {
  writers[1].inquiry = "VENDOR1 WRITER-AT-ONE   1.00";
  writers[0].inquiry = "VENDOR0 WRITER-AT-ZERO  2.00";
  control().InitControl();
  EXPECT_EQ(Get(scrivo::DISPID_MEDIACOUNT), Variant::I2(2));

  control().SetCurrentDevice(0);
  EXPECT_EQ(Get(scrivo::DISPID_SCSIID), Variant::I2(0));
  EXPECT_EQ(Get(scrivo::DISPID_MEDIADESC), Variant::Bstr(u"VENDOR0 WRITER-AT-ZERO  2.0"));
  ASSERT_EQ(Invoke(scrivo::DISPID_SETCURRENTDEVICE, InvokeKind::Method, {Variant::I4(1)}), platform::S_OK);
  EXPECT_EQ(Get(scrivo::DISPID_HANUM), Variant::I2(0));
  EXPECT_EQ(Get(scrivo::DISPID_SCSIID), Variant::I2(1));
  EXPECT_EQ(control().MediaDesc(), "VENDOR1 WRITER-AT-ONE   1.0");
}

TEST_F(ControlDevice, PropertiesShowTheSelectedWritersCapabilitiesAndDisc) {
  Writer& w = writers[0];
  w.inquiry = "VENDOR  DVD-WRITER      1.00";
  w.writeBits = 0x01;
  w.multiSession = false;
  w.readKbps = 2822;
  w.writeKbps = 40000;
  w.features = {{0x1F, false}, {0x2B, true}};
  w.discStatus = 0x00;
  control().InitControl();
  control().SetCurrentDevice(0);
  EXPECT_EQ(Get(scrivo::DISPID_MAXWRITESPEED), Variant::I4(-25536));
  EXPECT_EQ(Get(scrivo::DISPID_MAXREADSPEED), Variant::I4(2822));
  EXPECT_EQ(Get(scrivo::DISPID_ISCDRWRITESUPPORT), Variant::Bool(true));
  EXPECT_EQ(Get(scrivo::DISPID_ISCDRWWRITESUPPORT), Variant::Bool(false));
  EXPECT_EQ(Get(scrivo::DISPID_ISMULTISESSIONSSUPPORT), Variant::Bool(false));
  EXPECT_EQ(Get(scrivo::DISPID_ISREADDVDSUPPORT), Variant::Bool(true));  // listed, not current
  EXPECT_EQ(control().WriterFeatures(), 0x0809);
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKBLANK), Variant::Bool(true));
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKCLOSED), Variant::Bool(false));
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKERASABLE), Variant::Bool(false));
}

TEST_F(ControlDevice, DiscStateIsTakenAtSelectionAndKeptWhenNoDiscAnswers) {
  writers[0].inquiry = "VENDOR  CD-RW           1.00";
  writers[0].discStatus = 0x0E;  // finalised
  control().InitControl();
  control().SetCurrentDevice(0);
  EXPECT_TRUE(control().IsDiskClosed());
  EXPECT_FALSE(control().IsDiskBlank());

  writers[0].discStatus = 0x11;  // appendable CD-RW, not seen until selected again
  EXPECT_TRUE(control().IsDiskClosed());
  control().SetCurrentDevice(0);
  EXPECT_FALSE(control().IsDiskClosed());
  EXPECT_FALSE(control().IsDiskBlank());
  EXPECT_TRUE(control().IsDiskErasable());

  // Tray empty: the capabilities refresh, the disc snapshot stays.
  writers[0].discStatus.reset();
  writers[0].writeKbps = 1000;
  control().SetCurrentDevice(0);
  EXPECT_EQ(control().MaxWriteSpeed(), 1000);
  EXPECT_TRUE(control().IsDiskErasable());
}

TEST_F(ControlDevice, SelectingPastTheLastWriterChangesNothing) {
  writers[0].inquiry = "VENDOR  FIRST           1.00";
  writers[0].writeKbps = 5000;
  writers[0].discStatus = 0x00;
  writers[3].inquiry = "VENDOR  SECOND          1.00";
  writers[3].writeKbps = 6000;
  writers[3].discStatus = 0x02;
  control().InitControl();
  control().SetCurrentDevice(1);
  for (std::int32_t index : {2, -1}) {
    control().SetCurrentDevice(index);
    EXPECT_EQ(control().SCSIID(), 3);
    EXPECT_EQ(control().MediaDesc(), "VENDOR  SECOND          1.0");
    EXPECT_EQ(control().MaxWriteSpeed(), 6000);
    EXPECT_TRUE(control().IsDiskClosed());
  }
}

TEST_F(ControlDevice, ScansLeaveTheSelectedWriterAddressed) {
  writers[0].inquiry = "VENDOR  FIRST           1.00";
  writers[5].inquiry = "VENDOR  SECOND          1.00";
  control().InitControl();
  control().SetCurrentDevice(0);
  EXPECT_EQ(TargetOfNextEject(), 0);
  // The application lists the writers, then selects past the end.
  control().SetCurrentDevice(1);
  control().SetCurrentDevice(0);
  control().SetCurrentDevice(-1);
  EXPECT_EQ(TargetOfNextEject(), 0);
  EXPECT_EQ(control().MediaCount(), 2);
  EXPECT_EQ(TargetOfNextEject(), 0);
  EXPECT_TRUE(control().CDWriterUnitReady());
  EXPECT_EQ(aspi.Commands().back().target, 0);
}

TEST_F(ControlDevice, EjectOpensTheTrayAfterTwoSeconds) {
  writers[2].inquiry = "VENDOR  WRITER          1.00";
  control().InitControl();
  control().SetCurrentDevice(0);
  aspi.Clear();
  const auto before = clock.Slept();
  control().EjectDisk();
  EXPECT_EQ(clock.Slept() - before, std::chrono::milliseconds(2000));
  auto sent = aspi.Commands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(CdbOf(sent[0]), BytesOf(scrivo::EjectCdb()));
  EXPECT_EQ(sent[0].target, 2);
}

TEST_F(ControlDevice, WriteSpeedIsSentInKilobytesPerSecondWithMaximumReadSpeed) {
  writers[0].inquiry = "VENDOR  WRITER          1.00";
  control().InitControl();
  control().SetCurrentDevice(0);
  aspi.Clear();
  Variant result;
  ASSERT_EQ(Invoke(scrivo::DISPID_SETWRITESPEED, InvokeKind::Method, {Variant::I2(0)}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::Bool(false));
  EXPECT_EQ(control().SetWriteSpeed(-8), false);
  EXPECT_TRUE(aspi.Commands().empty());

  ASSERT_EQ(Invoke(scrivo::DISPID_SETWRITESPEED, InvokeKind::Method, {Variant::I2(8)}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::Bool(true));
  EXPECT_TRUE(control().SetWriteSpeed(1));
  std::vector<RecordedRequest> speeds;
  for (const auto& r : aspi.Commands()) {
    if (r.Opcode() == 0xBB) speeds.push_back(r);
  }
  ASSERT_EQ(speeds.size(), 2u);
  EXPECT_EQ(CdbOf(speeds[0]), BytesOf(scrivo::SetCdSpeedCdb(0xFFFF, 1375)));  // 8x in kB/s
  EXPECT_EQ(speeds[0].flags, 0x50);
  EXPECT_EQ(speeds[0].target, 0);
  EXPECT_EQ(CdbOf(speeds[1]), BytesOf(scrivo::SetCdSpeedCdb(0xFFFF, 171)));

  writers.clear();  // the writer stops answering
  EXPECT_FALSE(control().SetWriteSpeed(8));
}

TEST_F(ControlDevice, NoWriterMeansACountOfZeroAndNoSelection) {
  control().InitControl();
  EXPECT_EQ(control().MediaCount(), 0);
  control().SetCurrentDevice(0);
  EXPECT_EQ(control().MediaDesc(), "");
  EXPECT_EQ(control().Drive().CurrentDevice(), scrivo::kNoDevice);
  EXPECT_TRUE(Errors().empty());
}

}  // namespace
