#pragma once
// The burn's drive on a real (or virtual) writer: MmcCore's recording
// commands behind the BurnDrive steps.

#include "engine/burn/burn_drive.h"
#include "engine/drive/mmc_core.h"

namespace scrivo {

class MmcBurnDrive final : public BurnDrive {
 public:
  explicit MmcBurnDrive(MmcCore& core) : core_(core) {}

  // Reads of the previous session are tried again after a wait for the
  // drive (kPreviousSessionReadTries): one refusal must not hide the disc.
  bool ReadBlock(std::int32_t lba, std::span<std::uint8_t, kBlockSize> block) override;
  bool PrepareTrack(BurnMode mode) override;
  std::string MediumRefusal(BurnMode mode) override;
  DiscRefusal Refusal() const override;
  bool DiscBlank() const override { return core_.discBlank; }
  std::int32_t SessionStart() const override { return core_.sessionStartAddress; }
  std::optional<std::int32_t> PreviousSessionEnd() const override { return core_.previousSessionEnd; }
  std::int32_t LastSessionStart() override;
  std::optional<std::vector<TocSession>> RecordedSessions() override;
  bool ReadFreeBlocks(std::uint32_t& freeBlocks) override { return core_.ReadFreeBlocks(freeBlocks); }
  bool SetStreaming(std::int32_t endLba) override { return core_.SetStreaming(endLba); }
  bool ReserveTrack(std::int32_t blocks) override { return core_.ReserveTrack(blocks); }
  void SetWriteAddress(std::int32_t address) override { core_.writeAddress = address; }
  std::int32_t WriteAddress() const override { return core_.writeAddress; }
  bool WriteBlocks(std::span<const std::uint8_t> blocks) override { return core_.WriteBlocks(blocks); }
  bool WaitUntilReady(PollingLimit limit) override { return core_.WaitUntilReady(limit); }
  TrackPadding PadOpenTrack(std::uint32_t minimumBlocks) override { return core_.PadOpenTrack(minimumBlocks); }
  bool FinishSession(BurnMode mode, FeatureFlags features) override {
    return core_.FinishSession(mode, features);
  }
  const CommandFailure& LastFailure() const override { return core_.LastFailure(); }
  // One READ(10) of all the blocks, tried again as ReadBlock is.
  bool ReadBlocks(std::int32_t lba, std::span<std::uint8_t> blocks) override;

 private:
  template <class Read>
  bool WithRetries(Read read);

  MmcCore& core_;
};

}  // namespace scrivo
