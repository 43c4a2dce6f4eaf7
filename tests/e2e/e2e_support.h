#pragma once
// What the end-to-end tests look at from outside the engine: folders of
// source files, the virtual writer's disc record (disc.state), the ASPI
// layer's trace of the commands it received, and the independent ISO
// readers run over the disc image.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its
// contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }
  fs::path operator/(const fs::path& child) const { return path_ / child; }

 private:
  fs::path path_;
};

// A file of `size` bytes whose contents depend on its name, so that two
// files never hold the same bytes by accident.
void WriteFile(const fs::path& path, std::size_t size);
// A file of `size` bytes that takes no disk space (a hole).
void WriteSparseFile(const fs::path& path, std::uintmax_t size);

// Fills `folder` with the kinds of entries a burn must carry: ASCII and
// UTF-8 names, an empty file, a file one byte past a block, a subfolder.
// `tag` goes into the names and contents, so that trees of different
// sessions differ.
void WriteSampleTree(const fs::path& folder, const std::string& tag);

// Gives each file below `into` its counterpart's time below `from` (the
// readers compare the disc's times with the files').
void KeepTimesOf(const fs::path& from, const fs::path& into);

// Copies `from`'s top-level entries that `into` does not hold yet: the
// merge of a new session with the disc's earlier one, where an entry of the
// disc wins over a same-named new entry. The copies keep their times.
void MergeMissingEntries(const fs::path& from, const fs::path& into);

// One command line of the layer's trace: the CDB sent.
using Cdb = std::vector<std::uint8_t>;
// Every EXEC request in the trace file, in order.
std::vector<Cdb> ReadTraceCommands(const fs::path& traceFile);
std::size_t CountTraceLines(const fs::path& traceFile);
bool HasOpcode(const std::vector<Cdb>& commands, std::uint8_t opcode);
// Index of the first command with `opcode` at or after `from`, or npos.
std::size_t FindOpcode(const std::vector<Cdb>& commands, std::uint8_t opcode, std::size_t from = 0);
// The logical block address and the transfer length of a WRITE(10).
std::uint32_t Write10Address(const Cdb& cdb);
std::uint32_t Write10Blocks(const Cdb& cdb);

// The virtual writer's record of its disc, read from disc.state: header
// fields ("medium", "finalized", ...), and one field map per session and
// per track ("closed", "start", "recorded", "reserved", "mode", ...).
struct DiscRecord {
  std::map<std::string, std::string> header;
  std::vector<std::map<std::string, std::string>> sessions;
  std::vector<std::map<std::string, std::string>> tracks;

  static DiscRecord Read(const fs::path& stateFile);
  std::uint32_t TrackNumber(std::size_t index, const std::string& field) const;
};

struct ReaderVerdict {
  int status = -1;
  std::string output;
  bool Agrees() const { return status == 0; }
};
// Every independent reader opens the image's first session and compares
// names, sizes and bytes with `source`.
ReaderVerdict RunReaders(const fs::path& image, const fs::path& source);
// The same for the session starting at block `sessionStart` of a disc image.
ReaderVerdict RunSessionReaders(const fs::path& image, const fs::path& source, std::uint32_t sessionStart);
// Data addresses of the files of the session at `sessionStart`, by path, as
// xorriso reads them.
std::map<std::string, std::uint32_t> ReadFileAddresses(const fs::path& image, std::uint32_t sessionStart);

}  // namespace e2e
