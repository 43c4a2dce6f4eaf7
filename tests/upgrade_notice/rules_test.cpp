// What the library reads from the pages and where it saves a download.

#include <QFile>

#include "app/upgrade_notice/download_target.h"
#include "app/upgrade_notice/upgrade_pages.h"
#include "upgrade_fixture.h"

namespace {

using namespace novaleaf;

TEST(UpgradePages, TheInstallerIsTheFirstDownloadLinkToAWebAddress) {
  const QUrl page("http://h:8000/home/download/quillonburner-pro.html");
  struct Case {
    const char* html;
    const char* installer;  // empty: none
  } cases[] = {
      {R"(<a href="x.html">more</a> <A DOWNLOAD HREF="files/setup.run">get</A>)",
       "http://h:8000/home/download/files/setup.run"},
      {R"(<a download href='setup.run?v=2&amp;k=1' class=x>)", "http://h:8000/home/download/setup.run?v=2&k=1"},
      {R"(<a class="x" href=/pro/setup.run download>)", "http://h:8000/pro/setup.run"},
      {R"(<a download="pro.run" href="https://mirror.example/setup.run">)", "https://mirror.example/setup.run"},
      {R"(<a href="setup.run" data-download="1">)", ""},
      {R"(<a download href="file:///etc/passwd">)", ""},
      {R"x(<a download href="javascript:void(0)">)x", ""},
      {R"(<a download>no target</a>)", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallerLink(c.html, page).toString(), c.installer) << c.html;
  }
  const QString announcement =
      "<html><head><TITLE>Quillon &amp; Pro</TITLE></head><body><h1>x</h1>"
      "<p class=lead>Faster\n   <b>burns</b>.</p><p>second</p>";
  EXPECT_EQ(PageTitle(announcement), "Quillon & Pro");
  EXPECT_EQ(FirstParagraph(announcement), "Faster burns.");
  EXPECT_EQ(PageTitle("<p>no title</p>"), "");
}

TEST(UpgradePages, AddressesArePlacedOnTheConfiguredServer) {
  struct Case {
    const char* server;
    const char* address;
    const char* page;
  } cases[] = {
      {"http://h:8000", "/home/download/emberly.html", "http://h:8000/home/download/emberly.html"},
      {"https://h/mirror/", "/home/download/emberly.html", "https://h/mirror/home/download/emberly.html"},
      {"http://h", "http://elsewhere.example/home/a.html?x=1#top", "http://h/home/a.html?x=1"},
      {"http://h", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PageOnServer(QUrl(c.server), c.address).toString(), c.page) << c.address;
  }
}

TEST_F(UpgradeFixture, DownloadsAreNamedAfterTheInstallerAndNeverReplaceAFile) {
  const char* names[][2] = {
      {"c:/emberlysetup.exe", "emberlysetup.exe"},
      {"C:\\Program Files\\setup.exe", "setup.exe"},
      {"../../.profile", "profile"},
      {"c:/", "quillon-upgrade"},
      {"", "quillon-upgrade"},
  };
  for (const auto& [path, name] : names) EXPECT_EQ(InstallerFileName(path), name) << path;

  EXPECT_EQ(DownloadFolder(), Home() + "/Downloads");
  const QString folder = Home();
  EXPECT_EQ(FreeDownloadPath(folder, "setup.exe"), folder + "/setup.exe");
  QFile(folder + "/setup.exe").open(QIODevice::WriteOnly);
  QFile(folder + "/setup (1).exe.part").open(QIODevice::WriteOnly);
  EXPECT_EQ(FreeDownloadPath(folder, "setup.exe"), folder + "/setup (2).exe");
  QFile(folder + "/README").open(QIODevice::WriteOnly);
  EXPECT_EQ(FreeDownloadPath(folder, "README"), folder + "/README (1)");
}

}  // namespace
