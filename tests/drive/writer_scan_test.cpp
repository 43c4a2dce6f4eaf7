// The writer scan: which addresses count as writers, in which order, what
// each probe sends, and which device address is current afterwards.

#include <cstring>
#include <set>
#include <tuple>

#include "tests/drive/drive_fixture.h"

namespace drivetest {
namespace {

using Address = std::tuple<int, int, int>;

class WriterScan : public DriveTest {
 protected:
  // Devices at these addresses; those in `writers` report a write speed.
  void Attach(std::set<Address> devices, std::set<Address> writers) {
    aspi.devicePresent = [devices](std::uint8_t ha, std::uint8_t target, std::uint8_t lun) {
      return devices.count({ha, target, lun}) > 0;
    };
    On(0x5A, [writers](const RecordedRequest& r) {
      Bytes page(30, 0);
      if (writers.count({r.hostAdapter, r.target, r.lun})) page[27] = 0x01;  // 1 kB/s
      return Data(page);
    });
    On(0x12, [](const RecordedRequest& r) {
      Bytes data(36, ' ');
      std::string text = "VENDOR" + std::to_string(r.target) + "  PRODUCT" +
                         std::to_string(r.hostAdapter) + std::to_string(r.lun);
      std::memcpy(&data[8], text.data(), text.size());
      return Data(data);
    });
  }

  Address AddressOf(const scrivo::WriterEntry& entry) {
    return {entry.hostAdapter, entry.target, entry.lun};
  }
};

TEST_F(WriterScan, NoAdapterOrAFailedInquiryFindsNothing) {
  Attach({{0, 0, 0}}, {{0, 0, 0}});
  aspi.hostAdapterCount = 0;
  scrivo::WriterEntry entry;
  EXPECT_EQ(core.CountWriters(), 0);
  EXPECT_FALSE(core.GetWriter(0, entry));

  aspi.hostAdapterCount = 1;
  aspi.hostAdapterStatus = SS_ERR;
  EXPECT_EQ(core.CountWriters(), 0);
  EXPECT_FALSE(core.GetWriter(0, entry));
  EXPECT_TRUE(aspi.Commands().empty());
}

TEST_F(WriterScan, WritersAreIndexedByAdapterThenTargetThenLun) {
  Attach({{1, 0, 0}, {0, 2, 3}, {0, 2, 1}, {0, 1, 0}}, {{1, 0, 0}, {0, 2, 3}, {0, 2, 1}, {0, 1, 0}});
  aspi.hostAdapterCount = 2;
  EXPECT_EQ(core.CountWriters(), 4);
  std::vector<Address> order;
  scrivo::WriterEntry entry;
  for (int i = 0; core.GetWriter(i, entry); ++i) order.push_back(AddressOf(entry));
  EXPECT_EQ(order, (std::vector<Address>{{0, 1, 0}, {0, 2, 1}, {0, 2, 3}, {1, 0, 0}}));
}

TEST_F(WriterScan, TwoWritersAtTargetsOneAndZeroAreListedInTargetOrder) {
  Attach({{0, 1, 0}, {0, 0, 0}}, {{0, 1, 0}, {0, 0, 0}});
  scrivo::WriterEntry first, second, third;
  ASSERT_TRUE(core.GetWriter(0, first));
  ASSERT_TRUE(core.GetWriter(1, second));
  EXPECT_FALSE(core.GetWriter(2, third));  // index equal to the count
  EXPECT_EQ(AddressOf(first), (Address{0, 0, 0}));
  EXPECT_EQ(AddressOf(second), (Address{0, 1, 0}));
  EXPECT_STREQ(first.description.data(), "VENDOR0  PRODUCT00         ");
  EXPECT_STREQ(second.description.data(), "VENDOR1  PRODUCT00         ");
}

TEST_F(WriterScan, DevicesWithoutWriteSpeedOrCapabilitiesPageAreNoWriters) {
  Attach({{0, 0, 0}, {0, 3, 0}, {0, 5, 0}}, {{0, 5, 0}});
  On(0x5A, [](const RecordedRequest& r) {
    if (r.target == 3) return Rejected();  // a disk: no capabilities page
    Bytes page(30, 0);
    if (r.target == 5) page[26] = 0x80;  // write speed in the high byte only
    return Data(page);
  });
  EXPECT_EQ(core.CountWriters(), 1);
  scrivo::WriterEntry entry;
  ASSERT_TRUE(core.GetWriter(0, entry));
  EXPECT_EQ(AddressOf(entry), (Address{0, 5, 0}));
}

TEST_F(WriterScan, EachAddressIsProbedWithReadinessDeviceTypeAndCapabilities) {
  Attach({{0, 0, 1}}, {{0, 0, 1}});
  core.CountWriters();
  auto requests = aspi.Requests();
  // Two host adapter inquiries, then 63 empty addresses (TEST UNIT READY and
  // device type) and one writer (those and TEST UNIT READY, MODE SENSE).
  ASSERT_EQ(requests.size(), 2u + 63 * 2 + 4);
  EXPECT_EQ(requests[0].command, SC_HA_INQUIRY);
  EXPECT_EQ(requests[1].command, SC_HA_INQUIRY);
  EXPECT_EQ(requests[2].Opcode(), 0x00);
  EXPECT_EQ(std::tie(requests[2].hostAdapter, requests[2].target, requests[2].lun),
            std::make_tuple(0, 0, 0));
  EXPECT_EQ(requests[3].command, SC_GET_DEV_TYPE);
  // The writer at LUN 1.
  EXPECT_EQ(requests[4].Opcode(), 0x00);
  EXPECT_EQ(requests[5].command, SC_GET_DEV_TYPE);
  EXPECT_EQ(requests[6].Opcode(), 0x00);
  EXPECT_EQ(requests[7].Opcode(), 0x5A);
  EXPECT_EQ(requests[7].lun, 1);
  EXPECT_EQ(CdbOf(requests[7]), (Bytes{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x1E, 0, 0, 0}));
  EXPECT_EQ(requests[7].flags, 0x48);
  EXPECT_EQ(requests[7].bufferLength, 30u);
  EXPECT_EQ(requests.back().command, SC_GET_DEV_TYPE);
  EXPECT_EQ(requests.back().target, 7);
  EXPECT_EQ(requests.back().lun, 7);
}

TEST_F(WriterScan, ScansLeaveTheSelectedAddressUnlessAWriterWasLookedUp) {
  Attach({{0, 2, 0}, {0, 4, 0}}, {{0, 2, 0}, {0, 4, 0}});
  core.SetDevice(0, 4, 0);
  EXPECT_EQ(core.CountWriters(), 2);
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{0, 4, 0}));

  scrivo::WriterEntry entry;
  EXPECT_FALSE(core.GetWriter(-1, entry));
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{0, 4, 0}));
  EXPECT_FALSE(core.GetWriter(2, entry));
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{0, 4, 0}));

  // An eject after the failed look-ups reaches the selected writer.
  aspi.Clear();
  core.EjectDisc();
  EXPECT_EQ(aspi.Commands().at(0).target, 4);

  EXPECT_TRUE(core.GetWriter(0, entry));
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{0, 2, 0}));
}

TEST_F(WriterScan, AWriterWhoseInquiryFailsHasAnEmptyDescription) {
  Attach({{0, 0, 0}}, {{0, 0, 0}});
  On(0x12, [](const RecordedRequest&) { return Rejected(); });
  scrivo::WriterEntry entry;
  entry.description.fill('x');
  ASSERT_TRUE(core.GetWriter(0, entry));
  EXPECT_STREQ(entry.description.data(), "");
}

}  // namespace
}  // namespace drivetest
