#pragma once
// The progress of a job as the user sees it: the phase by name and a
// percentage that never runs backwards. On a terminal one bar is redrawn in
// place; otherwise one line per whole percent reached ("Writing 37 %").

#include <ostream>
#include <string>
#include <string_view>

namespace quillon {

class ProgressView {
 public:
  ProgressView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  ~ProgressView() { EndLine(); }

  // Shows `percent` in `phase`; within a phase, a value below the one shown
  // keeps that one. (A job's phases follow each other upwards: BurnPhases.)
  void Show(std::string_view phase, int percent);
  // Ends the bar's line, so that a message can follow on a line of its own.
  void EndLine();

 private:
  std::ostream& out_;
  bool terminal_;
  bool lineOpen_ = false;
  std::string phase_;
  int shown_ = -1;
};

// A burn's progress in phases. The engine reports 1-5 % while it builds the
// image, 6-96 % while it writes it, then 90 % and 100 % while it closes the
// session; a cancel jumps from where the writing stopped to that 90 %.
class BurnPhases {
 public:
  struct Step {
    std::string_view phase;
    int percent;
  };
  static constexpr std::string_view kPreparing = "Preparing";
  static constexpr std::string_view kWriting = "Writing";
  static constexpr std::string_view kClosing = "Closing the session";

  void CancelRequested() { cancelRequested_ = true; }
  Step OnProgress(int percent);
  bool closing() const { return closing_; }
  // Whether every block was written (the writing reached 96 %).
  bool wroteEverything() const { return written_ >= kAllWritten; }
  // The share of the image written, from 0 to 1.
  double writtenShare() const;

 private:
  static constexpr int kFirstWrite = 6, kAllWritten = 96, kClosingMark = 90;
  bool cancelRequested_ = false;
  bool closing_ = false;
  int reached_ = 0;
  int written_ = 0;
};

}  // namespace quillon
