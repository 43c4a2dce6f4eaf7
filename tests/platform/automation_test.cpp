// GUIDs, variants, dispatch by description, connection points, registry.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch_table.h"
#include "platform/automation/registry.h"

namespace {

using platform::HRESULT;
using platform::InvokeKind;
using platform::Variant;
using platform::VarType;

TEST(Guids, FormatAndParseRoundTrip) {
  platform::GUID g{0x5C1A0A13, 0x7E3B, 0x4C2D, {0x9A, 0x41, 0x2F, 0x60, 0xB8, 0x11, 0xD0, 0x01}};
  std::string text = platform::FormatGuid(g);
  EXPECT_EQ(text, "{5C1A0A13-7E3B-4C2D-9A41-2F60B811D001}");
  EXPECT_EQ(platform::ParseGuid(text), g);
  EXPECT_EQ(platform::ParseGuid("5c1a0a13-7e3b-4c2d-9a41-2f60b811d001"), g);
  EXPECT_FALSE(platform::ParseGuid("{5C1A0A13-7E3B-4C2D-9A41-2F60B811D00}"));
  EXPECT_FALSE(platform::ParseGuid("{5C1A0A13x7E3B-4C2D-9A41-2F60B811D001}"));
  EXPECT_FALSE(platform::ParseGuid("{5C1A0A13-7E3B-4C2D-9A41-2F60B811D0G1}"));
}

TEST(Variants, NumbersConvertAndBooleansAreMinusOne) {
  Variant out;
  EXPECT_EQ(Variant::Bool(true).RawBool(), -1);
  EXPECT_EQ(Variant::I4(40).ChangeType(VarType::I2, out), platform::S_OK);
  EXPECT_EQ(out, Variant::I2(40));
  EXPECT_EQ(Variant::I4(40000).ChangeType(VarType::I2, out), platform::DISP_E_OVERFLOW);
  EXPECT_EQ(Variant::I4(2).ChangeType(VarType::BOOL, out), platform::S_OK);
  EXPECT_EQ(out.RawBool(), -1);
  EXPECT_EQ(Variant::Bool(true).ChangeType(VarType::I4, out), platform::S_OK);
  EXPECT_EQ(out.AsI4(), -1);
  EXPECT_EQ(Variant::Bstr(u"1").ChangeType(VarType::I4, out), platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Variant::I4(1).ChangeType(VarType::BSTR, out), platform::DISP_E_TYPEMISMATCH);
}

const platform::InterfaceDesc kDesc{
    "_DSample",
    {},
    "",
    false,
    {
        {1, "Count", platform::MemberKind::Property, VarType::I2, true, {}, ""},
        {2, "Label", platform::MemberKind::Property, VarType::BSTR, false, {}, ""},
        {3, "Speed", platform::MemberKind::Method, VarType::BOOL, false, {{"iSpeed", VarType::I2}}, ""},
    }};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    table.BindGet(1, [] { return Variant::I4(40000); });
    table.BindGet(2, [this] { return Variant::Bstr(label); });
    table.BindPut(2, [this](const Variant& v) { label = v.AsBstr(); });
    table.BindMethod(3, [this](std::span<const Variant> a) {
      lastSpeed = a[0].AsI2();
      return Variant::I4(1);
    });
  }
  platform::DispatchTable table{kDesc};
  std::u16string label;
  std::int16_t lastSpeed = 0;
};

TEST_F(Dispatch, NamesResolveWithoutRegardToCase) {
  platform::DISPID id = 0;
  EXPECT_EQ(table.GetIDOfName("label", &id), platform::S_OK);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(table.GetIDOfName("Nope", &id), platform::DISP_E_UNKNOWNNAME);
}

