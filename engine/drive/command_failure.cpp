#include "engine/drive/command_failure.h"

#include <array>
#include <cstdio>

#include "platform/aspi/wnaspi32.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
namespace {

struct CommandNameEntry {
  std::uint8_t opcode;
  const char* name;
};

constexpr std::array kCommandNames{
    CommandNameEntry{0x00, "TEST UNIT READY"},
    CommandNameEntry{0x03, "REQUEST SENSE"},
    CommandNameEntry{0x04, "FORMAT UNIT"},
    CommandNameEntry{0x12, "INQUIRY"},
    CommandNameEntry{0x1B, "START STOP UNIT"},
    CommandNameEntry{0x1E, "PREVENT ALLOW MEDIUM REMOVAL"},
    CommandNameEntry{0x28, "READ(10)"},
    CommandNameEntry{0x2A, "WRITE(10)"},
    CommandNameEntry{0x35, "SYNCHRONIZE CACHE"},
    CommandNameEntry{0x43, "READ TOC"},
    CommandNameEntry{0x46, "GET CONFIGURATION"},
    CommandNameEntry{0x51, "READ DISC INFORMATION"},
    CommandNameEntry{0x52, "READ TRACK INFORMATION"},
    CommandNameEntry{0x53, "RESERVE TRACK"},
    CommandNameEntry{0x55, "MODE SELECT(10)"},
    CommandNameEntry{0x5A, "MODE SENSE(10)"},
    CommandNameEntry{0x5B, "CLOSE TRACK/SESSION"},
    CommandNameEntry{0xA1, "BLANK"},
    CommandNameEntry{0xAC, "GET PERFORMANCE"},
    CommandNameEntry{0xB6, "SET STREAMING"},
    CommandNameEntry{0xBB, "SET CD SPEED"},
};

// The sense codes a writer answers a burn, blank or format with most often
// (SPC and MMC additional sense code tables). Others are shown by number.
struct SenseMeaning {
  std::uint8_t key;
  std::int16_t asc;   // -1: any
  std::int16_t ascq;  // -1: any
  const char* text;
};

constexpr std::array kSenseMeanings{
    // A drive answers every other initiator so while one of them writes;
    // the ASPI layer answers so while another program's job holds the writer.
    SenseMeaning{0x02, 0x04, 0x08, "another program is using the writer (long write in progress)"},
    SenseMeaning{0x02, 0x04, -1, "the drive is not ready"},
    SenseMeaning{0x02, 0x3A, -1, "there is no disc in the drive"},
    SenseMeaning{0x02, 0x30, -1, "the drive cannot use this disc"},
    SenseMeaning{0x03, 0x0C, -1, "write error"},
    SenseMeaning{0x03, 0x11, -1, "unrecovered read error"},
    SenseMeaning{0x03, 0x73, -1, "power calibration or program memory area failure"},
    SenseMeaning{0x03, 0x72, -1, "session fixation error"},
    SenseMeaning{0x03, -1, -1, "the disc has a fault"},
    SenseMeaning{0x04, -1, -1, "the drive has a hardware fault"},
    SenseMeaning{0x05, 0x21, -1, "the address lies outside the disc's recordable area"},
    SenseMeaning{0x05, 0x24, -1, "the drive refused a field of the command"},
    SenseMeaning{0x05, 0x20, -1, "the drive does not know the command"},
    SenseMeaning{0x05, 0x30, -1, "the disc is not compatible with this command"},
    SenseMeaning{0x05, 0x64, -1, "illegal mode for this track"},
    SenseMeaning{0x05, 0x72, -1, "session fixation error"},
    SenseMeaning{0x05, -1, -1, "the drive refused the command"},
    SenseMeaning{0x06, 0x28, -1, "the disc was changed"},
    SenseMeaning{0x06, 0x29, -1, "the drive was reset"},
    SenseMeaning{0x06, -1, -1, "the drive reported a change (unit attention)"},
    SenseMeaning{0x07, -1, -1, "the disc is write-protected or not writable"},
    SenseMeaning{0x0B, -1, -1, "the drive aborted the command"},
};

const char* AdapterFailure(std::uint8_t adapterStatus) {
  switch (adapterStatus) {
    case HASTAT_TIMEOUT:
    case HASTAT_COMMAND_TIMEOUT:
      return "the command timed out";
    case HASTAT_SEL_TO:
      return "the drive did not answer";
    case HASTAT_BUS_RESET:
      return "the bus was reset";
    case HASTAT_DO_DU:
      return "the transfer was cut short";
    default:
      return nullptr;
  }
}

}  // namespace

std::string CommandFailure::CommandName() const {
  for (const auto& entry : kCommandNames) {
    if (entry.opcode == cdb[0]) return entry.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "command %02Xh", cdb[0]);
  return text;
}

std::optional<std::int64_t> CommandFailure::Block() const {
  if (cdb[0] != 0x28 && cdb[0] != 0x2A) return std::nullopt;
  return static_cast<std::int32_t>(bytes::GetBE32(cdb.data() + 2));
}

std::string CommandFailure::SenseText() const {
  if (!sense) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X", sense->key, sense->asc, sense->ascq);
  return text;
}

std::string CommandFailure::Meaning() const {
  if (sense) {
    for (const auto& entry : kSenseMeanings) {
      if (entry.key == sense->key && (entry.asc < 0 || entry.asc == sense->asc) &&
          (entry.ascq < 0 || entry.ascq == sense->ascq)) {
        return entry.text;
      }
    }
    return "the drive reported an error";
  }
  if (const char* transport = AdapterFailure(adapterStatus)) return transport;
  if (status == kStatusNotBound) return "no drive is bound";
  return "the request failed";
}

}  // namespace scrivo
