#include "engine/iso/image_builder.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/source_file.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {

// Every new file is laid out afresh by each job; imported files keep the
// extents they have on the disc.
void UnlocateNewFiles(CImageNode& directory) {
  for (auto& [storedName, child] : directory.children) {
    if (child->IsNewFile()) child->located = false;
    if (child->IsDirectory()) UnlocateNewFiles(*child);
  }
}

void CollectNewFiles(CImageNode& directory, std::map<std::uint32_t, CImageNode*>& fileMap) {
  for (auto& [storedName, child] : directory.children) {
    // An empty file has nothing to stream and no block of its own: its
    // extent is the block of a file laid out after it, maybe one met later
    // by this walk (below the ISO 9660 depth limit), whose entry it must not
    // take.
    if (child->IsNewFile() && child->size > 0) fileMap[child->extent] = child.get();
    if (child->IsDirectory()) CollectNewFiles(*child, fileMap);
  }
}

template <class Visit>
void ForEachNewFile(const CImageNode& directory, const Visit& visit) {
  for (const auto& [storedName, child] : directory.children) {
    if (child->IsNewFile()) visit(*child);
    if (child->IsDirectory()) ForEachNewFile(*child, visit);
  }
}

std::uint64_t CountFolders(const CImageNode& directory) {
  std::uint64_t folders = 1;
  for (const auto& [storedName, child] : directory.children) {
    if (child->IsDirectory()) folders += CountFolders(*child);
  }
  return folders;
}

// 65542 -> "65,542"
std::string WithThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

CImageBuilder::CImageBuilder() { ResetImage(); }

CImageBuilder::~CImageBuilder() = default;

void CImageBuilder::Report(std::string_view text) {
  if (reports_ != nullptr) reports_->ReportError(text);
}

bool CImageBuilder::SetVolumeLabel(std::string_view label) {
  // Counted in characters (UTF-16 units), the unit of the Joliet volume
  // identifier, which holds 16 of them.
  if (platform::NarrowToWide(label).size() > kVolumeLabelLimit) return false;
  volumeLabel_ = label;
  return true;
}

std::size_t CImageBuilder::AppendBlock() {
  sectorList_.push_back(std::make_unique<ImageBlock>());  // value-initialised: all zero
  sectorCount_ = static_cast<std::uint32_t>(sectorList_.size());
  return sectorList_.size() - 1;
}

std::uint32_t CImageBuilder::NextBlockAddress() const {
  return imageOrigin_ + static_cast<std::uint32_t>(sectorList_.size());
}

bool CImageBuilder::BuildImage(const std::function<void(std::uint32_t)>& afterStep) {
  auto progress = [&](std::uint32_t perMille) {
    if (afterStep) afterStep(perMille);
  };
  // Blocks left from an earlier build would shift every address: a build
  // starts from the system area alone (ResetImage ends every job).
  if (sectorList_.size() != kSystemAreaBlocks) return false;
  if (!CheckFolderCount() || !CheckFileSizes() || !BuildVolumeDescriptors()) return false;
  progress(10);
  if (!BuildIsoDirectories()) return false;
  progress(20);
  if (!BuildIsoPathTables()) return false;
  progress(30);
  // The ISO 9660 extents of the directories are read by the step above
  // before the Joliet layout replaces them.
  if (!BuildJolietDirectories() || !BuildJolietPathTables() || !FitsAddressRange()) return false;
  progress(40);
  RelocateFileExtents();
  progress(50);
  CollectFiles();
  StoreVolumeSpaceSize();
  return true;
}

bool CImageBuilder::CheckFolderCount() {
  // Past the limit the path tables would number folders modulo 65,536 and
  // send readers to the wrong parents. The tree holds what a previous
  // session brought in as well.
  // The ISO 9660 tree holds one more where folders are too deep for it.
  PlanRelocation();
  const std::uint64_t folders = CountFolders(root_) + (relocationFolder_ ? 1 : 0);
  if (folders <= kFolderLimit) return true;
  Report("Too many folders for one disc: " + WithThousands(folders) + " (at most " +
         WithThousands(kFolderLimit) + ").");
  return false;
}