TEST_F(Dispatch, StandardErrorsForWrongUse) {
  Variant result;
  Variant one = Variant::I4(1);
  EXPECT_EQ(table.Invoke(99, InvokeKind::Method, {}, &result), platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(table.Invoke(1, InvokeKind::PropertyPut, std::span(&one, 1), nullptr), platform::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(table.Invoke(3, InvokeKind::Method, {}, &result), platform::DISP_E_BADPARAMCOUNT);
  Variant text = Variant::Bstr(u"8");
  EXPECT_EQ(table.Invoke(3, InvokeKind::Method, std::span(&text, 1), &result), platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(table.Invoke(3, InvokeKind::PropertyPut, std::span(&one, 1), nullptr), platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(table.Invoke(2, InvokeKind::PropertyPut, std::span(&one, 1), nullptr), platform::DISP_E_TYPEMISMATCH);
}

TEST_F(Dispatch, ArgumentsAndResultsTakeTheirDeclaredTypes) {
  Variant result;
  Variant eight = Variant::I4(8);
  ASSERT_EQ(table.Invoke(3, InvokeKind::Method, std::span(&eight, 1), &result), platform::S_OK);
  EXPECT_EQ(lastSpeed, 8);
  EXPECT_EQ(result, Variant::Bool(true));
  Variant text = Variant::Bstr(u"NEW");
  ASSERT_EQ(table.Invoke(2, InvokeKind::PropertyPut, std::span(&text, 1), nullptr), platform::S_OK);
  ASSERT_EQ(table.Invoke(2, InvokeKind::PropertyGet, {}, &result), platform::S_OK);
  EXPECT_EQ(result.AsBstr(), u"NEW");
  // A result that does not fit its declared type is an error, not a wrap.
  EXPECT_EQ(table.Invoke(1, InvokeKind::PropertyGet, {}, &result), platform::DISP_E_OVERFLOW);
}

TEST_F(Dispatch, CompletenessNoticesMissingAndStrayBindings) {
  EXPECT_TRUE(table.IsComplete());
  platform::DispatchTable partial{kDesc};
  partial.BindGet(1, [] { return Variant::I2(0); });
  EXPECT_FALSE(partial.IsComplete());
  table.BindGet(7, [] { return Variant(); });
  EXPECT_FALSE(table.IsComplete());
}

struct Owner : platform::IUnknown {
  platform::HRESULT QueryInterface(const platform::IID&, void**) override { return platform::E_NOINTERFACE; }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override { return --refs; }
  std::uint32_t refs = 1;
};

struct Sink : platform::IDispatch {
  platform::HRESULT QueryInterface(const platform::IID&, void**) override { return platform::E_NOINTERFACE; }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override { return --refs; }
  const platform::InterfaceDesc* GetTypeInfo() override { return nullptr; }
  platform::HRESULT GetIDOfName(std::string_view, platform::DISPID*) override { return platform::E_NOTIMPL; }
  platform::HRESULT Invoke(platform::DISPID id, InvokeKind, std::span<const Variant> args, Variant*) override {
    calls.push_back({id, args.empty() ? 0 : args[0].AsI2()});
    return platform::S_OK;
  }
  std::vector<std::pair<platform::DISPID, int>> calls;
  std::uint32_t refs = 1;
};

TEST(ConnectionPoints, EventsReachEveryAdvisedSinkUntilUnadvised) {
  Owner owner;
  Sink a, b;
  {
    platform::ConnectionPoint point(owner, {});
    std::uint32_t ca = 0, cb = 0;
    ASSERT_EQ(point.Advise(&a, &ca), platform::S_OK);
    ASSERT_EQ(point.Advise(&b, &cb), platform::S_OK);
    EXPECT_NE(ca, cb);
    Variant pos = Variant::I2(37);
    point.Fire(1, std::span(&pos, 1));
    EXPECT_EQ(point.Unadvise(ca), platform::S_OK);
    EXPECT_EQ(point.Unadvise(ca), platform::CONNECT_E_NOCONNECTION);
    point.Fire(2, {});
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 2u);  // still held by the point
  }
  EXPECT_EQ(b.refs, 1u);
  EXPECT_EQ(a.calls, (std::vector<std::pair<platform::DISPID, int>>{{1, 37}}));
  EXPECT_EQ(b.calls, (std::vector<std::pair<platform::DISPID, int>>{{1, 37}, {2, 0}}));
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("quillon-reg-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path dir;
};

TEST_F(RegistryTest, ValuesPersistAndTreesAreRemovedWhole) {
  using platform::Registry;
  EXPECT_EQ(Registry::FilePath(), (dir / "quillon/registry").string());
  EXPECT_FALSE(Registry::Get("Classes/CLSID/{X}"));
  ASSERT_TRUE(Registry::Set("Classes/CLSID/{X}", "", "Scrivo Control"));
  ASSERT_TRUE(Registry::Set("Classes/CLSID/{X}/InprocServer32", "ThreadingModel", "Apartment"));
  ASSERT_TRUE(Registry::Set("Classes/CLSID/{XY}", "", "a sibling with a longer name"));
  EXPECT_EQ(Registry::Get("Classes/CLSID/{X}"), "Scrivo Control");
  EXPECT_EQ(Registry::Get("Classes/CLSID/{X}/InprocServer32", "ThreadingModel"), "Apartment");
  ASSERT_TRUE(Registry::DeleteTree("Classes/CLSID/{X}"));
  EXPECT_FALSE(Registry::Get("Classes/CLSID/{X}"));
  EXPECT_FALSE(Registry::Get("Classes/CLSID/{X}/InprocServer32", "ThreadingModel"));
  EXPECT_EQ(Registry::Get("Classes/CLSID/{XY}"), "a sibling with a longer name");
}

}  // namespace
