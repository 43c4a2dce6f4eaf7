#pragma once
// Where the image library sends the texts of what it refused or could not
// do (an entry left out, a tree that does not fit): the control passes them
// on to its host. The library shows nothing itself.

#include <string_view>

namespace scrivo {

class ReportSink {
 public:
  virtual void ReportError(std::string_view text) = 0;

 protected:
  ~ReportSink() = default;
};

}  // namespace scrivo
