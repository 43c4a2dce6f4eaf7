#include "tests/e2e/e2e_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace {

const std::string kPython = "/usr/bin/python3";
const std::string kReaders = QUILLON_SOURCE_DIR "/tests/iso/check_readers.py";
const std::string kSessionReaders = QUILLON_SOURCE_DIR "/tests/iso/check_session.py";

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ReaderVerdict RunCommand(const std::string& command) {
  ReaderVerdict verdict;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return verdict;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) verdict.output.append(buffer, got);
  verdict.status = ::pclose(pipe);
  return verdict;
}

// "key=value key=value ..." into a map.
std::map<std::string, std::string> ParseFields(const std::string& line) {
  std::map<std::string, std::string> fields;
  std::istringstream words(line);
  std::string word;
  while (words >> word) {
    auto eq = word.find('=');
    if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return fields;
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "quillon-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& path, std::size_t size) {
  std::uint32_t state = 2166136261u;
  for (char c : path.filename().string()) state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
  std::string bytes(size, '\0');
  for (char& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteSparseFile(const fs::path& path, std::uintmax_t size) {
  std::ofstream(path, std::ios::binary).close();
  fs::resize_file(path, size);
}

void WriteSampleTree(const fs::path& folder, const std::string& tag) {
  fs::create_directories(folder / ("folder " + tag) / "inner");
  WriteFile(folder / ("notes-" + tag + ".txt"), 1000);
  WriteFile(folder / ("Gr\xC3\xBC\xC3\x9F" "e " + tag + ".txt"), 300);                  // Grüße
  WriteFile(folder / ("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-" + tag + ".dat"), 4097);  // 日本語
  WriteFile(folder / ("empty-" + tag), 0);
  WriteFile(folder / ("block-and-one-" + tag + ".bin"), 2049);
  WriteFile(folder / ("folder " + tag) / "inner" / ("deep-" + tag + ".txt"), 5000);
  WriteFile(folder / ("folder " + tag) / ("caf\xC3\xA9-" + tag + ".txt"), 2048);  // café
}

void KeepTimesOf(const fs::path& from, const fs::path& into) {
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path copy = into / fs::relative(entry.path(), from);
    if (entry.is_regular_file() && fs::exists(copy)) fs::last_write_time(copy, entry.last_write_time());
  }
}

void MergeMissingEntries(const fs::path& from, const fs::path& into) {
  for (const auto& entry : fs::directory_iterator(from)) {
    fs::path target = into / entry.path().filename();
    if (fs::exists(target)) continue;
    fs::copy(entry.path(), target, fs::copy_options::recursive);
    if (entry.is_directory()) KeepTimesOf(entry.path(), target);
    else fs::last_write_time(target, entry.last_write_time());
  }
}

std::vector<Cdb> ReadTraceCommands(const fs::path& traceFile) {
  std::vector<Cdb> commands;
  std::ifstream trace(traceFile);
  std::string line;
  while (std::getline(trace, line)) {
    auto open = line.find(" EXEC [");
    auto close = line.find(']', open);
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream bytes(line.substr(open + 7, close - open - 7));
    Cdb cdb;
    unsigned value = 0;
    while (bytes >> std::hex >> value) cdb.push_back(static_cast<std::uint8_t>(value));
    commands.push_back(std::move(cdb));
  }
  return commands;
}

std::size_t CountTraceLines(const fs::path& traceFile) {
  std::ifstream trace(traceFile);
  std::size_t lines = 0;
  for (std::string line; std::getline(trace, line);) ++lines;
  return lines;
}

bool HasOpcode(const std::vector<Cdb>& commands, std::uint8_t opcode) {
  return FindOpcode(commands, opcode) != std::string::npos;
}

std::size_t FindOpcode(const std::vector<Cdb>& commands, std::uint8_t opcode, std::size_t from) {
  for (std::size_t i = from; i < commands.size(); ++i) {
    if (!commands[i].empty() && commands[i][0] == opcode) return i;
  }
  return std::string::npos;
}

std::uint32_t Write10Address(const Cdb& cdb) {
  return static_cast<std::uint32_t>(cdb.at(2)) << 24 | static_cast<std::uint32_t>(cdb.at(3)) << 16 |
         static_cast<std::uint32_t>(cdb.at(4)) << 8 | cdb.at(5);
}

std::uint32_t Write10Blocks(const Cdb& cdb) {
  return static_cast<std::uint32_t>(cdb.at(7)) << 8 | cdb.at(8);
}

DiscRecord DiscRecord::Read(const fs::path& stateFile) {
  DiscRecord record;
  std::ifstream state(stateFile);
  std::string line;
  while (std::getline(state, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto fields = ParseFields(line);
    if (line.starts_with("session=")) {
      record.sessions.push_back(std::move(fields));
    } else if (line.starts_with("track=")) {
      record.tracks.push_back(std::move(fields));
    } else {
      record.header.merge(fields);
    }
  }
  return record;
}

std::uint32_t DiscRecord::TrackNumber(std::size_t index, const std::string& field) const {
  return static_cast<std::uint32_t>(std::stoul(tracks.at(index).at(field)));
}

ReaderVerdict RunReaders(const fs::path& image, const fs::path& source) {
  return RunCommand(kPython + " " + Quote(kReaders) + " " + Quote(image.string()) + " " + Quote(source.string()));
}

ReaderVerdict RunSessionReaders(const fs::path& image, const fs::path& source, std::uint32_t sessionStart) {
  return RunCommand(kPython + " " + Quote(kSessionReaders) + " " + Quote(image.string()) + " " +
                    Quote(source.string()) + " " + std::to_string(sessionStart));
}

std::map<std::string, std::uint32_t> ReadFileAddresses(const fs::path& image, std::uint32_t sessionStart) {
  ReaderVerdict listing = RunCommand(kPython + " " + Quote(kSessionReaders) + " --addresses " +
                                     Quote(image.string()) + " " + std::to_string(sessionStart));
  std::map<std::string, std::uint32_t> addresses;
  std::istringstream lines(listing.output);
  std::string line;
  while (std::getline(lines, line)) {
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    addresses[line.substr(tab + 1)] = static_cast<std::uint32_t>(std::stoul(line.substr(0, tab)));
  }
  return addresses;
}

}  // namespace e2e
