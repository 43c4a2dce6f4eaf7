// The three volume descriptors of every image: primary (ECMA-119 8.4),
// Joliet supplementary (ECMA-119 8.5 with the Joliet escape sequence) and
// the set terminator (ECMA-119 8.3).

#include <string>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/joliet_text.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {

using ecma119::FilledWith;
using ecma119::TextField;
using ecma119::VolumeDescriptor;

constexpr std::uint8_t kSpace = 0x20;
// Joliet level 3 (UCS-2 level 3): escape sequence "%/E".
constexpr std::string_view kJolietEscape = "%/E";

// Creation, modification and effective date: the burn's time (what
// identifies a volume to those who look for one by its dates); the volume
// does not expire.
void SetDates(VolumeDescriptor& descriptor, ecma119::FileTime burnTime) {
  descriptor.creationDate = descriptor.modificationDate = descriptor.effectiveDate =
      ecma119::EncodeVolumeDate(burnTime);
  descriptor.expirationDate = ecma119::kUnspecifiedVolumeDate;
}

template <std::size_t N>
TextField<N> Ucs2Spaces() {
  TextField<N> field{};
  for (std::size_t i = 1; i < N; i += 2) field[i] = kSpace;  // 00h 20h pairs
  return field;
}

template <std::size_t N>
void WriteUcs2(TextField<N>& field, std::u16string_view units) {
  if (units.size() * 2 > N) units = units.substr(0, N / 2);
  PutUcs2BigEndian(field.data(), units);
}

// The label's narrow bytes that fit the 32-byte primary volume identifier,
// cut only between characters.
std::string PrimaryVolumeIdentifier(const std::string& label, std::size_t limit) {
  if (label.size() <= limit) return label;
  std::u16string units = platform::NarrowToWide(label);
  for (std::size_t count = units.size(); count > 0; --count) {
    bool splitsPair = units[count - 1] >= 0xD800 && units[count - 1] <= 0xDBFF;
    if (splitsPair) continue;
    std::string prefix = platform::WideToNarrow(std::u16string_view(units).substr(0, count));
    if (prefix.size() <= limit) return prefix;
  }
  return {};
}

VolumeDescriptor DescriptorHeader(std::uint8_t type) {
  VolumeDescriptor descriptor{};
  descriptor.type = type;
  ecma119::WriteText(descriptor.standardIdentifier, ecma119::kStandardIdentifier);
  descriptor.version = 1;
  return descriptor;
}

// Fields both descriptors carry with the same values.
void SetCommonNumbers(VolumeDescriptor& descriptor) {
  descriptor.volumeSetSize.Set(1);
  descriptor.volumeSequenceNumber.Set(1);
  descriptor.logicalBlockSize.Set(kBlockSize);
  descriptor.fileStructureVersion = 1;
}

VolumeDescriptor PrimaryDescriptor(const std::string& label, ecma119::FileTime burnTime) {
  VolumeDescriptor pvd = DescriptorHeader(ecma119::kPrimaryDescriptorType);
  pvd.systemIdentifier = FilledWith<32>(kSpace);
  pvd.volumeIdentifier = FilledWith<32>(kSpace);
  ecma119::WriteText(pvd.volumeIdentifier, PrimaryVolumeIdentifier(label, 32));
  SetCommonNumbers(pvd);
  pvd.volumeSetIdentifier = FilledWith<128>(kSpace);
  pvd.publisherIdentifier = FilledWith<128>(kSpace);
  pvd.dataPreparerIdentifier = FilledWith<128>(kSpace);
  pvd.applicationIdentifier = FilledWith<128>(kSpace);
  ecma119::WriteText(pvd.applicationIdentifier, kApplicationIdentifier);
  pvd.copyrightFileIdentifier = FilledWith<37>(kSpace);
  pvd.abstractFileIdentifier = FilledWith<37>(kSpace);
  pvd.bibliographicFileIdentifier = FilledWith<37>(kSpace);
  SetDates(pvd, burnTime);
  return pvd;
}

VolumeDescriptor SupplementaryDescriptor(const std::string& label, ecma119::FileTime burnTime) {
  VolumeDescriptor svd = DescriptorHeader(ecma119::kSupplementaryDescriptorType);
  svd.systemIdentifier = Ucs2Spaces<32>();
  svd.volumeIdentifier = Ucs2Spaces<32>();
  WriteUcs2(svd.volumeIdentifier, platform::NarrowToWide(label));
  ecma119::WriteText(svd.escapeSequences, kJolietEscape);
  SetCommonNumbers(svd);
  svd.volumeSetIdentifier = Ucs2Spaces<128>();
  svd.publisherIdentifier = Ucs2Spaces<128>();
  svd.dataPreparerIdentifier = Ucs2Spaces<128>();
  WriteUcs2(svd.applicationIdentifier, platform::NarrowToWide(kApplicationIdentifier));
  // 18 UCS-2 spaces and a final zero byte in each 37-byte field.
  svd.copyrightFileIdentifier = svd.abstractFileIdentifier = svd.bibliographicFileIdentifier =
      Ucs2Spaces<37>();
  SetDates(svd, burnTime);
  return svd;
}

}  // namespace

void CImageBuilder::AppendPrimaryDescriptor() {
  primaryBlock_ = AppendBlock();
  StoreAt(BlockData(primaryBlock_), PrimaryDescriptor(volumeLabel_, burnTime_));
}

void CImageBuilder::AppendSupplementaryDescriptor() {
  supplementaryBlock_ = AppendBlock();
  StoreAt(BlockData(supplementaryBlock_), SupplementaryDescriptor(volumeLabel_, burnTime_));
}

void CImageBuilder::AppendTerminatorDescriptor() {
  terminatorBlock_ = AppendBlock();
  std::uint8_t* block = BlockData(terminatorBlock_);
  block[0] = ecma119::kTerminatorDescriptorType;
  std::copy(ecma119::kStandardIdentifier.begin(), ecma119::kStandardIdentifier.end(), block + 1);
  block[6] = 1;
}

}  // namespace scrivo
