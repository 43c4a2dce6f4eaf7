#include "platform/bytes/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

static_assert(bytes::Swap16(0x1234) == 0x3412);
static_assert(bytes::Swap32(0x12345678) == 0x78563412);
static_assert(bytes::Swap32(bytes::Swap32(0xCAFEBABE)) == 0xCAFEBABE);

constexpr bool RoundTripsBigEndian32() {
  std::uint8_t b[4]{};
  bytes::PutBE32(b, 0x0102A0FF);
  return b[0] == 0x01 && b[1] == 0x02 && b[2] == 0xA0 && b[3] == 0xFF && bytes::GetBE32(b) == 0x0102A0FF;
}
static_assert(RoundTripsBigEndian32());

TEST(ByteOrder, BigAndLittleEndianFieldsPlaceBytesAsTheStandardsSay) {
  std::array<std::uint8_t, 4> b{};
  bytes::PutBE16(b.data(), 0x055F);
  EXPECT_EQ(b[0], 0x05);
  EXPECT_EQ(b[1], 0x5F);
  bytes::PutBE24(b.data(), 0xABCDEF);
  EXPECT_EQ((std::array<std::uint8_t, 3>{b[0], b[1], b[2]}), (std::array<std::uint8_t, 3>{0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(bytes::GetBE24(b.data()), 0xABCDEFu);
  bytes::PutLE32(b.data(), 0x11223344);
  EXPECT_EQ(b[0], 0x44);
  EXPECT_EQ(b[3], 0x11);
  EXPECT_EQ(bytes::GetLE32(b.data()), 0x11223344u);
  bytes::PutLE16(b.data(), 0xBEEF);
  EXPECT_EQ(bytes::GetLE16(b.data()), 0xBEEF);
}

TEST(ByteOrder, BothByteOrderFieldsHoldLittleThenBigHalf) {
  std::array<std::uint8_t, 8> b{};
  bytes::PutBoth32(b.data(), 28);  // a volume space size of 28 blocks
  EXPECT_EQ(b, (std::array<std::uint8_t, 8>{28, 0, 0, 0, 0, 0, 0, 28}));
  auto read = bytes::GetBoth32(b.data());
  EXPECT_EQ(read.value, 28u);
  EXPECT_TRUE(read.consistent);

  std::array<std::uint8_t, 4> s{};
  bytes::PutBoth16(s.data(), 2048);
  EXPECT_EQ(s, (std::array<std::uint8_t, 4>{0x00, 0x08, 0x08, 0x00}));
  EXPECT_EQ(bytes::GetBoth16(s.data()).value, 2048);
}

TEST(ByteOrder, MismatchedHalvesAreReportedAndTheLittleHalfTrusted) {
  std::array<std::uint8_t, 8> b{};
  bytes::PutBoth32(b.data(), 100);
  b[7] = 99;  // a mastering program that got the big half wrong
  auto read = bytes::GetBoth32(b.data());
  EXPECT_EQ(read.value, 100u);
  EXPECT_FALSE(read.consistent);
}

TEST(ByteOrder, HostToBigMatchesTheBytePlacement) {
  std::uint32_t big = bytes::HostToBig32(0x00000800);
  std::uint8_t raw[4];
  std::memcpy(raw, &big, 4);
  EXPECT_EQ(bytes::GetBE32(raw), 0x800u);
  std::uint16_t big16 = bytes::HostToBig16(0xFFFE);
  std::memcpy(raw, &big16, 2);
  EXPECT_EQ(bytes::GetBE16(raw), 0xFFFE);
}

}  // namespace
