#include "app/scrivolib_tlb.h"

#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/hresult.h"

#include <utility>

using platform::InvokeKind;
using platform::Variant;

ScrivoCallError::ScrivoCallError(const std::string& what, platform::HRESULT hr)
    : std::runtime_error(what + ": " + platform::DescribeHresult(hr)), hr_(hr) {}

// The control's container: it runs the control in user mode, where the
// control keeps its window out of sight.
class TScrivo::Site final : public platform::IControlSite {
 public:
  bool AmbientUserMode() override { return true; }
  void OnControlPropertyChanged(platform::DISPID) override {}
};

TScrivo::TScrivo() : site_(std::make_unique<Site>()) {
  if (platform::HRESULT hr = host_.Create(); platform::FAILED(hr)) {
    throw ScrivoCallError("cannot create the engine control", hr);
  }
  platform::ComPtr<platform::IOleControl> control;
  if (platform::SUCCEEDED(host_.Control().QueryInterface(platform::IID_IOleControl, control.Out())) && control) {
    control->SetClientSite(site_.get());
  }
  host_.SetReceiver([this](const quillon::HostNotice& notice) { Receive(notice); });
}

TScrivo::~TScrivo() { Release(); }

void TScrivo::Release() {
  dispatch_ = nullptr;
  host_.Release();
}

void TScrivo::Receive(const quillon::HostNotice& notice) {
  using Kind = quillon::HostNotice::Kind;
  if (handOverNotices_ && (notice.kind == Kind::EngineError || notice.kind == Kind::EntryRefused)) {
    handOverNotices_->push_back(notice);
    return;
  }
  switch (notice.kind) {
    case Kind::Event:
      DispatchEvent(notice.id, notice.args);
      break;
    case Kind::EngineError:
      if (OnEngineError) OnEngineError(*this, QString::fromStdString(notice.name));
      break;
    case Kind::EngineNotice:
      if (OnEngineNotice) OnEngineNotice(*this, QString::fromStdString(notice.name));
      break;
    case Kind::JobFailed:
      if (OnJobFailed && !notice.args.empty() && notice.args[0].Type() == platform::VarType::I2) {
        constexpr std::size_t kDiscArg = 11;  // iDisc
        const bool hasDisc = notice.args.size() > kDiscArg && notice.args[kDiscArg].Type() == platform::VarType::I2;
        OnJobFailed(*this, static_cast<scrivo::JobKind>(notice.args[0].AsI2()), QString::fromStdString(notice.name),
                    static_cast<DiscAfterJob>(hasDisc ? notice.args[kDiscArg].AsI2() : 0));
      }
      break;
    case Kind::EntryRefused:
      break;  // only a hand-over asks why
    case Kind::MessageBox:
      break;  // the program's message service shows those itself
    case Kind::VerifyMismatch:
    case Kind::VerifyFinished:
      if (OnVerify) OnVerify(*this, notice);
      break;
    case Kind::BufferLevel:
      if (OnBufferLevel) OnBufferLevel(*this, notice.args[0].AsI2());
      break;
  }
}

void TScrivo::DispatchEvent(platform::DISPID id, std::span<const Variant> args) {
  switch (id) {
    case scrivo::EVENTID_PROGRESS:
      if (OnProgress && !args.empty() && args[0].Type() == platform::VarType::I2) OnProgress(*this, args[0].AsI2());
      break;
    case scrivo::EVENTID_FINISHED:
      if (OnFinished) OnFinished(*this);
      break;
    case scrivo::EVENTID_BLANKFINISHED:
      if (OnBlankFinished) OnBlankFinished(*this);
      break;
    case scrivo::EVENTID_CLOSEFINISHED:
      if (OnCloseFinished) OnCloseFinished(*this);
      break;
    case scrivo::EVENTID_IMAGESAVED:
      if (OnImageSaved) OnImageSaved(*this);
      break;
    default:
      break;
  }
}

platform::IDispatch& TScrivo::Dispatch() {
  if (!dispatch_) {
    platform::HRESULT hr = host_.Control().QueryInterface(scrivo::ids::kDispatchInterface, dispatch_.Out());
    if (platform::FAILED(hr) || !dispatch_) throw ScrivoCallError("the control has no _DScrivo", hr);
  }
  return *dispatch_.get();
}

Variant TScrivo::Invoke(platform::DISPID id, InvokeKind kind, std::vector<Variant> args) {
  Variant result;
  platform::HRESULT hr = Dispatch().Invoke(id, kind, args, &result);
  if (platform::FAILED(hr)) throw ScrivoCallError("call " + std::to_string(id) + " failed", hr);
  return result;
}

// A boolean result counts as true when it is non-zero, whatever its type.
bool TScrivo::GetBool(platform::DISPID id) { return GetNumber(id) != 0; }

std::int32_t TScrivo::GetNumber(platform::DISPID id) {
  Variant value = Get(id);
  Variant number;
  if (platform::FAILED(value.ChangeType(platform::VarType::I4, number))) {
    throw ScrivoCallError("property " + std::to_string(id) + " is not a number", platform::E_FAIL);
  }
  return number.AsI4();
}

