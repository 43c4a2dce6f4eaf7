#include "iso_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>

namespace isotest {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "iso-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteSource(const fs::path& path, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t seed = std::hash<std::string>{}(path.filename().string());
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((seed + i * 131 + i / 2048) & 0xFF);
  std::ofstream(path, std::ios::binary) << bytes;
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

std::uint32_t Both32(const std::uint8_t* p) {
  EXPECT_EQ(Le32(p), Be32(p + 4)) << "both-byte-order halves disagree";
  return Le32(p);
}

const std::uint8_t* BlockAt(const scrivo::CImageBuilder& builder, std::uint32_t address) {
  std::size_t index = address - builder.ImageOrigin();
  if (index >= builder.SectorList().size()) throw std::out_of_range("block outside the image");
  return builder.SectorList()[index]->data();
}

namespace {

Record DecodeRecord(const std::uint8_t* at, std::uint32_t block, std::size_t offset) {
  Record record{block, offset, at[0], Both32(at + 2), Both32(at + 10), at[25], {}};
  record.identifier.assign(at + 33, at + 33 + at[32]);
  return record;
}

}  // namespace

std::vector<Record> ReadDirectory(const scrivo::CImageBuilder& builder, std::uint32_t extent,
                                  std::uint32_t size) {
  std::vector<Record> records;
  for (std::uint32_t b = 0; b < size / 2048; ++b) {
    const std::uint8_t* block = BlockAt(builder, extent + b);
    for (std::size_t offset = 0; offset < 2048 && block[offset] != 0; offset += block[offset]) {
      EXPECT_LE(offset + block[offset], 2048u) << "record crosses a block boundary";
      records.push_back(DecodeRecord(block + offset, extent + b, offset));
    }
  }
  return records;
}

Record RootRecordOf(const scrivo::CImageBuilder& builder, std::uint32_t descriptorBlock) {
  return DecodeRecord(BlockAt(builder, builder.ImageOrigin() + descriptorBlock) + 156, 0, 156);
}

std::string IdentifierText(const Record& record) {
  return {record.identifier.begin(), record.identifier.end()};
}

std::u16string JolietIdentifierText(const Record& record) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < record.identifier.size(); i += 2) {
    text.push_back(static_cast<char16_t>(Be16(&record.identifier[i])));
  }
  return text;
}

std::vector<PathTableEntry> ReadPathTable(const scrivo::CImageBuilder& builder,
                                          std::uint32_t descriptorBlock, bool typeM) {
  const std::uint8_t* descriptor = BlockAt(builder, builder.ImageOrigin() + descriptorBlock);
  std::uint32_t size = Both32(descriptor + 132);
  std::uint32_t location = typeM ? Be32(descriptor + 148) : Le32(descriptor + 140);
  std::vector<std::uint8_t> table;
  for (std::uint32_t b = 0; b * 2048 < size; ++b) {
    const std::uint8_t* block = BlockAt(builder, location + b);
    table.insert(table.end(), block, block + 2048);
  }
  std::vector<PathTableEntry> entries;
  for (std::size_t at = 0; at < size;) {
    std::uint8_t length = table[at];
    PathTableEntry entry;
    entry.identifier.assign(table.data() + at + 8, table.data() + at + 8 + length);
    entry.extent = typeM ? Be32(&table[at + 2]) : Le32(&table[at + 2]);
    entry.parent = typeM ? Be16(&table[at + 6]) : Le16(&table[at + 6]);
    entries.push_back(entry);
    at += 8 + length + length % 2;
  }
  return entries;
}

std::vector<Record> Entries(const std::vector<Record>& records) {
  return {records.begin() + 2, records.end()};
}

CheckResult RunScript(const std::string& script, const std::string& arguments) {
  const std::string command =
      "/usr/bin/python3 '" QUILLON_SOURCE_DIR "/tests/iso/" + script + "' " + arguments + " 2>&1";
  CheckResult result{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, got);
  result.status = ::pclose(pipe);
  return result;
}

}  // namespace isotest
