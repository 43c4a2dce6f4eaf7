#include "engine/burn/session_verify.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

#include "engine/burn/burn_drive.h"
#include "engine/drive/mmc_commands.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

// The largest READ(10): a read costs little more than its data.
constexpr std::uint32_t kReadBlocks = kMaxReadBlocks;
// A read of several blocks that fails is tried again block by block, to
// find which blocks cannot be read; past this many such blocks the disc is
// taken to be unreadable from there on, and failed reads are not split any
// more (each single read has its retries and waits).
constexpr std::uint64_t kSplitReadsUpTo = 256;

std::uint64_t Word(const std::uint8_t* at) {
  std::uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::uint64_t Mix(std::uint64_t lane, std::uint64_t word) {
  lane = (lane ^ word) * 0x9E3779B97F4A7C15ULL;
  return lane ^ (lane >> 29);
}

// The path of a node from the disc's root.
std::string DiscPath(const CImageNode& node) {
  std::string path;
  for (const CImageNode* at = &node; at->parent != nullptr; at = at->parent) path = "/" + at->name + path;
  // A file's stored name carries its version number, which no reader shows.
  if (path.ends_with(";1")) path.resize(path.size() - 2);
  return path;
}

// Where each block of the image belongs: the directory (metadata, and any
// block no file holds) or a new file's contents.
class BlockOwners {
 public:
  // No image: every block is the image file's, none a file's.
  explicit BlockOwners(const CImageBuilder* image) : metadata_(image ? image->SectorCount() : 0) {
    if (image == nullptr) return;
    for (const auto& [first, file] : image->FileMap()) {
      const std::uint64_t blocks = (std::uint64_t{file->size} + kBlockSize - 1) / kBlockSize;
      if (blocks > 0) files_.emplace(metadata_ + first, Range{metadata_ + first + blocks, file});
    }
  }
  // The file that holds block `relative`; nullptr for the directory.
  const CImageNode* Owner(std::uint64_t relative) const {
    if (relative < metadata_) return nullptr;
    auto next = files_.upper_bound(relative);
    if (next == files_.begin()) return nullptr;
    --next;
    return relative < next->second.end ? next->second.file : nullptr;
  }

 private:
  struct Range {
    std::uint64_t end;
    const CImageNode* file;
  };
  std::uint64_t metadata_;
  std::map<std::uint64_t, Range> files_;
};

class ReadBack {
 public:
  // `image` lays out the session read back from `origin`; with none, the
  // session is the image file `imageFile`, burned from block 0.
  ReadBack(BurnDrive& drive, const CImageBuilder* image, std::string imageFile, const BlockDigests& digests)
      : drive_(drive), image_(image), imageFile_(std::move(imageFile)), digests_(digests), owners_(image),
        buffer_(std::size_t{kReadBlocks} * kBlockSize) {}

  VerifyResult Run(const std::function<void(std::uint32_t)>& progress, const std::function<bool()>& cancelled) {
    VerifyResult result;
    result.files = image_ ? static_cast<std::uint32_t>(image_->FileMap().size()) : 0;
    const std::uint64_t total =
        image_ ? std::min<std::uint64_t>(image_->VolumeSpaceSize(), digests_.Count()) : digests_.Count();
    std::uint32_t posted = 0;
    for (std::uint64_t at = 0; at < total; at += kReadBlocks) {
      if (cancelled && cancelled()) {
        result.complete = false;
        break;
      }
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadBlocks, total - at));
      ReadAndCompare(at, count);
      result.blocks = at + count;
      const auto perMille = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, result.blocks * 1000 / total));
      if (progress && perMille != posted) progress(posted = perMille);
    }
    result.findings = std::move(findings_);
    if (directory_) result.findings.insert(result.findings.begin(), *directory_);
    return result;
  }

 private:
  void ReadAndCompare(std::uint64_t first, std::uint32_t count) {
    const std::span<std::uint8_t> span(buffer_.data(), std::size_t{count} * kBlockSize);
    if (!driveGone_ && drive_.ReadBlocks(Lba(first), span)) {
      for (std::uint32_t i = 0; i < count; ++i) Compare(first + i, span.subspan(std::size_t{i} * kBlockSize, kBlockSize));
      return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto block = span.subspan(std::size_t{i} * kBlockSize, kBlockSize);
      if (count > 1 && !driveGone_ && unreadable_ < kSplitReadsUpTo && drive_.ReadBlocks(Lba(first + i), block)) {
        Compare(first + i, block);
      } else {
        // A drive that stopped answering (not ready after its waits, no
        // disc, gone from the bus) has no blocks left to read: the rest is
        // counted unreadable without a wait per read.
        driveGone_ = driveGone_ || !MediumError(drive_.LastFailure());
        ++unreadable_;
        Record(first + i, true);
      }
    }
  }

  static bool MediumError(const CommandFailure& failure) {
    constexpr std::uint8_t kMediumError = 0x03;
    return failure.sense && failure.sense->key == kMediumError;
  }

  std::int32_t Lba(std::uint64_t relative) const {
    return static_cast<std::int32_t>((image_ ? image_->ImageOrigin() : 0) + relative);
  }

  void Compare(std::uint64_t relative, std::span<const std::uint8_t> block) {
    if (BlockDigests::Of(block) != digests_.At(relative)) Record(relative, false);
  }

  void Record(std::uint64_t relative, bool unreadable) {
    const CImageNode* file = owners_.Owner(relative);
    VerifyFinding* finding = nullptr;
    if (file == nullptr) {
      if (!directory_) directory_ = VerifyFinding{{}, imageFile_, false, Lba(relative), 0};
      finding = &*directory_;
    } else {
      auto [at, added] = findingOf_.try_emplace(file, findings_.size());
      if (added) findings_.push_back({DiscPath(*file), file->sourcePath, false, Lba(relative), 0});
      finding = &findings_[at->second];
    }
    finding->unreadable = finding->unreadable || unreadable;
    ++finding->blocks;
  }

  BurnDrive& drive_;
  const CImageBuilder* image_;
  std::string imageFile_;
  const BlockDigests& digests_;
  BlockOwners owners_;
  std::vector<std::uint8_t> buffer_;
  std::vector<VerifyFinding> findings_;
  std::map<const CImageNode*, std::size_t> findingOf_;
  std::optional<VerifyFinding> directory_;
  std::uint64_t unreadable_ = 0;
  bool driveGone_ = false;
};

}  // namespace

