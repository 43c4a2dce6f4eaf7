#pragma once
// Image files. An image file is the session a burn would write onto a blank
// disc, saved to a file instead (ImageSave); an ISO 9660 image file is
// burned as a disc's one session by BurnSession::RunImageFile, whose blocks
// StreamImageFile hands to the burn's output.

#include <cstdint>
#include <string>

#include "engine/iso/image_stream.h"

namespace platform {
class Event;
}  // namespace platform

namespace scrivo {

class CImageBuilder;
class CImageNode;
class EngineHost;
class SourceFile;

// What a file offered for burning holds.
struct IsoImageFacts {
  std::string problem;       // why it cannot be burned; empty when it can
  std::uint64_t blocks = 0;  // the file's 2048-byte blocks
};
// Looks at `path`: a regular file of whole 2048-byte blocks, with the
// primary volume descriptor of ISO 9660 at block 16 and a volume space size
// that reads the same in both byte orders and lies within the file.
IsoImageFacts InspectIsoImage(const std::string& path);

// The first `blocks` blocks of `source` into `output`, then a flush. A read
// that comes up short is told to `changed` under `named` and fails the pass.
StreamEnd StreamImageFile(SourceFile& source, std::uint64_t blocks, const CImageNode& named,
                          BlockOutput& output, const SourceChangeSink& changed);

// The blank medium an image file is made for: a larger image is refused.
enum class ImageMedium { Cd, Dvd };
constexpr std::uint64_t kCdImageLimitBlocks = 360000;    // an 80-minute CD
constexpr std::uint64_t kDvdImageLimitBlocks = 2295104;  // a single-layer DVD

struct ImageSaveFailure {
  std::string step;    // a stable name: "check target", "build image", "write", ...
  std::string reason;  // sentences for the user
  std::string path;    // the file concerned, when one is
  int error = 0;       // errno, when a system call failed
};

class ImageSave {
 public:
  ImageSave(CImageBuilder& image, EngineHost& host, platform::Event* cancelEvent)
      : image_(image), host_(host), cancelEvent_(cancelEvent) {}

  // Lays the compilation out as the first session of a blank disc, as a
  // burn does, and writes it to `target` through a temporary file beside it
  // that takes the target's name only once it is complete: a failure or a
  // cancel leaves no part of an image under that name. Refused before
  // anything is written: a target inside a folder of the compilation, an
  // image larger than `medium` holds, too little room on the target's file
  // system. Posts 10 to 50 while the image is built, 60 to 960 while it is
  // written, then 1000 and WM_IMAGE_FINISHED. The image is left as built:
  // the caller resets it.
  bool Run(const std::string& target, ImageMedium medium);
  const ImageSaveFailure& Failure() const { return failure_; }

 private:
  bool Fail(std::string step, std::string reason, int error = 0, std::string path = {});
  bool CheckTarget(const std::string& folder, const std::string& target);
  bool WriteTemporary(int fd, std::uint64_t total, const std::string& temporary);

  CImageBuilder& image_;
  EngineHost& host_;
  platform::Event* cancelEvent_;
  ImageSaveFailure failure_;
};

}  // namespace scrivo
