#pragma once
// The progress of a job as the user sees it: the phase by name and a
// percentage that never runs backwards. On a terminal one bar is redrawn in
// place; otherwise one line per whole percent reached ("Writing 37 %",
// with the buffer's fill while writing: "Writing 37 %  buffer 87%").

#include <ostream>
#include <string>
#include <string_view>

#include "host/burn_phases.h"

namespace quillon {

class ProgressView {
 public:
  ProgressView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  ~ProgressView() { EndLine(); }

  // Shows `percent` in `phase`; within a phase, a value below the one shown
  // keeps that one. (A job's phases follow each other upwards: BurnPhases.)
  void Show(std::string_view phase, int percent);
  // How full the burn's read-ahead buffer is: shown after the percentage
  // ("buffer 87%") until the phase changes; on a terminal at once.
  void ShowBuffer(int percent);
  // Ends the bar's line, so that a message can follow on a line of its own.
  void EndLine();

 private:
  void Draw();

  std::ostream& out_;
  bool terminal_;
  bool lineOpen_ = false;
  std::string phase_;
  int shown_ = -1;
  int buffer_ = -1;  // none known in this phase
};

}  // namespace quillon
