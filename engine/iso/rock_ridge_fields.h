#pragma once
// Rock Ridge (SUSP 1.12 / RRIP 1.12) entries of a directory record's system
// use area, as far as the import reads them: the name (NM), the file type
// (PX), directory relocation (CL, RE) and where the entries go on (CE).
// Only reading; the bytes come from an untrusted disc, so every entry's
// length is checked against its area.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace scrivo::rrip {

// The SUSP indicator (SP) opens the system use area of a file system's root
// "." record; without it no record of that tree is read for Rock Ridge.
// Returns the bytes to skip at the start of every other area (LEN_SKP).
std::optional<std::uint8_t> SuspIndicatorSkip(std::span<const std::uint8_t> rootSystemUse);

// What one record's entries say. `name` holds NM's bytes, joined over
// continued entries; `hasName` tells an NM apart from none.
struct RecordFields {
  bool hasName = false;
  std::string name;
  std::optional<std::uint32_t> mode;        // PX: POSIX file mode
  std::optional<std::uint32_t> childLink;   // CL: extent of a relocated directory
  bool relocated = false;                   // RE: this is a relocated directory itself
  struct Continuation {
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };
  // CE: the entries go on in this area; cleared when it is read.
  std::optional<Continuation> continuation;
  // The entries that describe the file itself (PX, PN, SL, NM, TF), whole
  // and in order, to be written again as they are.
  std::vector<std::uint8_t> carried;
};

// Reads the SUSP entries of one area (a system use area after its LEN_SKP
// bytes, or a continuation area) into `fields`; ends at ST, at the area's
// end, or at an entry whose length does not fit.
void ReadEntries(std::span<const std::uint8_t> area, RecordFields& fields);

// The file types a PX mode tells (POSIX S_IFMT values).
enum class FileType { Regular, Directory, SymbolicLink, Fifo, Device, Socket, Unknown };
FileType TypeOf(std::uint32_t mode);
// "a symbolic link", "a FIFO", ... for the reason an entry is not carried.
const char* Describe(FileType type);

}  // namespace scrivo::rrip
