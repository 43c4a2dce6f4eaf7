// What a file offered for burning must be before a writer is touched: an
// ISO 9660 image of whole blocks with a volume space size that fits it.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/burn/image_file.h"

namespace {

namespace fs = std::filesystem;

// An image of `blocks` blocks whose primary descriptor says `little` and
// `big` for the volume space size (both byte orders).
std::vector<char> Image(std::uint32_t blocks, std::uint32_t little, std::uint32_t big) {
  std::vector<char> bytes(std::size_t{blocks} * 2048);
  char* descriptor = bytes.data() + 16 * 2048;
  descriptor[0] = 1;
  std::copy_n("CD001", 5, descriptor + 1);
  descriptor[6] = 1;
  for (int i = 0; i < 4; ++i) {
    descriptor[80 + i] = static_cast<char>(little >> (8 * i));
    descriptor[87 - i] = static_cast<char>(big >> (8 * i));
  }
  return bytes;
}

TEST(ImageFile, OnlyAWholeIsoImageIsBurned) {
  std::vector<char> noDescriptor = Image(40, 40, 40);
  noDescriptor[16 * 2048 + 1] = 'X';
  std::vector<char> cut = Image(40, 40, 40);
  cut.resize(cut.size() - 100);
  const struct {
    const char* name;
    std::vector<char> bytes;
    const char* problem;  // a piece of the reason; nullptr: burnable
  } cases[] = {
      {"whole", Image(40, 40, 40), nullptr},
      {"padded after its volume", Image(48, 40, 40), nullptr},
      {"cut short of a block", cut, "not a whole number of 2048-byte blocks"},
      {"system area only", std::vector<char>(16 * 2048), "not a whole number"},
      {"no primary descriptor", noDescriptor, "block 16 holds no primary volume descriptor"},
      {"byte orders disagree", Image(40, 40, 41), "volume space size (40 blocks) does not match"},
      {"volume past the file", Image(40, 80, 80), "volume space size (80 blocks) does not match"},
  };
  const fs::path dir = fs::path(testing::TempDir()) / "image_file_test";
  fs::create_directories(dir);
  for (const auto& c : cases) {
    const fs::path path = dir / (std::string(c.name) + ".iso");
    std::ofstream(path, std::ios::binary).write(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
    const scrivo::IsoImageFacts facts = scrivo::InspectIsoImage(path.string());
    if (c.problem == nullptr) {
      EXPECT_EQ(facts.problem, "") << c.name;
      EXPECT_EQ(facts.blocks, c.bytes.size() / 2048) << c.name;
    } else {
      EXPECT_NE(facts.problem.find(c.problem), std::string::npos) << c.name << ": " << facts.problem;
    }
  }
  EXPECT_NE(scrivo::InspectIsoImage((dir / "missing.iso").string()).problem.find("cannot be read"), std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
