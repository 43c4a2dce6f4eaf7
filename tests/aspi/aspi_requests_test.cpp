// The request blocks as the engine uses them, and the engine's writer scan
// (what the control's MediaCount counts) over the virtual writers.

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class AspiRequestsTest : public AspiTest {};

bool HostAdapterInquiry(std::uint8_t adapter, SRB_HAInquiry* out) {
  SRB_HAInquiry srb{};
  srb.SRB_Cmd = SC_HA_INQUIRY;
  srb.SRB_HaId = adapter;
  srb.SRB_Flags = SRB_EVENT_NOTIFY;
  SendASPI32Command(&srb);
  *out = srb;
  return srb.SRB_Status == SS_COMP;
}

// The engine's writer scan, through the process-wide layer.
int CountWriters() { return Device(EntryPoint(), 0, 0).core().CountWriters(); }

TEST_F(AspiRequestsTest, TwoVirtualWritersAreFoundByTheScan) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "cd-r=" + (dir_ / "D1").string() + ";dvd+rw=" + (dir_ / "D2").string()}});
  EXPECT_EQ(CountWriters(), 2);
  EXPECT_EQ(GetASPI32SupportInfo(), (std::uint32_t{SS_COMP} << 8) | 1u);
}

TEST_F(AspiRequestsTest, AnEmptyListMeansNoWriter) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", ""}});
  EXPECT_EQ(CountWriters(), 0);
  // Adapter 0 stays, so real drives keep their adapter numbers.
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 1u);
}

TEST_F(AspiRequestsTest, HostAdapterInquiryFillsTheRecord) {
  ConfigureOne("cd-rw");
  SRB_HAInquiry srb{};
  ASSERT_TRUE(HostAdapterInquiry(0, &srb));
  EXPECT_EQ(srb.HA_Count, 1);
  EXPECT_EQ(srb.HA_SCSI_ID, 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(srb.HA_ManagerId), 16), "QUILLON WNASPI32");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(srb.HA_Identifier), 7), "VIRTUAL");
  EXPECT_EQ(srb.HA_Unique[3], 8);  // targets
  EXPECT_FALSE(HostAdapterInquiry(1, &srb));
  EXPECT_EQ(srb.SRB_Status, SS_INVALID_HA);
}

TEST_F(AspiRequestsTest, DeviceTypeIsCdromForAWriterAndNoDeviceElsewhere) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "cd-r=" + (dir_ / "a").string() + ";dvd-r=" + (dir_ / "b").string()}});
  std::uint8_t type = 0;
  EXPECT_EQ(Device(0, 0).DeviceType(&type), SS_COMP);
  EXPECT_EQ(type, DTYPE_CDROM);
  EXPECT_EQ(Device(0, 1).DeviceType(&type), SS_COMP);
  EXPECT_EQ(Device(0, 2).DeviceType(nullptr), SS_NO_DEVICE);
  EXPECT_EQ(Device(EntryPoint(), 0, 0, 1).DeviceType(nullptr), SS_NO_DEVICE);
  EXPECT_EQ(Device(3, 0).DeviceType(nullptr), SS_INVALID_HA);
  EXPECT_EQ(Device(255, 255).DeviceType(nullptr), SS_INVALID_HA);
}

TEST_F(AspiRequestsTest, ExecuteToAMissingDeviceOrAdapterFails) {
  ConfigureOne("cd-r");
  EXPECT_EQ(Device(0, 5).NoData(TestUnitReadyCdb()).status, SS_NO_DEVICE);
  EXPECT_EQ(Device(7, 0).NoData(TestUnitReadyCdb()).status, SS_INVALID_HA);
}

TEST_F(AspiRequestsTest, UnknownRequestBlockIsRejected) {
  ConfigureOne("cd-r");
  SRB_Header srb{};
  srb.SRB_Cmd = 0x7F;
  EXPECT_EQ(SendASPI32Command(&srb), SS_INVALID_CMD);
  EXPECT_EQ(srb.SRB_Status, SS_INVALID_CMD);
}

TEST_F(AspiRequestsTest, RequestsCompleteBeforeTheCallReturns) {
  ConfigureOne("cd-r");
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_Flags = kFlagsDataIn;
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = 12;
  int marker = 0;
  srb.SRB_PostProc = &marker;  // never touched
  EXPECT_EQ(SendASPI32Command(&srb), SS_COMP);
  EXPECT_EQ(srb.SRB_Status, SS_COMP);
  EXPECT_EQ(marker, 0);
}

TEST_F(AspiRequestsTest, BadRequestBlocksAreRefused) {
  ConfigureOne("cd-r");
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_CDBLen = 0;
  SendASPI32Command(&srb);
  EXPECT_EQ(srb.SRB_Status, SS_INVALID_SRB);
  srb.SRB_CDBLen = 12;
  srb.SRB_BufLen = 36;  // and no buffer
  SendASPI32Command(&srb);
  EXPECT_EQ(srb.SRB_Status, SS_INVALID_SRB);
  EXPECT_EQ(SendASPI32Command(nullptr), SS_INVALID_SRB);
}

TEST_F(AspiRequestsTest, InquiryDescribesTheWriterIn27Characters) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "cd-r=" + (dir_ / "a").string() + ";dvd+rw=" + (dir_ / "b").string()}});
  EXPECT_EQ(Device(0, 0).Description(), "QUILLON VIRTUAL DRIVE 0 1.0");
  EXPECT_EQ(Device(0, 1).Description(), "QUILLON VIRTUAL DRIVE 1 1.0");
  const Result r = Device(0, 0).In(InquiryCdb(36), 36);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.data[0], 0x05);  // CD/DVD device
  EXPECT_EQ(r.data[1], 0x80);  // removable
  EXPECT_EQ(r.data[4], 31);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r.data[32]), 4), "1.00");
}

TEST_F(AspiRequestsTest, SenseAreaHoldsFixedFormatSenseOnCheckCondition) {
  ConfigureOne("cd-r");
  const Result r = Device(0, 0).NoData(Cdb{0xFF});
  EXPECT_SENSE(r, 0x5, 0x20, 0x00);  // INVALID COMMAND OPERATION CODE
  EXPECT_EQ(r.sense[0], 0x70);
  EXPECT_EQ(r.sense[7], 10);
  EXPECT_EQ(r.sense[14], 0);  // SENSE_LEN 14: bytes 14-15 not copied
}

}  // namespace
}  // namespace aspitest
