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
  ExpectReadersSee(DiscImage(), source.Path());
}

}  // namespace
}  // namespace e2e
