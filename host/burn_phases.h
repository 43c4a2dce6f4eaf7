#pragma once
// A burn's progress as phases, read from the engine's percentages alone, for
// every host: what is being done now, and how much of the image was written
// when a cancel cut the writing short.

#include <string_view>

namespace quillon {

// A burn's progress in phases. The engine reports 1-5 % while it builds the
// image, 6-96 % while it writes it, then 90 % and 100 % while it closes the
// session; a cancel jumps from where the writing stopped to that 90 %. A
// burn that verifies then reads its session back: 0 to 100 % again.
class BurnPhases {
 public:
  struct Step {
    std::string_view phase;
    int percent;
  };
  static constexpr std::string_view kPreparing = "Preparing";
  static constexpr std::string_view kWriting = "Writing";
  static constexpr std::string_view kClosing = "Closing the session";
  static constexpr std::string_view kVerifying = "Verifying";

  void CancelRequested() { cancelRequested_ = true; }
  // The burn was asked to verify (VerifyAfterBurn): what follows the
  // closing's 100 % is the read-back.
  void ExpectVerify() { verifyExpected_ = true; }
  bool verifying() const { return verifying_; }
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
  bool verifyExpected_ = false;
  bool verifying_ = false;
  int reached_ = 0;
  int written_ = 0;
};

}  // namespace quillon
