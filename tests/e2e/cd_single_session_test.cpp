// A single-session burn of a CD-R: the disc is closed afterwards and every
// reader finds the source folder's names and bytes on it.

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

class CdSingleSession : public BurnTest {};

TEST_F(CdSingleSession, BurnsTheFolderAndClosesTheDisc) {
  UseWriters({"cd-r"});
  TempFolder source;
  WriteSampleTree(source.Path(), "A");
  SetLabel("SINGLE");
  BurnFolderOnCd(source.Path(), false);

  DiscRecord disc = Disc();
  ASSERT_EQ(disc.sessions.size(), 1u);
  EXPECT_EQ(disc.sessions[0].at("closed"), "yes");
  EXPECT_EQ(disc.sessions[0].at("next"), "none");
  EXPECT_TRUE(CompilationEmpty());
  // The control sees the disc as the writer reports it now.
  SelectWriter(0);
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKCLOSED), platform::Variant::Bool(true));
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKBLANK), platform::Variant::Bool(false));
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(CdSingleSession, SourceRemovedAfterItWasAddedIsBurnedAsZeros) {
  UseWriters({"cd-r"});
  TempFolder source, expected;
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  const fs::path gone = source / "block-and-one-A.bin";
  fs::remove(gone);
  fs::copy(source.Path(), expected.Path(), fs::copy_options::recursive);
  WriteSparseFile(expected / "block-and-one-A.bin", 2049);
  BurnFolderOnCd(source.Path(), false);
  ExpectReadersSee(DiscImage(), expected.Path());
}

}  // namespace
}  // namespace e2e
