#pragma once
// Where the image library sends the texts of what it refused or could not
// do (an entry left out, a tree that does not fit), and the reasons of the
// entries it refused: the control passes them on to its host. The library
// shows nothing itself.

#include <string_view>

#include "engine/iso/entry_refusal.h"

namespace scrivo {

class ReportSink {
 public:
  virtual void ReportError(std::string_view text) = 0;
  // An entry the compilation refused, with the reason. A sink that takes
  // texts only gets the entry's failure text.
  virtual void ReportRefusal(const EntryRefusal& refusal) { ReportError(refusal.EngineText()); }
  // Something the user should know that does not fail the job. A sink that
  // takes failure texts only gets it as one.
  virtual void ReportNotice(std::string_view text) { ReportError(text); }

 protected:
  ~ReportSink() = default;
};

}  // namespace scrivo
