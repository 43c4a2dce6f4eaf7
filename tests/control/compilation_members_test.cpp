// The control's compilation members and how the label reaches the image.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/text/codepage.h"

#include "tests/support/control_fixture.h"

namespace {

namespace fs = std::filesystem;
using platform::Variant;

class CompilationMembers : public testsupport::ControlFixture {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quillon-ctl-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "folder/sub");
    Write(dir / "report.txt", "report");
    Write(dir / "folder/a.txt", "a");
    Write(dir / "folder/sub/b.txt", "b");
  }
  void TearDown() override { fs::remove_all(dir); }
  static void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
  std::vector<std::string> RootNames() {
    std::vector<std::string> names;
    for (const auto& [name, child] : control().Image().Root().children) names.push_back(name);
    return names;
  }
  fs::path dir;
};

TEST_F(CompilationMembers, FilesGoToTheRootAndFoldersGiveTheirContents) {
  Invoke(scrivo::DISPID_ADDFILE, platform::InvokeKind::Method,
         {Variant::Bstr(u"report.txt"), Variant::Bstr(platform::NarrowToWide((dir / "report.txt").string()))});
  control().AddDirectory((dir / "folder").string() + "/");
  EXPECT_EQ(RootNames(), (std::vector<std::string>{"a.txt", "report.txt", "sub"}));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(CompilationMembers, RejectedEntriesAreReportedAndLeaveNoTrace) {
  control().AddFile("missing.txt", (dir / "missing.txt").string());
  control().AddFile(std::string(256, 'n'), (dir / "report.txt").string());
  control().AddDirectory((dir / "no-such-folder").string());
  EXPECT_TRUE(RootNames().empty());
  auto errors = Errors();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Probably the file name is incorrect or very long");
  EXPECT_EQ(errors[1], "Probably the file name is incorrect or very long");
}

TEST_F(CompilationMembers, FinishedEmptiesTheCompilationAndBlankFinishedKeepsIt) {
  control().AddFile("report.txt", (dir / "report.txt").string());
  control().PostJobMessage(scrivo::WM_BLANK_FINISHED, 0);
  Pump();
  EXPECT_EQ(RootNames().size(), 1u);
  control().PostJobMessage(scrivo::WM_BURN_FINISHED, 0);
  Pump();
  EXPECT_TRUE(RootNames().empty());
}

TEST_F(CompilationMembers, OnlyASetLabelReachesTheImage) {
  control().SetVolumeLabel("BACKUP");
  EXPECT_EQ(control().Image().VolumeLabel(), "BACKUP");
  control().SetVolumeLabel("MUCH TOO LONG LABEL");
  EXPECT_EQ(control().Image().VolumeLabel(), "BACKUP");
  EXPECT_EQ(control().VolumeLabel(), "MUCH TOO LONG LABEL");
  struct Bag final : platform::IPropertyBag {
    std::optional<Variant> Read(std::string_view) override { return Variant::Bstr(u"LOADED"); }
    void Write(std::string_view, const Variant&) override {}
  } bag;
  control().Load(bag);
  EXPECT_EQ(control().VolumeLabel(), "LOADED");
  EXPECT_EQ(control().Image().VolumeLabel(), "BACKUP");
}

}  // namespace
