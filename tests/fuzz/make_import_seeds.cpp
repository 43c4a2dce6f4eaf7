// Writes the seed corpus of the import fuzz target into the folder given as
// the only argument: sessions built by the engine's own builder at block 0,
// each as its blocks from 16 on (the fuzz target's input format).

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/iso/image_builder.h"
#include "engine/iso/image_node.h"

namespace fs = std::filesystem;
using scrivo::CImageBuilder;
using scrivo::CImageNode;

namespace {

fs::path MakeSourceFolder() {
  std::string pattern = (fs::temp_directory_path() / "import-seeds-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

class SeedWriter {
 public:
  SeedWriter(fs::path out, fs::path sources) : out_(std::move(out)), sources_(std::move(sources)) {}

  void AddFile(CImageBuilder& builder, CImageNode& parent, const std::string& name,
               std::size_t size) {
    fs::path source = sources_ / ("s" + std::to_string(count_++));
    std::ofstream(source, std::ios::binary) << std::string(size, 'x');
    builder.AddFileEntry(parent, name, source.string());
  }

  // Builds a session with `fill`, lets `edit` change its blocks, and
  // writes blocks 16 and on.
  bool Write(const std::string& name, const std::function<void(CImageBuilder&)>& fill,
             const std::function<void(CImageBuilder&)>& edit = {}) {
    CImageBuilder builder;
    fill(builder);
    if (!builder.BuildImage()) return false;
    if (edit) edit(builder);
    std::ofstream file(out_ / name, std::ios::binary);
    const auto& blocks = builder.SectorList();
    for (std::size_t i = CImageBuilder::kSystemAreaBlocks; i < blocks.size(); ++i) {
      file.write(reinterpret_cast<const char*>(blocks[i]->data()),
                 static_cast<std::streamsize>(blocks[i]->size()));
    }
    return static_cast<bool>(file);
  }

 private:
  fs::path out_;
  fs::path sources_;
  int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  const fs::path sources = MakeSourceFolder();
  if (sources.empty()) return 1;
  SeedWriter seeds(out, sources);

  auto smallTree = [&](CImageBuilder& b) {
    seeds.AddFile(b, b.Root(), "a.txt", 3000);
    seeds.AddFile(b, b.Root(), "README", 10);
    CImageNode* docs = b.AddDirectoryEntry(b.Root(), "docs");
    seeds.AddFile(b, *docs, "b.bin", 1);
    b.AddDirectoryEntry(*docs, "empty");
  };
  bool ok = seeds.Write("single_session", smallTree);
  // Only the primary and a terminator: the ISO 9660 tree is read.
  ok &= seeds.Write("iso_only", smallTree, [](CImageBuilder& b) {
    std::uint8_t* joliet = b.SectorList()[17]->data();
    joliet[0] = 255;
  });
  ok &= seeds.Write("multi_block_directory", [&](CImageBuilder& b) {
    for (int i = 0; i < 100; ++i)
      seeds.AddFile(b, b.Root(), "f" + std::to_string(1000 + i) + ".a", 0);
  });
  ok &= seeds.Write("imported_entries", [&](CImageBuilder& b) {
    CImageNode* old = b.Root().AddChild("Unknown", "old.txt;1", scrivo::EntryKind::File,
                                        scrivo::EntryOrigin::Imported);
    old->extent = 30;
    old->size = 5000;
    CImageNode* dir = b.Root().AddChild("Unknown", "nested", scrivo::EntryKind::Directory,
                                        scrivo::EntryOrigin::Imported);
    for (int level = 0; level < 10 && dir; ++level) dir = b.AddDirectoryEntry(*dir, "n");
  });
  fs::remove_all(sources);
  return ok ? 0 : 1;
}
