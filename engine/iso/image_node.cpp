#include "engine/iso/image_node.h"

#include <atomic>

#include "engine/iso/source_file.h"

namespace scrivo {
namespace {

constexpr std::string_view kVersionSuffix = ";1";  // ECMA-119 7.5.1 file version 1
// The size field of a directory record is 32 bits (ECMA-119 9.1.4).
constexpr std::uint64_t kLargestFileSize = 0xFFFFFFFFu;

std::atomic<std::int32_t> serialCounter{1};

}  // namespace

std::int32_t TakeSerialNumber() { return serialCounter.fetch_add(1); }

bool IsAcceptableEntryName(std::string_view name) {
  // An empty identifier, the names of a directory's own records and the path
  // separator would all make a record that no reader can resolve.
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

CImageNode::CImageNode() = default;

CImageNode* CImageNode::AddChild(std::string_view sourcePath, std::string_view name, EntryKind kind,
                                 EntryOrigin origin) {
  // Rejected before a node exists, so no serial number is taken.
  if (name.size() >= kNameLimit || !IsAcceptableEntryName(name)) return nullptr;
  std::unique_ptr<CImageNode> fresh = MakeEntry(*this, sourcePath, name, kind, origin);
  if (!fresh) return nullptr;

  auto existing = children.find(fresh->name);
  if (existing == children.end()) {
    std::string key = fresh->name;
    return children.emplace(std::move(key), std::move(fresh)).first->second.get();
  }
  existing->second->TakeOver(std::move(*fresh));
  return existing->second.get();
}

std::unique_ptr<CImageNode> CImageNode::MakeEntry(CImageNode& parent, std::string_view sourcePath,
                                                  std::string_view name, EntryKind kind,
                                                  EntryOrigin origin) {
  auto node = std::unique_ptr<CImageNode>(new CImageNode(Unlinked{}));
  node->sourcePath = sourcePath;
  node->name = name;
  node->isFile = kind == EntryKind::File;
  node->newFlag = origin == EntryOrigin::New;
  node->level = parent.level + 1;
  node->parent = &parent;
  node->serialNumber = TakeSerialNumber();
  if (origin == EntryOrigin::Imported) {
    node->located = true;  // its extent is the previous session's
  } else if (node->isFile && !node->CompleteNewFile()) {
    return nullptr;
  }
  return node;
}

bool CImageNode::CompleteNewFile() {
  std::optional<SourceFile> source = SourceFile::OpenExclusive(sourcePath);
  // A file of 4 GiB or more cannot be described by one directory record;
  // refusing it beats recording a truncated size.
  if (!source || source->Length() > kLargestFileSize) return false;
  size = static_cast<std::uint32_t>(source->Length());
  if (name.find('.') != std::string::npos) name.append(kVersionSuffix);
  return name.size() < kNameLimit;
}

void CImageNode::TakeOver(CImageNode&& fresh) {
  sourcePath = std::move(fresh.sourcePath);
  name = std::move(fresh.name);
  size = fresh.size;
  isFile = fresh.isFile;
  newFlag = fresh.newFlag;
  extent = fresh.extent;
  level = fresh.level;
  directoryNumber = fresh.directoryNumber;
  children = std::move(fresh.children);  // a replaced directory loses its contents
  located = fresh.located;
  serialNumber = fresh.serialNumber;
  parent = fresh.parent;
}

void CImageNode::ClearTree() { children.clear(); }

void CImageNode::RemoveEntriesFrom(std::string_view source) {
  for (auto it = children.begin(); it != children.end();) {
    if (it->second->sourcePath == source) {
      it = children.erase(it);
    } else {
      it->second->RemoveEntriesFrom(source);
      ++it;
    }
  }
}

std::string CImageNode::IsoName() const {
  std::string isoName = "_LNG_" + std::to_string(serialNumber) + ".csf";
  if (isFile) isoName.append(kVersionSuffix);
  return isoName;
}

}  // namespace scrivo