std::uint64_t BlockDigests::Of(std::span<const std::uint8_t> block) {
  // Four lanes over the block's 64-bit words, so that the multiplications
  // overlap: the digest costs far less than reading the block.
  std::array<std::uint64_t, 4> lanes{0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                                     0x082EFA98EC4E6C89ULL};
  const std::uint8_t* at = block.data();
  const std::size_t words = block.size() / 8;
  for (std::size_t i = 0; i + 4 <= words; i += 4, at += 32) {
    for (std::size_t lane = 0; lane < 4; ++lane) lanes[lane] = Mix(lanes[lane], Word(at + lane * 8));
  }
  std::uint64_t digest = block.size();
  for (const std::uint64_t lane : lanes) digest = Mix(digest, lane);
  return digest;
}

void BlockDigests::Add(std::span<const std::uint8_t> blocks) {
  for (std::size_t at = 0; at + kBlockSize <= blocks.size(); at += kBlockSize) {
    digests_.push_back(Of(blocks.subspan(at, kBlockSize)));
  }
}

StreamStep DigestOutput::Commit(std::uint32_t blocks, bool) {
  digests_.Add(std::span(buffer_).first(std::size_t{blocks} * kBlockSize));
  return StreamStep::Continue;
}

VerifyResult VerifySession(BurnDrive& drive, const CImageBuilder& image, const BlockDigests& digests,
                           const std::function<void(std::uint32_t)>& progress,
                           const std::function<bool()>& cancelled) {
  return ReadBack(drive, &image, {}, digests).Run(progress, cancelled);
}

VerifyResult VerifyImageFile(BurnDrive& drive, const std::string& imageFile, const BlockDigests& digests,
                             const std::function<void(std::uint32_t)>& progress,
                             const std::function<bool()>& cancelled) {
  return ReadBack(drive, nullptr, imageFile, digests).Run(progress, cancelled);
}

std::string DescribeFinding(const VerifyFinding& finding) {
  const std::string blocks = std::to_string(finding.blocks) + (finding.blocks == 1 ? " block" : " blocks") +
                             " from block " + std::to_string(finding.firstBlock);
  if (finding.path.empty() && !finding.source.empty()) {
    return "The disc does not hold the image \"" + finding.source + "\" as it is: " +
           (finding.unreadable ? "some of it cannot be read" : "some of it differs") + " (" + blocks + ").";
  }
  if (finding.path.empty()) {
    return std::string("The disc's directory is damaged: ") +
           (finding.unreadable ? "it cannot be read" : "it differs from what was written") + " (" + blocks + ").";
  }
  return "\"" + finding.path + "\" (from \"" + finding.source + "\") " +
         (finding.unreadable ? "cannot be read" : "differs from its source") + " (" + blocks + ").";
}

}  // namespace scrivo
