// Binds each member of _DScrivo to its implementation. Names, ids and types
// come from the type library; arguments arrive already converted to the
// declared types.

#include "engine/control/scrivo_ctrl.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {

using platform::Variant;

Variant Text(const std::string& narrow) { return Variant::Bstr(platform::NarrowToWide(narrow)); }
std::string Narrow(const Variant& v) { return platform::WideToNarrow(v.AsBstr()); }

}  // namespace

void CScrivoCtrl::BindMembers() {
  auto& d = dispatch_;
  d.BindGet(DISPID_HANUM, [this] { return Variant::I2(HAnum()); });
  d.BindGet(DISPID_SCSIID, [this] { return Variant::I2(SCSIID()); });
  d.BindGet(DISPID_MEDIADESC, [this] { return Text(MediaDesc()); });
  d.BindGet(DISPID_MEDIACOUNT, [this] { return Variant::I2(MediaCount()); });
  d.BindGet(DISPID_ISCDRWWRITESUPPORT, [this] { return Variant::Bool(IsCDRWWriteSupport()); });
  d.BindGet(DISPID_ISMULTISESSIONSSUPPORT, [this] { return Variant::Bool(IsMultiSessionsSupport()); });
  d.BindGet(DISPID_ISCDRWRITESUPPORT, [this] { return Variant::Bool(IsCDRWriteSupport()); });
  d.BindGet(DISPID_ISDISKBLANK, [this] { return Variant::Bool(IsDiskBlank()); });
  d.BindGet(DISPID_ISDISKCLOSED, [this] { return Variant::Bool(IsDiskClosed()); });
  d.BindGet(DISPID_ISDISKERASABLE, [this] { return Variant::Bool(IsDiskErasable()); });
  d.BindGet(DISPID_ISREADDVDSUPPORT, [this] { return Variant::Bool(IsReadDVDSupport()); });
  d.BindGet(DISPID_MAXREADSPEED, [this] { return Variant::I4(MaxReadSpeed()); });
  d.BindGet(DISPID_MAXWRITESPEED, [this] { return Variant::I4(MaxWriteSpeed()); });
  d.BindGet(DISPID_VOLUMELABEL, [this] { return Text(VolumeLabel()); });
  d.BindPut(DISPID_VOLUMELABEL, [this](const Variant& v) { SetVolumeLabel(Narrow(v)); });
  d.BindGet(DISPID_VERIFYAFTERBURN, [this] { return Variant::Bool(VerifyAfterBurn()); });
  d.BindPut(DISPID_VERIFYAFTERBURN, [this](const Variant& v) { SetVerifyAfterBurn(v.AsBool()); });
  d.BindGet(DISPID_KEEPLINKS, [this] { return Variant::Bool(image_.KeepsLinks()); });
  d.BindPut(DISPID_KEEPLINKS, [this](const Variant& v) { image_.KeepLinks(v.AsBool()); });

  auto method = [&d](platform::DISPID id, auto body) {
    d.BindMethod(id, [body](std::span<const Variant> args) { return body(args); });
  };
  method(DISPID_ADDDIRECTORY, [this](auto a) { AddDirectory(Narrow(a[0])); return Variant(); });
  method(DISPID_ADDFILE, [this](auto a) { AddFile(Narrow(a[0]), Narrow(a[1])); return Variant(); });
  method(DISPID_BLANK, [this](auto a) { Blank(a[0].AsBool()); return Variant(); });
  method(DISPID_CDWRITERUNITREADY, [this](auto) { return Variant::Bool(CDWriterUnitReady()); });
  method(DISPID_CANCELBURNING, [this](auto) { CancelBurning(); return Variant(); });
  method(DISPID_EJECTDISK, [this](auto) { EjectDisk(); return Variant(); });
  method(DISPID_SETCURRENTDEVICE, [this](auto a) { SetCurrentDevice(a[0].AsI4()); return Variant(); });
  method(DISPID_BURNCDDATA, [this](auto a) { BurnCDData(a[0].AsBool()); return Variant(); });
  method(DISPID_INITCONTROL, [this](auto) { InitControl(); return Variant(); });
  method(DISPID_SETWRITESPEED, [this](auto a) { return Variant::Bool(SetWriteSpeed(a[0].AsI2())); });
  method(DISPID_SETDVDWRITESPEED, [this](auto a) { return Variant::Bool(SetDvdWriteSpeed(a[0].AsI2())); });
  method(DISPID_BURNDVDDATA, [this](auto) { BurnDVDData(); return Variant(); });
  method(DISPID_BLANKDVD, [this](auto) { BlankDVD(); return Variant(); });
  method(DISPID_CLOSESESSION, [this](auto) { CloseSession(); return Variant(); });
  method(DISPID_SAVEIMAGEFILE, [this](auto a) { SaveImageFile(Narrow(a[0]), a[1].AsBool()); return Variant(); });
  method(DISPID_BURNIMAGEFILE, [this](auto a) { BurnImageFile(Narrow(a[0])); return Variant(); });
  method(DISPID_CHECKIMAGEFILE, [this](auto a) { return Text(CheckImageFile(Narrow(a[0]))); });
  method(DISPID_VERIFYDISC, [this](auto) { VerifyDisc(); return Variant(); });
  method(DISPID_ABOUTBOX_MEMBER, [this](auto) { AboutBox(); return Variant(); });
}

}  // namespace scrivo
