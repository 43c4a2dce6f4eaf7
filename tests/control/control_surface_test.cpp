// The control's surface: its member table, state before and after
// InitControl, the volume label, the window messages and their events,
// persistence, drawing and the about box.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/kernel/clock.h"
#include "tests/support/aspi_double.h"
#include "tests/support/control_fixture.h"

namespace {

using platform::InvokeKind;
using platform::Variant;
using testsupport::FiredEvent;

class ControlSurface : public testsupport::ControlFixture {};

TEST_F(ControlSurface, MemberTableHasTheFixedIdsAndNothingAtFifteen) {
  const auto& desc = scrivo::DispatchInterfaceDesc();
  std::set<platform::DISPID> ids;
  for (const auto& m : desc.members) ids.insert(m.id);
  std::set<platform::DISPID> expected{-552};
  for (int id = 1; id <= 28; ++id) {
    if (id != 15) expected.insert(id);
  }
  expected.insert({30, 31, 32});
  expected.insert({34, 35, 36});  // the image file members
  expected.insert(37);            // KeepLinks
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(desc.FindByName("VerifyAfterBurn")->id, 31);
  EXPECT_EQ(desc.FindByName("VerifyDisc")->id, 32);
  EXPECT_EQ(desc.FindByName("KeepLinks")->id, 37);
  EXPECT_EQ(desc.FindByName("VolumeLabel")->id, 14);
  EXPECT_EQ(desc.FindByName("AboutBox")->id, -552);
  EXPECT_EQ(desc.FindByName("CloseSession")->id, 28);
  EXPECT_EQ(desc.FindByName("SetDvdWriteSpeed")->id, 30);
  EXPECT_TRUE(desc.hidden);
  EXPECT_TRUE(control().Dispatch().IsComplete());
  const auto& events = scrivo::EventInterfaceDesc();
  EXPECT_EQ(events.FindByName("Progress")->id, 1);
  EXPECT_EQ(events.FindByName("Finished")->id, 2);
  EXPECT_EQ(events.FindByName("BlankFinished")->id, 3);
  EXPECT_EQ(events.FindByName("CloseFinished")->id, 4);
  EXPECT_EQ(events.FindByName("ImageSaved")->id, 5);
  EXPECT_EQ(scrivo::ScrivoTypeLib().name, "SCRIVOLib");
}

TEST_F(ControlSurface, BeforeInitControlDeviceMembersAnswerZeroAndSendNothing) {
  testsupport::AspiDouble aspi;
  Variant result;
  ASSERT_EQ(Invoke(scrivo::DISPID_MEDIACOUNT, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::I2(0));
  ASSERT_EQ(Invoke(scrivo::DISPID_CDWRITERUNITREADY, InvokeKind::Method, {}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::Bool(false));
  EXPECT_EQ(Invoke(scrivo::DISPID_EJECTDISK, InvokeKind::Method, {}), platform::S_OK);
  EXPECT_EQ(Invoke(scrivo::DISPID_SETCURRENTDEVICE, InvokeKind::Method, {Variant::I4(0)}), platform::S_OK);
  EXPECT_TRUE(aspi.Requests().empty());
  ASSERT_EQ(Invoke(scrivo::DISPID_MEDIADESC, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::Bstr(u""));
  for (platform::DISPID id : {scrivo::DISPID_ISDISKBLANK, scrivo::DISPID_ISCDRWRITESUPPORT,
                              scrivo::DISPID_ISREADDVDSUPPORT}) {
    ASSERT_EQ(Invoke(id, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
    EXPECT_EQ(result, Variant::Bool(false));
  }
}

TEST_F(ControlSurface, InitControlWithoutTheAspiLayerStaysUninitialised) {
  platform::testing::SetSearchDirectory("/nonexistent");
  Invoke(scrivo::DISPID_INITCONTROL, InvokeKind::Method, {});
  platform::testing::SetSearchDirectory(std::nullopt);
  EXPECT_FALSE(control().Initialized());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "WNASPI32.DLL library not found");
  EXPECT_EQ(Errors(), std::vector<std::string>{"Failed to initialize MMC core engine"});
}

TEST_F(ControlSurface, InitControlBindsTheLayerAndCanBeRepeated) {
  testsupport::AspiDouble aspi;
  control().InitControl();
  EXPECT_TRUE(control().Initialized());
  EXPECT_EQ(control().Drive().multiSessionField, 3);
  control().Drive().multiSessionField = 0;
  control().InitControl();
  EXPECT_EQ(control().Drive().multiSessionField, 3);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ControlSurface, CDWriterUnitReadyAsksTheSelectedWriter) {
  testsupport::AspiDouble aspi;
  control().InitControl();
  aspi.Clear();
  EXPECT_TRUE(control().CDWriterUnitReady());
  auto sent = aspi.Commands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Opcode(), 0x00);
  aspi.SetResponder([](const auto&) {
    testsupport::Reply reply;
    reply.status = SS_ERR;
    return reply;
  });
  EXPECT_FALSE(control().CDWriterUnitReady());
}

TEST_F(ControlSurface, VolumeLabelOfFifteenCharactersIsTakenAndSixteenRejected) {
  Variant result;
  ASSERT_EQ(Invoke(scrivo::DISPID_VOLUMELABEL, InvokeKind::PropertyPut, {Variant::Bstr(u"FIFTEEN_CHARS_1")}),
            platform::S_OK);
  EXPECT_TRUE(Errors().empty());
  ASSERT_EQ(Invoke(scrivo::DISPID_VOLUMELABEL, InvokeKind::PropertyPut, {Variant::Bstr(u"SIXTEEN_CHARS_12")}),
            platform::S_OK);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Invalid volume name"});
  // The property keeps the rejected text.
  ASSERT_EQ(Invoke(scrivo::DISPID_VOLUMELABEL, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
  EXPECT_EQ(result, Variant::Bstr(u"SIXTEEN_CHARS_12"));
  EXPECT_TRUE(control().IsDirty());
}

TEST_F(ControlSurface, ReadOnlyPropertiesRefuseASet) {
  for (platform::DISPID id = 1; id <= 13; ++id) {
    EXPECT_EQ(Invoke(id, InvokeKind::PropertyPut, {Variant::I2(3)}), platform::CTL_E_SETNOTSUPPORTED) << id;
  }
  EXPECT_EQ(Invoke(15, InvokeKind::Method, {}), platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(scrivo::DISPID_ADDFILE, InvokeKind::Method, {Variant::Bstr(u"a")}),
            platform::DISP_E_BADPARAMCOUNT);
}

TEST_F(ControlSurface, ProgressMessagesBecomeEventsInWholePercent) {
  for (std::uintptr_t wParam : {0u, 5u, 1000u, 375u}) control().PostJobMessage(scrivo::WM_JOB_PROGRESS, wParam);
  EXPECT_TRUE(sink.events.empty());  // only the host's loop raises events
  Pump();
  std::vector<FiredEvent> expected{{scrivo::EVENTID_PROGRESS, {Variant::I2(0)}},
                                   {scrivo::EVENTID_PROGRESS, {Variant::I2(100)}},
                                   {scrivo::EVENTID_PROGRESS, {Variant::I2(37)}}};
  EXPECT_EQ(sink.events, expected);
}

TEST_F(ControlSurface, FinishMessagesRaiseTheirEventsInPostOrder) {
  control().PostJobMessage(scrivo::WM_BLANK_FINISHED, 0);
  control().PostJobMessage(scrivo::WM_JOB_PROGRESS, 1000);
  control().PostJobMessage(scrivo::WM_BURN_FINISHED, 0);
  platform::PostMessage(control().Window(), 1234, 0, 0);  // not the control's: ignored
  Pump();
  std::vector<FiredEvent> expected{{scrivo::EVENTID_BLANKFINISHED, {}},
                                   {scrivo::EVENTID_PROGRESS, {Variant::I2(100)}},
                                   {scrivo::EVENTID_FINISHED, {}}};
  EXPECT_EQ(sink.events, expected);
}

class MapBag final : public platform::IPropertyBag {
 public:
  std::optional<Variant> Read(std::string_view name) override {
    auto it = values.find(std::string(name));
    return it == values.end() ? std::nullopt : std::optional<Variant>(it->second);
  }
  void Write(std::string_view name, const Variant& value) override { values[std::string(name)] = value; }
  std::map<std::string, Variant> values;
};

TEST_F(ControlSurface, PersistenceKeepsTheLabelAtVersionOneZero) {
  control().SetVolumeLabel("BACKUP");
  MapBag bag;
  control().Save(bag, true);
  EXPECT_EQ(bag.values["_Version"], Variant::I4(0x00010000));
  EXPECT_EQ(bag.values["VolumeLabel"], Variant::Bstr(u"BACKUP"));
  EXPECT_FALSE(control().IsDirty());

  control().InitNew();
  EXPECT_EQ(control().VolumeLabel(), "");
  control().Load(bag);
  EXPECT_EQ(control().VolumeLabel(), "BACKUP");
  MapBag empty;
  control().Load(empty);
  EXPECT_EQ(control().VolumeLabel(), "");
}

struct RecordingCanvas final : platform::Canvas {
  void FillRect(const platform::Rect& rect, platform::Color color) override { fills.push_back({rect, color}); }
  void DrawCenteredText(const platform::Rect& rect, const std::string& text, platform::Color color) override {
    texts.push_back({rect, text, color});
  }
  struct Fill {
    platform::Rect rect;
    platform::Color color;
  };
  struct Text {
    platform::Rect rect;
    std::string text;
    platform::Color color;
  };
  std::vector<Fill> fills;
  std::vector<Text> texts;
};

struct Site final : platform::IControlSite {
  bool AmbientUserMode() override { return userMode; }
  void OnControlPropertyChanged(platform::DISPID id) override { changed.push_back(id); }
  bool userMode = true;
  std::vector<platform::DISPID> changed;
};

TEST_F(ControlSurface, RunModeShrinksTheWindowAndDesignModeDrawsTheCaption) {
  Site site;
  control().SetClientSite(&site);
  platform::SetWindowRect(control().Window(), {40, 50, 120, 30});
  RecordingCanvas canvas;
  control().Draw(canvas, {0, 0, 120, 30});
  EXPECT_EQ(platform::GetWindowRect(control().Window()), (platform::Rect{40, 50, 1, 1}));
  EXPECT_TRUE(canvas.fills.empty());
  EXPECT_TRUE(canvas.texts.empty());

  site.userMode = false;
  control().Draw(canvas, {0, 0, 120, 30});
  ASSERT_EQ(canvas.fills.size(), 1u);
  EXPECT_EQ(canvas.fills[0].color, 0u);
  ASSERT_EQ(canvas.texts.size(), 1u);
  EXPECT_EQ(canvas.texts[0].text, "Scrivo ActiveX");
  EXPECT_EQ(canvas.texts[0].color, platform::RGB(255, 0, 0));
  control().SetClientSite(nullptr);
}

TEST_F(ControlSurface, ALabelSetInDesignModeNotifiesTheContainer) {
  Site site;
  control().SetClientSite(&site);
  control().SetVolumeLabel("RUN");
  EXPECT_TRUE(site.changed.empty());
  site.userMode = false;
  control().SetVolumeLabel("DESIGN");
  EXPECT_EQ(site.changed, std::vector<platform::DISPID>{14});
  control().SetClientSite(nullptr);
}

TEST_F(ControlSurface, AboutBoxShowsTheControlsNameAndVersion) {
  Invoke(platform::DISPID_ABOUTBOX, InvokeKind::Method, {});
  ASSERT_EQ(ui.aboutBoxes.size(), 1u);
  EXPECT_EQ(ui.aboutBoxes[0].title, "About Scrivo Control");
  EXPECT_EQ(ui.aboutBoxes[0].text, "Scrivo ActiveX Control, Version 2.0");
  EXPECT_EQ(ui.aboutBoxes[0].buttonText, "OK");
}

TEST_F(ControlSurface, AJobThatCannotGetAThreadLeavesTheControlIdle) {
  platform::testing::FailNextThreadStart();
  control().Blank(true);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Unable to create thread"});
  EXPECT_FALSE(control().Busy());
}

}  // namespace

namespace {

class Jobs : public testsupport::ControlFixture {};

TEST_F(Jobs, ADvdFormatThatCannotGetAThreadSaysNothing) {
  platform::testing::FailNextThreadStart();
  control().BlankDVD();
  EXPECT_TRUE(Errors().empty());
  EXPECT_FALSE(control().Busy());
}

}  // namespace

namespace {

class Diagnostics : public testsupport::ControlFixture {
 protected:
  void SetUp() override {
    control().FindConnectionPoint(scrivo::ids::kDiagnosticsInterface,
                                  reinterpret_cast<platform::IConnectionPoint**>(point.Out()));
    ASSERT_TRUE(point);
    point->Advise(&diagnostics, &cookie);
  }
  void TearDown() override { point->Unadvise(cookie); }
  platform::ComPtr<platform::IConnectionPoint> point;
  testsupport::RecordingSink diagnostics;
  std::uint32_t cookie = 0;
};

// The events with their first argument only (JobFailed's job).
std::vector<FiredEvent> FirstArguments(std::vector<FiredEvent> events) {
  for (FiredEvent& event : events) event.args.resize(std::min<std::size_t>(event.args.size(), 1));
  return events;
}

TEST_F(Diagnostics, FailureTextsAndFailedJobsReachTheHostThreadInOrder) {
  control().SetVolumeLabel("A LABEL FAR TOO LONG");
  control().BlankDVD();
  // The worker's notices wait for the host's loop.
  for (int i = 0; i < 2000 && control().Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(diagnostics.events.empty());
  Pump();
  std::vector<FiredEvent> expected{
      {scrivo::DIAGID_ENGINEERROR, {Variant::Bstr(u"Invalid volume name")}},
      {scrivo::DIAGID_JOBFAILED, {Variant::I2(static_cast<std::int16_t>(scrivo::JobKind::DvdFormat))}}};
  EXPECT_EQ(FirstArguments(diagnostics.events), expected);
  // JobFailed also says why: the step and the reason, here a format the
  // drive never finished.
  ASSERT_EQ(diagnostics.events.back().args.size(), 12u);
  EXPECT_EQ(diagnostics.events.back().args[2], Variant::Bstr(u"format"));
  EXPECT_TRUE(sink.events.empty());  // the event interface stays as it is
}

// A job that gets no thread ends at once: without JobFailed a host would
// wait for its event forever.
TEST_F(Diagnostics, AJobThatCannotGetAThreadIsReportedAsFailed) {
  const std::pair<void (*)(scrivo::CScrivoCtrl&), scrivo::JobKind> jobs[] = {
      {[](scrivo::CScrivoCtrl& c) { c.BurnCDData(false); }, scrivo::JobKind::Burn},
      {[](scrivo::CScrivoCtrl& c) { c.BurnDVDData(); }, scrivo::JobKind::Burn},
      {[](scrivo::CScrivoCtrl& c) { c.Blank(false); }, scrivo::JobKind::Blank},
      {[](scrivo::CScrivoCtrl& c) { c.BlankDVD(); }, scrivo::JobKind::DvdFormat},
      {[](scrivo::CScrivoCtrl& c) { c.VerifyDisc(); }, scrivo::JobKind::Verify}};
  for (const auto& [start, kind] : jobs) {
    diagnostics.events.clear();
    platform::testing::FailNextThreadStart();
    start(control());
    Pump();
    std::vector<FiredEvent> expected{{scrivo::DIAGID_JOBFAILED, {Variant::I2(static_cast<std::int16_t>(kind))}}};
    if (kind != scrivo::JobKind::DvdFormat) {
      expected.insert(expected.begin(), {scrivo::DIAGID_ENGINEERROR, {Variant::Bstr(u"Unable to create thread")}});
    }
    EXPECT_EQ(FirstArguments(diagnostics.events), expected) << static_cast<int>(kind);
    EXPECT_FALSE(control().Busy());
  }
}

// A burn verifies only when the host asks; a verify with no session to
// compare fails as job 5, with the reason.
TEST_F(Diagnostics, AVerifyOfADiscWithoutASessionFails) {
  EXPECT_FALSE(control().VerifyAfterBurn());
  platform::VirtualClock clock;  // the drive's waits between tries cost no time
  platform::ScopedClock clockScope{clock};
  control().VerifyDisc();
  for (int i = 0; i < 2000 && control().Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Pump();
  const std::vector<FiredEvent> expected{
      {scrivo::DIAGID_ENGINEERROR, {Variant::Bstr(u"Unable to verify the disc.")}},
      {scrivo::DIAGID_JOBFAILED, {Variant::I2(static_cast<std::int16_t>(scrivo::JobKind::Verify))}}};
  EXPECT_EQ(FirstArguments(diagnostics.events), expected);
  ASSERT_EQ(diagnostics.events.back().args.size(), 12u);
  EXPECT_EQ(diagnostics.events.back().args[1], Variant::Bstr(u"The disc holds no session to verify."));
}

TEST_F(Diagnostics, OnlyTheControlsOutgoingInterfacesConnect) {
  platform::ComPtr<platform::IConnectionPoint> other;
  EXPECT_EQ(control().FindConnectionPoint(scrivo::ids::kDispatchInterface,
                                          reinterpret_cast<platform::IConnectionPoint**>(other.Out())),
            platform::CONNECT_E_CANNOTCONNECT);
  EXPECT_FALSE(other);
}

}  // namespace
