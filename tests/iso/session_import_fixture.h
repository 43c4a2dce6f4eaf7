#pragma once
// A builder that reads a disc served from memory, and the means to put
// previous sessions on that disc: sessions built by the real builder, or
// blocks made by hand.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "engine/iso/block_source.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"
#include "hand_made_disc.h"
#include "iso_test_support.h"
#include "tests/support/virtual_disc.h"

namespace isotest {

// The virtual disc as the image library reads it.
class DiscSource final : public scrivo::BlockSource {
 public:
  explicit DiscSource(testsupport::VirtualDisc& disc) : disc_(disc) {}
  bool ReadBlock(std::int32_t lba, std::span<std::uint8_t, scrivo::kBlockSize> block) override {
    return disc_.Read(lba, block);
  }

 private:
  testsupport::VirtualDisc& disc_;
};

// What a session's directory record says about one entry.
struct OnDisc {
  std::uint32_t extent;
  std::uint32_t size;
};

class SessionImportTest : public ::testing::Test {
 protected:
  SessionImportTest() {
    builder.Bind(&host);
  }

  // Builds a session at `origin` with the real builder and puts its
  // metadata blocks on the disc as its last session. Returns the builder
  // (for the session's records).
  scrivo::CImageBuilder& BurnSession(std::uint32_t origin,
                                     const std::function<void(scrivo::CImageBuilder&)>& fill) {
    auto& session = *sessions_.emplace_back(std::make_unique<scrivo::CImageBuilder>());
    session.Bind(&host);
    session.SetImageOrigin(origin);
    fill(session);
    EXPECT_TRUE(session.BuildImage());
    for (std::size_t i = 0; i < session.SectorList().size(); ++i) {
      disc.PutBlock(static_cast<std::int64_t>(origin + i), *session.SectorList()[i]);
    }
    disc.lastSessionStart = static_cast<std::int32_t>(origin);
    return session;
  }

  // A new file with `size` bytes of contents.
  void AddNewFile(scrivo::CImageBuilder& to, scrivo::CImageNode& parent, std::string_view name,
                  std::size_t size) {
    auto path = dir / ("src" + std::to_string(sources_++));
    WriteSource(path, size);
    ASSERT_TRUE(to.AddFileEntry(parent, name, path.string()));
  }

  // Imports the disc's last session into `into` as a multi-session burn
  // does: a disc without a session has nothing to import.
  bool ImportPreviousSession(scrivo::CImageBuilder& into) {
    return !disc.lastSessionStart ||
           into.ImportSession(source, *disc.lastSessionStart).outcome == scrivo::ImportOutcome::Imported;
  }
  bool ImportPreviousSession() { return ImportPreviousSession(builder); }

  // The entries of a session's Joliet root by stored name, as its records
  // give them.
  std::map<std::string, OnDisc> JolietRootOf(const scrivo::CImageBuilder& session) {
    std::map<std::string, OnDisc> entries;
    Record root = RootRecordOf(session, 17);
    for (const Record& r : Entries(ReadDirectory(session, root.extent, root.dataLength))) {
      std::string name;
      for (char16_t unit : JolietIdentifierText(r)) name.push_back(static_cast<char>(unit));
      entries[name] = {r.extent, r.dataLength};
    }
    return entries;
  }

  scrivo::CImageNode* Child(scrivo::CImageNode& parent, const std::string& name) {
    auto found = parent.children.find(name);
    return found == parent.children.end() ? nullptr : found->second.get();
  }

  std::vector<std::string> Names(const scrivo::CImageNode& parent) {
    std::vector<std::string> names;
    for (const auto& [name, node] : parent.children) names.push_back(name);
    return names;
  }

  testsupport::VirtualDisc disc;
  DiscSource source{disc};
  RecordingHost host;
  scrivo::CImageBuilder builder;
  TempDir dir;

 private:
  std::vector<std::unique_ptr<scrivo::CImageBuilder>> sessions_;
  int sources_ = 0;
};

}  // namespace isotest