bool CImageBuilder::CheckFileSizes() {
  if (multiExtentFiles_) return true;
  bool fits = true;
  ForEachNewFile(root_, [&](const CImageNode& file) {
    if (file.size <= limits::kLargestSingleExtent) return;
    EntryRefusal refusal;
    refusal.kind = RefusalKind::FileTooLarge;
    refusal.path = file.sourcePath;
    refusal.name = file.name;
    refusal.value = file.size;
    refusal.limit = limits::kLargestSingleExtent;
    Report(refusal);
    fits = false;
  });
  return fits;
}

bool CImageBuilder::FitsAddressRange() const {
  return std::uint64_t{imageOrigin_} + sectorList_.size() + nextDataBlock_ <= kAddressLimit;
}

template <class Step>
bool CImageBuilder::RunStep(Step step, std::string_view failure) {
  // The layout's only failure is running out of memory; the steps that
  // name it report their own text.
  try {
    step();
    return true;
  } catch (const std::bad_alloc&) {
    if (!failure.empty()) Report(failure);
    return false;
  }
}

bool CImageBuilder::BuildIsoDirectories() {
  return RunStep([this] { BuildDirectories(ImageTree::Iso9660); });
}

bool CImageBuilder::BuildJolietDirectories() {
  return RunStep([this] { BuildDirectories(ImageTree::Joliet); },
                 "Unable to create file structure for Joliet in ISO image");
}

bool CImageBuilder::BuildIsoPathTables() {
  return RunStep([this] { BuildPathTables(ImageTree::Iso9660); });
}

bool CImageBuilder::BuildJolietPathTables() {
  return RunStep([this] { BuildPathTables(ImageTree::Joliet); });
}

void CImageBuilder::RelocateFileExtents() {
  sectorCount_ = static_cast<std::uint32_t>(sectorList_.size());
  const std::uint32_t dataAreaStart = imageOrigin_ + sectorCount_;
  for (const ExtentFieldRef& field : relocationList_) {
    std::uint8_t* at = BlockData(field.block) + field.offset;
    auto extent = LoadFrom<ecma119::BothEndian32>(at);
    extent.Set(extent.Value() + dataAreaStart);
    StoreAt(at, extent);
  }
}

void CImageBuilder::CollectFiles() {
  fileMap_.clear();
  CollectNewFiles(root_, fileMap_);
}

void CImageBuilder::StoreVolumeSpaceSize() {
  // ECMA-119 8.4.8: the blocks of this session only; imageOrigin is not added.
  for (std::size_t index : {primaryBlock_, supplementaryBlock_}) {
    if (index == 0) continue;
    auto descriptor = LoadFrom<ecma119::VolumeDescriptor>(BlockData(index));
    // BuildImage has made sure that the size fits the field.
    descriptor.volumeSpaceSize.Set(static_cast<std::uint32_t>(VolumeSpaceSize()));
    StoreAt(BlockData(index), descriptor);
  }
}

void CImageBuilder::ResetImage() {
  sectorList_.clear();
  relocationList_.clear();
  fileMap_.clear();
  sectorCount_ = 0;
  nextDataBlock_ = 0;
  imageOrigin_ = 0;
  isoTree_ = {};
  jolietTree_ = {};
  primaryBlock_ = supplementaryBlock_ = terminatorBlock_ = 0;
  volumeLabel_.clear();
  relocationFolder_.reset();
  movedFolders_.clear();
  movedSet_.clear();
  multiExtentFiles_ = false;
  for (std::uint32_t i = 0; i < kSystemAreaBlocks; ++i) AppendBlock();
}

ecma119::FileTime CurrentBurnTime() {
  // Reproducible builds' convention: a decimal count of seconds, in UTC.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (*end == '\0' && errno == 0) return {seconds, 0};
  }
  return LocalFileTime(std::time(nullptr));
}

bool CImageBuilder::BuildVolumeDescriptors() {
  UnlocateNewFiles(root_);
  burnTime_ = fixedBurnTime_.value_or(CurrentBurnTime());
  return RunStep([this] { AppendPrimaryDescriptor(); }, "Could not create PVD of ISO image") &&
         RunStep([this] { AppendSupplementaryDescriptor(); }, "Could not create SVD of ISO image") &&
         RunStep([this] { AppendTerminatorDescriptor(); }, "Could not create FVD of ISO image");
}

}  // namespace scrivo
