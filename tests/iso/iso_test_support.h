#pragma once
// Shared helpers of the image tests: temporary source trees, a host that
// records reports, and a small independent reader of the built metadata
// (it decodes bytes by the ECMA-119 offsets, not through the engine's types).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/iso/report_sink.h"
#include "engine/iso/image_builder.h"

namespace isotest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return path_; }
  fs::path operator/(std::string_view name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Writes `size` bytes of a pattern that differs per file and per offset.
void WriteSource(const fs::path& path, std::size_t size);

class RecordingHost final : public scrivo::ReportSink {
 public:
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  void ReportRefusal(const scrivo::EntryRefusal& refusal) override {
    refusals.push_back(refusal);
    ReportError(refusal.EngineText());
  }
  std::vector<std::string> errors;
  std::vector<scrivo::EntryRefusal> refusals;
};

// Runs a script of tests/iso with its arguments (quoted by the caller):
// its exit status and what it printed.
struct CheckResult {
  int status;
  std::string output;
};
CheckResult RunScript(const std::string& script, const std::string& arguments);

// --- reading the built metadata -------------------------------------------

std::uint32_t Le32(const std::uint8_t* p);
std::uint32_t Be32(const std::uint8_t* p);
std::uint16_t Le16(const std::uint8_t* p);
std::uint16_t Be16(const std::uint8_t* p);
// Reads a both-byte-order 32-bit field and checks that its halves agree.
std::uint32_t Both32(const std::uint8_t* p);

// The block at absolute address `address` of the builder's image.
const std::uint8_t* BlockAt(const scrivo::CImageBuilder& builder, std::uint32_t address);

struct Record {
  std::uint32_t block;   // absolute address of the block holding it
  std::size_t offset;    // within that block
  std::size_t length;
  std::uint32_t extent;
  std::uint32_t dataLength;
  std::uint8_t flags;
  std::vector<std::uint8_t> identifier;
  bool IsDirectory() const { return (flags & 2) != 0; }
};

// Every record of a directory extent, "." and ".." included, walking each
// block until a zero length byte.
std::vector<Record> ReadDirectory(const scrivo::CImageBuilder& builder, std::uint32_t extent,
                                  std::uint32_t size);

// The root directory record of the descriptor at block 16 or 17.
Record RootRecordOf(const scrivo::CImageBuilder& builder, std::uint32_t descriptorBlock);

std::string IdentifierText(const Record& record);           // ISO 9660: bytes as they are
std::u16string JolietIdentifierText(const Record& record);  // UCS-2 big-endian

struct PathTableEntry {
  std::vector<std::uint8_t> identifier;
  std::uint32_t extent;
  std::uint16_t parent;
};
// Decodes the type L (little-endian) or type M table of a descriptor.
std::vector<PathTableEntry> ReadPathTable(const scrivo::CImageBuilder& builder,
                                          std::uint32_t descriptorBlock, bool typeM);

// The entries of a directory with "." and ".." left out.
std::vector<Record> Entries(const std::vector<Record>& records);

}  // namespace isotest
