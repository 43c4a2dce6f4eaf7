#include "engine/burn/burn_failure.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace scrivo {
namespace {

// "write error (03/0C/00)", or the meaning alone without sense data.
std::string DriveSaid(const CommandFailure& command) {
  const std::string sense = command.SenseText();
  return sense.empty() ? command.Meaning() : command.Meaning() + " (" + sense + ")";
}

std::string CommandSentence(const std::optional<CommandFailure>& command, const char* fallback) {
  if (!command) return fallback;
  return "The writer refused " + command->CommandName() + ": " + DriveSaid(*command) + ".";
}

std::string RefusalSentence(const BurnFailure& failure) {
  switch (failure.refusal) {
    case DiscRefusal::Closed:
      return "The disc is closed: it takes no more sessions.";
    case DiscRefusal::LastSessionUnfinished:
      return "The disc's last session was left unfinished by a burn that was interrupted: it takes "
             "no more sessions.";
    case DiscRefusal::Unreadable:
    case DiscRefusal::WriteParameters:
    case DiscRefusal::None:
      break;
  }
  return CommandSentence(failure.command, "The writer could not tell the disc's state.");
}

std::string WriteSentence(const BurnFailure& failure) {
  if (!failure.command) return "The writer refused a write.";
  const auto block = failure.command->Block();
  const std::string where = block ? " at block " + WithThousands(static_cast<std::uint64_t>(*block)) : "";
  return "The writer refused the write" + where + ": " + DriveSaid(*failure.command) + ".";
}

std::string SourceSentence(const BurnFailure& failure) {
  const std::string file = "The file \"" + failure.sourcePath + "\"";
  if (failure.sourceError == 0) return file + " ended before its size while it was burned (it shrank).";
  return file + " could not be read while it was burned: " + std::strerror(failure.sourceError) +
         " (errno " + std::to_string(failure.sourceError) + ").";
}

std::string StepSentence(const BurnFailure& failure) {
  switch (failure.step) {
    case BurnStep::None:
      return "The burn failed.";
    case BurnStep::CheckMedium:
      if (!failure.mediumRefusal.empty()) return failure.mediumRefusal;
      return "The writer holds no disc it can write as a DVD.";
    case BurnStep::PrepareTrack:
      return RefusalSentence(failure);
    case BurnStep::SetWriteParameters:
      return CommandSentence(failure.command,
                             "The writer did not take the write parameters.") +
             " The burn stopped before writing rather than record and close the session with "
             "the writer's own settings.";
    case BurnStep::ReadPreviousSession:
      return failure.command ? "The files already on the disc could not be read: " +
                                   failure.command->CommandName() + " failed, " +
                                   DriveSaid(*failure.command) + "."
                             : "The files already on the disc could not be read: its last session "
                               "is damaged or too large to carry over.";
    case BurnStep::CarryPreviousSession:
      return "Entries already on the disc (named above) cannot be carried into the new session: "
             "nothing was burned, so that the disc keeps showing them.";
    case BurnStep::BuildImage:
      return "The compilation could not be laid out as a disc image.";
    case BurnStep::CheckFreeSpace:
      return "The disc is too small: the session needs " + WithThousands(failure.blocksNeeded) +
             " blocks (" + MegabytesOf(failure.blocksNeeded) + ") and the disc has " +
             WithThousands(failure.blocksFree) + " free (" + MegabytesOf(failure.blocksFree) + ").";
    case BurnStep::PrepareDvdTrack:
      return CommandSentence(failure.command, "The writer could not be set up for the DVD.");
    case BurnStep::Write:
      return WriteSentence(failure);
    case BurnStep::ReadSource:
      return SourceSentence(failure);
    case BurnStep::CloseSession:
      return failure.command ? "The session was not closed: " + failure.command->CommandName() +
                                   " failed, " + DriveSaid(*failure.command) + "."
                             : "The session was not closed: the disc still shows it open.";
    case BurnStep::CheckImageFile:
      return failure.imageProblem;
    case BurnStep::UsedDisc:
      return "The disc is not blank: an image file holds the addresses of a disc's first session, so it is "
             "burned only onto a blank disc. Erase the disc if it is rewritable, or use a blank one.";
  }
  return "The burn failed.";
}

std::string DiscSentence(const BurnFailure& failure) {
  switch (failure.disc) {
    case DiscAfterFailure::Untouched:
      return "Nothing was written: the disc is as it was.";
    case DiscAfterFailure::SessionClosed:
      return "The session was closed with " + MegabytesOf(failure.blocksWritten) +
             " written; the files after that point cannot be read. Erase the disc if it is "
             "rewritable, or use a new one.";
    case DiscAfterFailure::SessionLeftOpen:
      return MegabytesOf(failure.blocksWritten) +
             " were written and the session could not be closed: other drives may not read the "
             "disc until its session is closed. Close the session, or erase the disc if it is "
             "rewritable.";
  }
  return {};
}

}  // namespace

std::string BurnFailure::StepName() const {
  static constexpr std::array kNames{"none",         "check medium",  "prepare track",
                                     "set write parameters", "read previous session", "carry previous session",
                                     "build image", "check free space",
                                     "prepare dvd track", "write",   "read source",
                                     "close session", "check image file", "check blank disc"};
  return kNames.at(static_cast<std::size_t>(step));
}

std::string BurnFailure::Describe() const { return StepSentence(*this) + " " + DiscSentence(*this); }

std::string SourceChangeText(const std::string& path, std::uint64_t size, bool unreadable, const std::string& doing,
                             const std::string& holder) {
  if (unreadable) {
    return "Unable to read the file \"" + path + "\" while " + doing + ": its place " +
           (holder == "the disc" ? "on " : "in ") + holder + " holds zeros.";
  }
  return "The file \"" + path + "\" changed size while " + doing + " (it had " + std::to_string(size) +
         " bytes when it was added).";
}

std::string WithThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string MegabytesOf(std::uint64_t blocks) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(blocks) * 2048 / (1024 * 1024));
  return text;
}

}  // namespace scrivo
