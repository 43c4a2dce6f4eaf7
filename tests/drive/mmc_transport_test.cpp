// The transport: binding the ASPI layer, the request block as sent, waiting
// for completion, and the requests that are not SCSI commands.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/drive/mmc_core.h"
#include "tests/support/aspi_double.h"
#include "tests/support/capturing_ui.h"

namespace {

using testsupport::AspiDouble;
using testsupport::Reply;

class Transport : public ::testing::Test {
 protected:
  AspiDouble aspi;
  testsupport::CapturingUserInterface ui;
  scrivo::MmcCore core;
};

TEST_F(Transport, UnboundCoreSendsNothing) {
  EXPECT_FALSE(core.TestUnitReady());
  EXPECT_EQ(core.ExecuteCdb(nullptr, 0, scrivo::kFlagsDataIn), 255);
  std::uint8_t type = 0;
  EXPECT_FALSE(core.GetDeviceType(type));
  EXPECT_TRUE(aspi.Requests().empty());
}

TEST_F(Transport, LoadingTwiceKeepsTheLibraryAndTheDeviceAddress) {
  int before = platform::testing::LoadCount("WNASPI32.DLL");
  ASSERT_TRUE(core.LoadAspi());
  EXPECT_EQ(core.CurrentDevice(), scrivo::kNoDevice);
  core.SetDevice(1, 2, 0);
  core.writeAddress = 77;
  EXPECT_TRUE(core.LoadAspi());
  EXPECT_EQ(platform::testing::LoadCount("WNASPI32.DLL"), before + 1);
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{1, 2, 0}));
  EXPECT_EQ(core.writeAddress, 77);
}

TEST_F(Transport, MissingLibraryIsToldApartAndShowsNothing) {
  platform::testing::UnregisterModule("WNASPI32.DLL");
  auto empty = std::filesystem::temp_directory_path() / "quillon-no-aspi";
  std::filesystem::create_directories(empty);
  platform::testing::SetSearchDirectory(empty.string());
  EXPECT_FALSE(core.LoadAspi());
  platform::testing::SetSearchDirectory(std::nullopt);
  // The control that asked shows the message box; the drive shows nothing.
  EXPECT_TRUE(core.LibraryMissing());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(core.IsBound());
}

TEST_F(Transport, MissingEntryPointFailsWithoutAMessage) {
  platform::testing::RegisterModule("WNASPI32.DLL", {{"GetASPI32SupportInfo", reinterpret_cast<void*>(+[] { return 0u; })}});
  EXPECT_FALSE(core.LoadAspi());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(core.ExecuteCdb(nullptr, 0, scrivo::kFlagsDataIn), 255);
}

TEST_F(Transport, BeforeAnyDeviceIsSelectedRequestsGoNowhereAndFail) {
  ASSERT_TRUE(core.LoadAspi());
  aspi.SetResponder([](const auto& r) {
    Reply reply;
    reply.status = r.hostAdapter == 255 ? SS_INVALID_HA : SS_COMP;
    return reply;
  });
  EXPECT_FALSE(core.TestUnitReady());
  auto sent = aspi.Commands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].hostAdapter, 255);
  EXPECT_EQ(sent[0].target, 255);
  EXPECT_EQ(sent[0].lun, 255);
}

TEST_F(Transport, TestUnitReadyFillsEveryRequestBlockField) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 3, 1);
  EXPECT_TRUE(core.TestUnitReady());
  auto sent = aspi.Commands();
  ASSERT_EQ(sent.size(), 1u);
  const auto& r = sent[0];
  EXPECT_EQ(r.command, SC_EXEC_SCSI_CMD);
  EXPECT_EQ(r.hostAdapter, 0);
  EXPECT_EQ(r.target, 3);
  EXPECT_EQ(r.lun, 1);
  EXPECT_EQ(r.flags, 0x48);
  EXPECT_EQ(r.hdrReserved, 0u);
  EXPECT_EQ(r.reserved1, 0);
  EXPECT_EQ(r.bufferLength, 0u);
  EXPECT_TRUE(r.bufferIsNull);
  EXPECT_EQ(r.senseLength, 14);
  EXPECT_EQ(r.cdbLength, 12);
  EXPECT_EQ(r.haStat, 0);
  EXPECT_EQ(r.targStat, 0);
  EXPECT_NE(r.postProc, nullptr);
  EXPECT_TRUE(r.reserved2Zero);
  EXPECT_TRUE(r.senseAreaZero);
  EXPECT_EQ(r.cdb, std::vector<std::uint8_t>(16, 0));
}

