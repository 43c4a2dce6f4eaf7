// What a failed burn leaves of the compilation.

#include <gtest/gtest.h>

#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"
#include "platform/kernel/event.h"

namespace {

using scrivo::EntryKind;
using scrivo::EntryOrigin;

TEST(BurnFailure, EntriesReadBackFromTheDiscGoAndTheHostsStay) {
  scrivo::CImageBuilder builder;
  auto& root = builder.Root();
  ASSERT_NE(root.AddChild("/somewhere", "mine", EntryKind::Directory, EntryOrigin::New), nullptr);
  scrivo::CImageNode* old =
      root.AddChild(scrivo::kImportedSource, "old", EntryKind::Directory, EntryOrigin::New);
  ASSERT_NE(old, nullptr);
  ASSERT_NE(old->AddChild(scrivo::kImportedSource, "a.txt", EntryKind::File, EntryOrigin::Imported), nullptr);
  scrivo::CImageNode* mine = root.children.at("mine").get();
  ASSERT_NE(mine->AddChild(scrivo::kImportedSource, "b.txt", EntryKind::File, EntryOrigin::Imported), nullptr);

  platform::Event cancel(platform::Event::Reset::Auto);
  // No drive is bound: the burn fails before any command.
  EXPECT_FALSE(builder.BurnImage(scrivo::BurnMode::CdMultiSession, &cancel));

  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_TRUE(root.children.count("mine"));
  EXPECT_TRUE(mine->children.empty());
  EXPECT_EQ(builder.SectorList().size(), scrivo::CImageBuilder::kSystemAreaBlocks);
}

}  // namespace
