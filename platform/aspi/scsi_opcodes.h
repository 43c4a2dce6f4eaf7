#pragma once
// Operation codes the layer knows by name (SPC, SBC, MMC), and what the
// operation code alone says about a command: its CDB length and, for a
// request that does not name a direction, which way its data goes.

#include <cstddef>
#include <cstdint>

namespace wnaspi::opcode {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kFormatUnit = 0x04;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kModeSelect6 = 0x15;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr std::uint8_t kReadFormatCapacities = 0x23;
constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kSynchronizeCache = 0x35;
constexpr std::uint8_t kWriteBuffer = 0x3B;
constexpr std::uint8_t kReadToc = 0x43;
constexpr std::uint8_t kGetConfiguration = 0x46;
constexpr std::uint8_t kReadDiscInformation = 0x51;
constexpr std::uint8_t kReadTrackInformation = 0x52;
constexpr std::uint8_t kReserveTrack = 0x53;
constexpr std::uint8_t kSendOpcInformation = 0x54;
constexpr std::uint8_t kModeSelect10 = 0x55;
constexpr std::uint8_t kModeSense10 = 0x5A;
constexpr std::uint8_t kCloseTrackSession = 0x5B;
constexpr std::uint8_t kSendCueSheet = 0x5D;
constexpr std::uint8_t kBlank = 0xA1;
constexpr std::uint8_t kSendKey = 0xA3;
constexpr std::uint8_t kWrite12 = 0xAA;
constexpr std::uint8_t kGetPerformance = 0xAC;
constexpr std::uint8_t kSetStreaming = 0xB6;
constexpr std::uint8_t kSetCdSpeed = 0xBB;
constexpr std::uint8_t kSendDvdStructure = 0xBF;

// CDB length by group code (SPC, 4.2.5.1): group 0 six bytes, groups 1 and 2
// ten, group 4 sixteen, group 5 twelve. Groups 3, 6 and 7 have no fixed
// length; 0 means "as given".
constexpr std::size_t CdbLength(std::uint8_t op) {
  switch (op >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 0;
  }
}

// Commands that send data to the drive. Used only when a request carries
// data but names neither direction (ASPI lets the target decide then).
constexpr bool SendsData(std::uint8_t op) {
  switch (op) {
    case kFormatUnit:
    case kModeSelect6:
    case kWrite10:
    case kWriteBuffer:
    case kSendOpcInformation:
    case kModeSelect10:
    case kSendCueSheet:
    case kSendKey:
    case kWrite12:
    case kSetStreaming:
    case kSendDvdStructure:
      return true;
    default:
      return false;
  }
}

// Commands whose data out is a parameter list a reader of the trace checks
// (mode pages, format descriptors, OPC values, streaming descriptors, cue
// sheets), unlike the blocks of a WRITE.
constexpr bool SendsParameterList(std::uint8_t op) {
  switch (op) {
    case kFormatUnit:
    case kModeSelect6:
    case kSendOpcInformation:
    case kModeSelect10:
    case kSendCueSheet:
    case kSetStreaming:
      return true;
    default:
      return false;
  }
}

}  // namespace wnaspi::opcode
