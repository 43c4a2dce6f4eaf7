#pragma once
// The per-user registry of classes: which library serves a class id, the
// ProgIDs that name it, and the facts a host reads about it. Kept in one
// text file, ${XDG_DATA_HOME:-~/.local/share}/quillon/registry, so that
// registering a control is visible to every host the user starts.

#include <map>
#include <optional>
#include <string>

namespace platform {

class Registry {
 public:
  using Values = std::map<std::string, std::string>;  // name -> value; "" is the key's default
  using Keys = std::map<std::string, Values>;         // "Classes/CLSID/{...}/InprocServer32" -> values

  static std::string FilePath();

  // Each call reads the file afresh; writes replace it atomically under a lock.
  static std::optional<std::string> Get(const std::string& key, const std::string& name = "");
  static bool Set(const std::string& key, const std::string& name, const std::string& value);
  // Removes the key and every key below it.
  static bool DeleteTree(const std::string& key);
  static Keys ReadAll();
};

}  // namespace platform
