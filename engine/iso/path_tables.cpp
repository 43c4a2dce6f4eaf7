// The type L and type M path tables of one tree (ECMA-119 6.9, 9.4):
// directories by level, then by parent number, then in the order listed.

#include <deque>
#include <vector>

#include "engine/iso/directory_records.h"
#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

constexpr std::uint8_t kRootIdentifier[1] = {0x00};

class PathTableWriter {
 public:
  void Add(std::span<const std::uint8_t> identifier, std::uint32_t extent,
           std::uint16_t parentNumber) {
    Append(little_, MakeRecord<ecma119::PathTableRecordL>(identifier, extent, parentNumber),
           identifier);
    Append(big_, MakeRecord<ecma119::PathTableRecordM>(identifier, extent, parentNumber),
           identifier);
  }
  const std::vector<std::uint8_t>& TypeL() const { return little_; }
  const std::vector<std::uint8_t>& TypeM() const { return big_; }

 private:
  template <class Record>
  static Record MakeRecord(std::span<const std::uint8_t> identifier, std::uint32_t extent,
                           std::uint16_t parentNumber) {
    Record record{};
    record.identifierLength = static_cast<std::uint8_t>(identifier.size());
    record.extent.Set(extent);
    record.parentNumber.Set(parentNumber);
    return record;
  }

  template <class Record>
  static void Append(std::vector<std::uint8_t>& table, const Record& record,
                     std::span<const std::uint8_t> identifier) {
    std::size_t at = table.size();
    // An odd identifier is followed by one zero byte (ECMA-119 9.4.6).
    table.resize(at + sizeof(Record) + identifier.size() + identifier.size() % 2);
    StoreAt(table.data() + at, record);
    std::copy(identifier.begin(), identifier.end(), table.data() + at + sizeof(Record));
  }

  std::vector<std::uint8_t> little_;
  std::vector<std::uint8_t> big_;
};

}  // namespace

void CImageBuilder::BuildPathTables(ImageTree tree) {
  // Breadth-first numbering: a directory's children are numbered when the
  // directory is taken from the queue, which gives level order and, within
  // a level, the order of the parents' numbers. The ISO 9660 tree's
  // folders are where that tree lists them (a moved folder in the
  // relocation folder).
  PathTableWriter tables;
  root_.directoryNumber = 1;
  tables.Add(kRootIdentifier, Extents(tree).rootExtent, 1);
  std::uint16_t nextNumber = 2;
  std::deque<CImageNode*> pending{&root_};
  while (!pending.empty()) {
    CImageNode& directory = *pending.front();
    pending.pop_front();
    for (CImageNode* child : Listing(directory, tree)) {
      if (!LaidOutIn(directory, *child, tree)) continue;
      tables.Add(EntryIdentifier(*child, tree), child->extent, directory.directoryNumber);
      child->directoryNumber = nextNumber++;
      pending.push_back(child);
    }
  }
  const std::uint32_t tableBytes = static_cast<std::uint32_t>(tables.TypeL().size());
  const std::uint32_t tableBlocks = BlocksFor(tableBytes);

  auto appendTable = [&](const std::vector<std::uint8_t>& table) {
    std::uint32_t location = NextBlockAddress();
    for (std::uint32_t i = 0; i < tableBlocks; ++i) {
      std::size_t block = AppendBlock();
      std::size_t from = i * kBlockSize;
      std::size_t count = std::min(kBlockSize, table.size() - from);
      std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(from), count, BlockData(block));
    }
    return location;
  };
  std::uint32_t typeL = appendTable(tables.TypeL());
  std::uint32_t typeM = appendTable(tables.TypeM());

  std::size_t descriptorBlock = DescriptorOf(tree);
  if (descriptorBlock == 0) return;
  auto descriptor = LoadFrom<ecma119::VolumeDescriptor>(BlockData(descriptorBlock));
  descriptor.pathTableSize.Set(tableBytes);
  descriptor.typeLPathTable.Set(typeL);
  descriptor.optionalTypeLPathTable.Set(0);
  descriptor.typeMPathTable.Set(typeM);
  descriptor.optionalTypeMPathTable.Set(0);
  StoreAt(BlockData(descriptorBlock), descriptor);
}

}  // namespace scrivo
