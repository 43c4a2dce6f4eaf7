// The names entries carry on the disc: readable 8.3 ISO 9660 names, Joliet
// names as given where readers can hold them, both unique in their folder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/iso/disc_names.h"
#include "iso_test_support.h"

namespace isotest {
namespace {

TEST(DiscNames, IsoNamesAreEightThreeDCharacters) {
  struct Case {
    const char* name;
    bool isFile;
    const char* iso;
  };
  const Case cases[] = {
      {"README.txt", true, "README.TXT;1"},
      {"README", true, "README.;1"},
      {".profile", true, "_PROFILE.;1"},
      {"a.b.c", true, "A_B.C;1"},
      {"Long File Name Here.jpeg", true, "LONG_FIL.JPE;1"},
      {"caf\xC3\xA9.txt", true, "CAF_.TXT;1"},           // one "_" a character
      {"\xF0\x9F\x98\x80.mp3", true, "_.MP3;1"},          // a surrogate pair too
      {"caf\xE9.txt", true, "CAF_.TXT;1"},                // a byte that is no UTF-8
      {"...", true, "__.;1"},
      {"trailing.", true, "TRAILING.;1"},
      {"semi;1", true, "SEMI_1.;1"},
      {"dir;1", false, "DIR_1"},
      {"my.folder", false, "MY_FOLDE"},
  };
  for (const Case& c : cases) EXPECT_EQ(scrivo::IsoFormOf(c.name, c.isFile), c.iso) << c.name;
}

TEST(DiscNames, JolietFormsKeepTheNameWhereJolietCanHoldIt) {
  const std::u16string pair = u"\U0001F600";
  struct Case {
    std::u16string name;
    std::u16string joliet;
  };
  const Case cases[] = {
      {u"semi;1", u"semi_1"},
      {u"trailing..", u"trailing.."},
      {u"...", u"..."},
      {std::u16string(103, u'x'), std::u16string(103, u'x')},
      {std::u16string(104, u'x'), std::u16string(103, u'x')},
      {std::u16string(200, u'y') + u".jpeg", std::u16string(98, u'y') + u".jpeg"},
      {std::u16string(97, u'z') + pair + pair + u".txt", std::u16string(97, u'z') + pair + u".txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(scrivo::JolietFormOf(c.name), c.joliet) << c.name.size();
}

TEST(DiscNames, NamesAreUniqueInTheirFolderAsReadersShowThem) {
  TempDir dir;
  WriteSource(dir / "f", 1);
  scrivo::CImageBuilder builder;
  const std::string longA = std::string(200, 'a');
  struct Case {
    std::string name;
    std::string iso;
    std::u16string joliet;
    bool folder = false;
  };
  const std::vector<Case> cases = {
      {"...", "__.;1", u"..."},
      {"README.txt", "README.TXT;1", u"README.txt"},
      {longA + "1.txt", "AAAAAAAA.TXT;1", std::u16string(99, u'a') + u".txt"},
      {longA + "2.txt", "AAAAAAA1.TXT;1", std::u16string(97, u'a') + u"~1.txt"},
      {"NOTES", "NOTES", u"NOTES", true},  // a folder, listed as a file NOTES.;1 is
      {"notes", "NOTES1.;1", u"notes"},
      {"notes;1", "NOTES_1.;1", u"notes_1"},
      {"notes_1", "NOTES_11.;1", u"notes_1~1"},
      {"readme.TXT", "README1.TXT;1", u"readme.TXT"},
      {"trailing", "TRAILING.;1", u"trailing"},
      {"trailing.", "TRAILIN1.;1", u"trailing.~1"},  // some readers drop one trailing "."
      {"trailing..", "TRAILIN2.;1", u"trailing.."},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.folder ? builder.AddDirectoryEntry(builder.Root(), c.name, dir.Path().string()) != nullptr
                         : builder.AddFileEntry(builder.Root(), c.name, (dir / "f").string()));
  }
  scrivo::AssignDiscNames(builder.Root());
  for (const Case& c : cases) {
    const scrivo::CImageNode& entry = *builder.Root().children.at(c.name);
    EXPECT_EQ(entry.isoName, c.iso) << c.name;
    EXPECT_EQ(entry.jolietIdentifier, c.joliet) << c.name;
  }
}

}  // namespace
}  // namespace isotest