TEST_F(Transport, StagedCdbAndCallerBufferTravelAsGiven) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 0, 0);
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.dataIn = {1, 2, 3, 4};
    return reply;
  });
  core.StagedCdb() = {0x28, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0};
  std::uint8_t buffer[2048] = {};
  EXPECT_EQ(core.ExecuteCdb(buffer, sizeof buffer, scrivo::kFlagsDataIn), SS_COMP);
  auto r = aspi.Commands().at(0);
  EXPECT_EQ(r.bufferLength, 2048u);
  EXPECT_EQ(std::vector<std::uint8_t>(r.cdb.begin(), r.cdb.begin() + 12),
            (std::vector<std::uint8_t>{0x28, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(r.cdb.begin() + 12, r.cdb.end()), std::vector<std::uint8_t>(4, 0));
  EXPECT_EQ(buffer[3], 4);

  std::uint8_t out[4] = {9, 8, 7, 6};
  core.StagedCdb() = {0x2A};
  core.ExecuteCdb(out, sizeof out, scrivo::kFlagsDataOut);
  r = aspi.Commands().at(1);
  EXPECT_EQ(r.flags, 0x50);
  EXPECT_EQ(r.dataOut, (std::vector<std::uint8_t>{9, 8, 7, 6}));
}

TEST_F(Transport, PendingRequestsAreWaitedForAndFinalOnesAreNot) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 0, 0);
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.completeLater = true;
    reply.dataIn = {0xAB};
    return reply;
  });
  std::uint8_t byte = 0;
  core.StagedCdb() = {0x12};
  EXPECT_EQ(core.ExecuteCdb(&byte, 1, scrivo::kFlagsDataIn), SS_COMP);
  EXPECT_EQ(byte, 0xAB);

  // Final on return and the event never set: waiting would hang.
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.status = SS_ERR;
    reply.signalWhenImmediate = false;
    return reply;
  });
  EXPECT_FALSE(core.TestUnitReady());

  // A layer that signals even immediate completions leaves no stale signal
  // behind for the next, pending request.
  aspi.SetResponder([](const auto&) { return Reply{}; });
  EXPECT_TRUE(core.TestUnitReady());
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.completeLater = true;
    reply.status = SS_ERR;
    return reply;
  });
  EXPECT_FALSE(core.TestUnitReady());
}

TEST_F(Transport, FailedCommandsLeaveTheirSenseData) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 0, 0);
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.status = SS_ERR;
    reply.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
    return reply;
  });
  EXPECT_FALSE(core.TestUnitReady());
  EXPECT_EQ(core.SenseArea()[2], 0x02);
  EXPECT_EQ(core.SenseArea()[12], 0x3A);
  EXPECT_EQ(core.LastSense(), (scrivo::SenseCode{0x02, 0x3A, 0x00}));
  // The sense of a request that ended otherwise reads as none.
  aspi.SetResponder([](const auto&) { return Reply{}; });
  EXPECT_TRUE(core.TestUnitReady());
  EXPECT_EQ(core.LastSense(), scrivo::SenseCode{});
}

