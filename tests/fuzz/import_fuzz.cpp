// libFuzzer target of the previous-session import. The input is a disc:
// its bytes are the blocks from 16 on of a session that starts at block 0
// (the system area reads as zeros, blocks past the input cannot be read).
// The disc is read through MmcCore and the ASPI double as on a drive; a
// tree the import accepts is then laid out as the next session.

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/drive/mmc_core.h"
#include "engine/iso/image_builder.h"
#include "tests/support/aspi_double.h"
#include "tests/support/virtual_disc.h"

namespace {

constexpr std::int64_t kFirstInputBlock = 16;
constexpr std::size_t kBlock = 2048;

struct ServedDrive {
  ServedDrive() {
    aspi.SetResponder([this](const testsupport::RecordedRequest& r) { return disc.Answer(r); });
    core.LoadAspi();
    core.SetDevice(0, 1, 0);
  }
  testsupport::AspiDouble aspi;
  testsupport::VirtualDisc disc;
  scrivo::MmcCore core;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ServedDrive drive;
  drive.aspi.Clear();  // the double keeps every request it saw
  drive.disc.Clear();
  drive.disc.lastSessionStart = 0;
  const auto blocks = static_cast<std::int64_t>((size + kBlock - 1) / kBlock);
  drive.disc.capacity = kFirstInputBlock + blocks;
  drive.disc.PutBlocks(kFirstInputBlock, std::span<const std::uint8_t>(data, size));

  scrivo::CImageBuilder builder;
  builder.Bind(&drive.core, nullptr);
  if (builder.ImportPreviousSession()) {
    builder.SetImageOrigin(static_cast<std::uint32_t>(drive.disc.capacity));
    builder.BuildImage();
  }
  return 0;
}