void TScrivo::InitControl() { Invoke(scrivo::DISPID_INITCONTROL, InvokeKind::Method); }
std::int16_t TScrivo::MediaCount() { return static_cast<std::int16_t>(GetNumber(scrivo::DISPID_MEDIACOUNT)); }
void TScrivo::SetCurrentDevice(std::int32_t nIndex) {
  Invoke(scrivo::DISPID_SETCURRENTDEVICE, InvokeKind::Method, {Variant::I4(nIndex)});
}
std::int16_t TScrivo::HAnum() { return static_cast<std::int16_t>(GetNumber(scrivo::DISPID_HANUM)); }
std::int16_t TScrivo::SCSIID() { return static_cast<std::int16_t>(GetNumber(scrivo::DISPID_SCSIID)); }
QString TScrivo::MediaDesc() {
  Variant text = Get(scrivo::DISPID_MEDIADESC);
  return text.Type() == platform::VarType::BSTR ? QString::fromStdU16String(text.AsBstr()) : QString();
}
bool TScrivo::IsCDRWriteSupport() { return GetBool(scrivo::DISPID_ISCDRWRITESUPPORT); }
bool TScrivo::IsCDRWWriteSupport() { return GetBool(scrivo::DISPID_ISCDRWWRITESUPPORT); }
bool TScrivo::IsMultiSessionsSupport() { return GetBool(scrivo::DISPID_ISMULTISESSIONSSUPPORT); }
bool TScrivo::IsReadDVDSupport() { return GetBool(scrivo::DISPID_ISREADDVDSUPPORT); }
bool TScrivo::IsDiskBlank() { return GetBool(scrivo::DISPID_ISDISKBLANK); }
bool TScrivo::IsDiskClosed() { return GetBool(scrivo::DISPID_ISDISKCLOSED); }
bool TScrivo::IsDiskErasable() { return GetBool(scrivo::DISPID_ISDISKERASABLE); }
std::int32_t TScrivo::MaxReadSpeed() { return GetNumber(scrivo::DISPID_MAXREADSPEED); }
std::int32_t TScrivo::MaxWriteSpeed() { return GetNumber(scrivo::DISPID_MAXWRITESPEED); }

bool TScrivo::CDWriterUnitReady() {
  Variant ready = Invoke(scrivo::DISPID_CDWRITERUNITREADY, InvokeKind::Method);
  Variant number;
  return platform::SUCCEEDED(ready.ChangeType(platform::VarType::I4, number)) && number.AsI4() != 0;
}

void TScrivo::SetVolumeLabel(const QString& label) {
  Invoke(scrivo::DISPID_VOLUMELABEL, InvokeKind::PropertyPut, {Variant::Bstr(label.toStdU16String())});
}
void TScrivo::AddDirectory(const QString& strDir) {
  Invoke(scrivo::DISPID_ADDDIRECTORY, InvokeKind::Method, {Variant::Bstr(strDir.toStdU16String())});
}
void TScrivo::AddFile(const QString& strDestFileName, const QString& strSourceFileName) {
  Invoke(scrivo::DISPID_ADDFILE, InvokeKind::Method,
         {Variant::Bstr(strDestFileName.toStdU16String()), Variant::Bstr(strSourceFileName.toStdU16String())});
}
void TScrivo::BurnCDData(bool bMultiSession) {
  Invoke(scrivo::DISPID_BURNCDDATA, InvokeKind::Method, {Variant::Bool(bMultiSession)});
}
void TScrivo::BurnDVDData() { Invoke(scrivo::DISPID_BURNDVDDATA, InvokeKind::Method); }
void TScrivo::SetDvdWriteSpeed(std::int16_t iSpeed) {
  Invoke(scrivo::DISPID_SETDVDWRITESPEED, InvokeKind::Method, {Variant::I2(iSpeed)});
}
void TScrivo::Blank(bool bFull) { Invoke(scrivo::DISPID_BLANK, InvokeKind::Method, {Variant::Bool(bFull)}); }
void TScrivo::CloseSession() { Invoke(scrivo::DISPID_CLOSESESSION, InvokeKind::Method); }
void TScrivo::SetVerifyAfterBurn(bool verify) {
  Invoke(scrivo::DISPID_VERIFYAFTERBURN, InvokeKind::PropertyPut, {Variant::Bool(verify)});
}
void TScrivo::BlankDVD() { Invoke(scrivo::DISPID_BLANKDVD, InvokeKind::Method); }
void TScrivo::CancelBurning() { Invoke(scrivo::DISPID_CANCELBURNING, InvokeKind::Method); }
void TScrivo::EjectDisk() { Invoke(scrivo::DISPID_EJECTDISK, InvokeKind::Method); }
void TScrivo::SaveImageFile(const QString& strImageFile, bool bDvd) {
  Invoke(scrivo::DISPID_SAVEIMAGEFILE, InvokeKind::Method,
         {Variant::Bstr(strImageFile.toStdU16String()), Variant::Bool(bDvd)});
}
void TScrivo::BurnImageFile(const QString& strImageFile) {
  Invoke(scrivo::DISPID_BURNIMAGEFILE, InvokeKind::Method, {Variant::Bstr(strImageFile.toStdU16String())});
}
QString TScrivo::CheckImageFile(const QString& strImageFile) {
  return QString::fromStdU16String(
      Invoke(scrivo::DISPID_CHECKIMAGEFILE, InvokeKind::Method, {Variant::Bstr(strImageFile.toStdU16String())})
          .AsBstr());
}

quillon::HandOverResult TScrivo::HandOver(const std::vector<std::string>& entries,
                                          const std::function<void()>& dispatchPending) {
  handOverNotices_.emplace();
  struct Done {
    std::optional<std::vector<quillon::HostNotice>>& notices;
    ~Done() { notices.reset(); }
  } done{handOverNotices_};
  return quillon::HandOverEntries(Dispatch(), entries, [&] {
    dispatchPending();
    return std::exchange(*handOverNotices_, {});
  });
}
