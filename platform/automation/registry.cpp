#include "platform/automation/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace platform {
namespace {

namespace fs = std::filesystem;

// The file holds "[key]" headers followed by "name=value" lines; "@" names
// a key's default value. Names and values are single lines.
Registry::Keys Parse(std::istream& in) {
  Registry::Keys keys;
  std::string line;
  Registry::Values* current = nullptr;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &keys[line.substr(1, line.size() - 2)];
    } else if (auto eq = line.find('='); current && eq != std::string::npos) {
      std::string name = line.substr(0, eq);
      (*current)[name == "@" ? "" : name] = line.substr(eq + 1);
    }
  }
  return keys;
}

void Write(std::ostream& out, const Registry::Keys& keys) {
  for (const auto& [key, values] : keys) {
    out << '[' << key << "]\n";
    for (const auto& [name, value] : values) out << (name.empty() ? "@" : name) << '=' << value << '\n';
  }
}

Registry::Keys Load(const fs::path& path) {
  std::ifstream in(path);
  return in ? Parse(in) : Registry::Keys{};
}

// Runs `change` on the registry's contents under an exclusive lock and
// writes the result back through a temporary file.
bool Modify(const std::function<void(Registry::Keys&)>& change) {
  fs::path path = Registry::FilePath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  int lock = ::open((path.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return false;
  ::flock(lock, LOCK_EX);
  Registry::Keys keys = Load(path);
  change(keys);
  fs::path temp = path.string() + ".tmp";
  bool ok = false;
  {
    std::ofstream out(temp, std::ios::trunc);
    Write(out, keys);
    ok = static_cast<bool>(out.flush());
  }
  if (ok) ok = !::rename(temp.c_str(), path.c_str());
  ::flock(lock, LOCK_UN);
  ::close(lock);
  return ok;
}

}  // namespace

std::string Registry::FilePath() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (dataHome && *dataHome) {
    base = dataHome;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : "/tmp") / ".local/share";
  }
  return (base / "quillon" / "registry").string();
}

std::optional<std::string> Registry::Get(const std::string& key, const std::string& name) {
  Keys keys = Load(FilePath());
  auto k = keys.find(key);
  if (k == keys.end()) return std::nullopt;
  auto v = k->second.find(name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

bool Registry::Set(const std::string& key, const std::string& name, const std::string& value) {
  return Modify([&](Keys& keys) { keys[key][name] = value; });
}

bool Registry::DeleteTree(const std::string& key) {
  return Modify([&](Keys& keys) {
    for (auto it = keys.begin(); it != keys.end();) {
      bool below = it->first == key || it->first.starts_with(key + "/");
      it = below ? keys.erase(it) : std::next(it);
    }
  });
}

Registry::Keys Registry::ReadAll() { return Load(FilePath()); }

}  // namespace platform