TEST_F(Transport, BindingASuppliedEntryPointSendsThroughItWithoutTheLibrary) {
  const int loads = platform::testing::LoadCount("WNASPI32.DLL");
  int calls = 0;
  ASSERT_TRUE(core.BindAspi([&](void* srb) {
    ++calls;
    return aspi.Send(srb);
  }));
  EXPECT_EQ(core.CurrentDevice(), scrivo::kNoDevice);
  core.SetDevice(0, 1, 0);
  EXPECT_TRUE(core.TestUnitReady());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(platform::testing::LoadCount("WNASPI32.DLL"), loads);
  EXPECT_FALSE(core.BindAspi({}));
  EXPECT_FALSE(core.IsBound());
  EXPECT_FALSE(core.TestUnitReady());
  EXPECT_EQ(calls, 1);
}

TEST_F(Transport, HostAdapterInquiryCopiesFiftyBytesFromTheCount) {
  ASSERT_TRUE(core.LoadAspi());
  aspi.hostAdapterCount = 3;
  std::array<std::uint8_t, 50> record{};
  EXPECT_TRUE(core.HostAdapterInquiry(record));
  EXPECT_EQ(record[0], 3);
  auto r = aspi.Requests().at(0);
  EXPECT_EQ(r.command, SC_HA_INQUIRY);
  EXPECT_EQ(r.hostAdapter, 0);
  EXPECT_EQ(r.flags, 0x40);
}

TEST_F(Transport, DeviceTypeFollowsATestUnitReadyOnTheCurrentAddress) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 4, 0);
  aspi.devicePresent = [](auto ha, auto target, auto lun) { return ha == 0 && target == 4 && lun == 0; };
  std::uint8_t type = 0;
  EXPECT_TRUE(core.GetDeviceType(type));
  EXPECT_EQ(type, DTYPE_CDROM);
  auto requests = aspi.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Opcode(), 0x00);
  EXPECT_EQ(requests[1].command, SC_GET_DEV_TYPE);
  EXPECT_EQ(requests[1].target, 4);
  core.SetDevice(0, 5, 0);
  EXPECT_FALSE(core.GetDeviceType(type));
}

std::vector<std::uint8_t> InquiryData(const char* vendor, const char* product, const char* revision) {
  std::vector<std::uint8_t> data(36, ' ');
  data[0] = 0x05;
  std::memcpy(&data[8], vendor, std::strlen(vendor));
  std::memcpy(&data[16], product, std::strlen(product));
  std::memcpy(&data[32], revision, std::strlen(revision));
  return data;
}

TEST_F(Transport, InquiryDescribesTheDriveInTwentySevenCharacters) {
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(9, 9, 9);
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.completeLater = true;
    reply.dataIn = InquiryData("ABCDEFGH", "PRODUCT-NAME-123", "1.02");
    return reply;
  });
  char description[32];
  std::memset(description, 'x', sizeof description);
  EXPECT_EQ(core.Inquiry(0, 2, 0, description), SS_COMP);
  EXPECT_STREQ(description, "ABCDEFGHPRODUCT-NAME-1231.0");
  auto r = aspi.Commands().at(0);
  EXPECT_EQ(r.hostAdapter, 0);
  EXPECT_EQ(r.target, 2);
  EXPECT_EQ(r.lun, 0);
  EXPECT_EQ(r.cdbLength, 6);
  EXPECT_EQ(r.bufferLength, 36u);
  EXPECT_EQ(r.flags, 0x48);
  EXPECT_EQ(std::vector<std::uint8_t>(r.cdb.begin(), r.cdb.begin() + 7),
            (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x24, 0, 0}));
  EXPECT_EQ(core.CurrentDevice(), (scrivo::DeviceAddress{9, 9, 9}));
}

TEST_F(Transport, InquiryOfAnEmptyAddressLeavesTheDescriptionAlone) {
  ASSERT_TRUE(core.LoadAspi());
  aspi.SetResponder([](const auto&) {
    Reply reply;
    reply.status = SS_NO_DEVICE;
    return reply;
  });
  char description[28] = "unchanged";
  EXPECT_NE(core.Inquiry(0, 7, 0, description), SS_COMP);
  EXPECT_STREQ(description, "unchanged");
}

}  // namespace
