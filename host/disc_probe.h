#pragma once
// What a host asks a writer itself, beside the control: the answers the
// control's members do not give. Why a writer is not ready (another
// program's job has it, or there is no disc), what the disc is, whether a
// DVD+RW is formatted, how much space is free, and how much a cancelled
// burn wrote. It goes through the same ASPI layer the engine loads, with
// the engine's own drive access (MmcCore: TEST UNIT READY, GET
// CONFIGURATION, READ DISC INFORMATION, READ TRACK INFORMATION), and only
// while no job runs.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace scrivo {
class MmcCore;
}

namespace quillon {

struct DiscDescription {
  std::uint16_t profile = 0;  // MMC profile of the disc; 0 when unknown
  bool closed = false;        // the disc is complete: no session can be added
  bool overwritable = false;  // written in place (DVD+RW, DVD-RAM): never closed
  bool unformatted = false;   // a DVD+RW that must be formatted first
  bool unfinished = false;    // the last session was left open by a burn that never ended
  std::uint32_t freeBlocks = 0;
  bool freeKnown = false;     // the drive said how much is free (a BD does not: the engine refuses it)
  std::uint32_t nextWritable = 0;  // where the next session starts

  bool cd() const { return profile >= 0x08 && profile <= 0x0A; }
  bool dvd() const { return profile >= 0x10 && profile <= 0x2B; }
  bool dvdPlusRw() const { return profile == 0x1A || profile == 0x2A; }
};

// Blocks of 2048 bytes as megabytes (MiB) for messages: rounded down, or
// up; one decimal below 10 MB.
std::string Megabytes(std::uint64_t blocks, bool roundUp = false);

// "CD-R", "DVD+RW", ...; "disc" for a profile without a name here.
std::string MediumName(std::uint16_t profile);

class DiscProbe {
 public:
  // Mounted: the system has the disc mounted (the ASPI layer's note says
  // where, and how to unmount it).
  enum class Readiness { Ready, InUse, Mounted, NoDisc, NotReady };

  DiscProbe();
  ~DiscProbe();
  DiscProbe(const DiscProbe&) = delete;
  DiscProbe& operator=(const DiscProbe&) = delete;

  // Binds the ASPI layer and finds the writer the control selected (its
  // host adapter and target, and the LUN whose description it has).
  bool Open(int hostAdapter, int target, const std::string& description);

  Readiness TestReady();
  // TestReady after the wait for a disc the drive is still recognising (up
  // to about a minute): for a program that is about to use the disc.
  Readiness AwaitReady();
  // What the ASPI layer adds about the writer's last refusal (its disc's
  // mount point); empty when it says nothing.
  std::string LayerNote();
  std::optional<DiscDescription> Describe();
  // Opens the tray, after the pause a drive that has just finished a job
  // needs; seconds in all.
  bool Eject();
  // Blocks recorded in the track that starts at `lba`.
  std::optional<std::uint32_t> RecordedFrom(std::uint32_t lba);

 private:
  // The engine's drive access stays inside the host library: its hosts see
  // the probe's answers only.
  std::unique_ptr<scrivo::MmcCore> drive_;
};

}  // namespace quillon
