// A burn counts as burned only when the disc reads back with its session
// closed: a closing command the drive refused at every try fails the burn
// (a DVD-R that its flush left open gets its track and session closed),
// which then ends like any other failure ("Unable to burn image.", no
// Finished).

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

struct UnclosedSession {
  const char* medium;
  const char* faults;
  bool dvd;
};
void PrintTo(const UnclosedSession& c, std::ostream* out) { *out << c.medium << " with " << c.faults; }

class SessionLeftOpen : public BurnTest, public testing::WithParamInterface<UnclosedSession> {
 protected:
  TempFolder source;
};

TEST_P(SessionLeftOpen, FailsTheBurn) {
  UseWriters({GetParam().medium}, GetParam().faults);
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(GetParam().dvd ? BurnDvd() : BurnCd(false), JobEnd::Failed);
  auto errors = Errors();
  EXPECT_EQ(errors, std::vector<std::string>{"Unable to burn image."});
  EXPECT_EQ(DiagnosticTexts(), errors);
  for (const auto& name : EventNames()) EXPECT_NE(name, "Finished");
  EXPECT_EQ(ProgressEvents().back(), 90);
  EXPECT_FALSE(CompilationEmpty());
  EXPECT_EQ(Disc().sessions.at(0).at("closed"), "no");
}

INSTANTIATE_TEST_SUITE_P(Burns, SessionLeftOpen,
                         testing::Values(UnclosedSession{"cd-r", "fail=5B@1,fail=5B@2,fail=5B@3", false},
                                         UnclosedSession{"dvd-r", "fail=35@1,fail=5B@1,fail=5B@2,fail=5B@3,fail=5B@4,fail=5B@5,fail=5B@6", true}),
                         [](const auto& test) { return test.index == 0 ? "CdCloseRefused" : "DvdFlushAndClosesRefused"; });

}  // namespace
}  // namespace e2e
