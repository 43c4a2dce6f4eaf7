#include "engine/control/scrivo_ctrl.h"

#include <algorithm>

#include "engine/control/module_state.h"
#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_resources.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/text/codepage.h"
#include "platform/user/message_box.h"

namespace scrivo {

using platform::HRESULT;

CScrivoCtrl::CScrivoCtrl()
    : dispatch_(DispatchInterfaceDesc()),
      events_(static_cast<platform::IDispatch&>(*this), ids::kEventInterface),
      diagnostics_(static_cast<platform::IDispatch&>(*this)),
      window_(platform::CreateWindowFor(this)) {
  BindMembers();
  // Bound now as well as by InitControl, so that entries added before it
  // are reported like any other.
  image_.Bind(this);
  ++module::g_liveObjects;
}

CScrivoCtrl::~CScrivoCtrl() {
  // A running burn is asked to stop, and the worker, which uses this object
  // to its last step, is waited for.
  cancelEvent_.Set();
  worker_.Join();
  platform::DestroyWindow(window_);
  drive_.UnloadAspi();
  --module::g_liveObjects;
}

HRESULT CScrivoCtrl::QueryInterface(const platform::IID& iid, void** out) {
  if (!out) return platform::E_POINTER;
  if (iid == platform::IID_IUnknown || iid == platform::IID_IDispatch || iid == ids::kDispatchInterface) {
    *out = static_cast<platform::IDispatch*>(this);
  } else if (iid == platform::IID_IConnectionPointContainer) {
    *out = static_cast<platform::IConnectionPointContainer*>(this);
  } else if (iid == platform::IID_IPersistPropertyBag) {
    *out = static_cast<platform::IPersistPropertyBag*>(this);
  } else if (iid == platform::IID_IOleControl) {
    *out = static_cast<platform::IOleControl*>(this);
  } else if (iid == platform::IID_IProvideClassInfo) {
    *out = static_cast<platform::IProvideClassInfo*>(this);
  } else {
    *out = nullptr;
    return platform::E_NOINTERFACE;
  }
  AddRef();
  return platform::S_OK;
}

std::uint32_t CScrivoCtrl::AddRef() { return ++refCount_; }

std::uint32_t CScrivoCtrl::Release() {
  std::uint32_t left = --refCount_;
  if (left == 0) delete this;
  return left;
}

const platform::InterfaceDesc* CScrivoCtrl::GetTypeInfo() { return &dispatch_.Desc(); }

HRESULT CScrivoCtrl::GetIDOfName(std::string_view name, platform::DISPID* id) {
  return dispatch_.GetIDOfName(name, id);
}

HRESULT CScrivoCtrl::Invoke(platform::DISPID id, platform::InvokeKind kind, std::span<const platform::Variant> args,
                            platform::Variant* result) {
  return dispatch_.Invoke(id, kind, args, result);
}

const platform::CoClassDesc* CScrivoCtrl::GetClassInfo() { return &ScrivoTypeLib().coclasses.front(); }

HRESULT CScrivoCtrl::FindConnectionPoint(const platform::IID& iid, platform::IConnectionPoint** out) {
  if (!out) return platform::E_POINTER;
  platform::ConnectionPoint* point = iid == ids::kEventInterface         ? &events_
                                     : iid == ids::kDiagnosticsInterface ? &diagnostics_.Point()
                                                                         : nullptr;
  *out = point;
  if (!point) return platform::CONNECT_E_CANNOTCONNECT;
  point->AddRef();
  return platform::S_OK;
}

// Persistence: property exchange version 1.0 with VolumeLabel alone. Loading
// fills the property only; the image builder takes a label from a set.
namespace {
constexpr std::int32_t kPersistVersion = 0x00010000;
constexpr std::string_view kVersionName = "_Version";
constexpr std::string_view kLabelName = "VolumeLabel";
}  // namespace

HRESULT CScrivoCtrl::InitNew() {
  volumeLabel_.clear();
  modified_ = false;
  return platform::S_OK;
}

HRESULT CScrivoCtrl::Load(platform::IPropertyBag& bag) {
  auto label = bag.Read(kLabelName);
  if (label && label->Type() == platform::VarType::BSTR) {
    volumeLabel_ = platform::WideToNarrow(label->AsBstr());
  } else {
    volumeLabel_.clear();
  }
  modified_ = false;
  return platform::S_OK;
}

HRESULT CScrivoCtrl::Save(platform::IPropertyBag& bag, bool clearDirty) {
  bag.Write(kVersionName, platform::Variant::I4(kPersistVersion));
  bag.Write(kLabelName, platform::Variant::Bstr(platform::NarrowToWide(volumeLabel_)));
  if (clearDirty) modified_ = false;
  return platform::S_OK;
}

void CScrivoCtrl::Draw(platform::Canvas& canvas, const platform::Rect& bounds) {
  bool userMode = site_ ? site_->AmbientUserMode() : true;
  if (userMode) {
    // Invisible in a running host: 1 x 1 pixel where the window is now.
    platform::Rect now = platform::GetWindowRect(window_);
    platform::SetWindowRect(window_, {now.left, now.top, 1, 1});
    return;
  }
  canvas.FillRect(bounds, platform::RGB(0, 0, 0));
  canvas.DrawCenteredText(bounds, resources::kDesignCaption, platform::RGB(255, 0, 0));
}

void CScrivoCtrl::ReportError(std::string_view text) {
  platform::DebugLog(platform::DebugSource::EngineError, text);
  diagnostics_.PostError(text);
}

void CScrivoCtrl::ReportVerify(const VerifyResult& result) { diagnostics_.PostVerify(result); }

void CScrivoCtrl::ReportNotice(std::string_view text) {
  platform::DebugLog(platform::DebugSource::Diagnostic, text);
  diagnostics_.PostNotice(text);
}

void CScrivoCtrl::ReportRefusal(const EntryRefusal& refusal) {
  ReportError(refusal.EngineText());
  platform::DebugLog(platform::DebugSource::Diagnostic, refusal.Describe());
  diagnostics_.PostEntryRefused(refusal);
}

void CScrivoCtrl::PostJobMessage(std::uint32_t message, std::uintptr_t wParam) {
  platform::PostMessage(window_, message, wParam, static_cast<std::intptr_t>(jobNumber_.load()));
}

void CScrivoCtrl::AwaitEndOfJob(std::intptr_t postedBy) {
  // Jobs start on this thread, so a later job cannot start during the wait;
  // a message of an earlier job than the one running now waits for nothing.
  if (static_cast<std::uint32_t>(postedBy) == jobNumber_.load()) worker_.Join();
}

void CScrivoCtrl::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  // A host may drop its last reference from inside an event handler; the
  // control lives until it has finished with the message.
  const auto keepAlive = platform::ComPtr<CScrivoCtrl>::Share(this);
  switch (message) {
    case WM_JOB_PROGRESS:
      if (wParam > 0) FireProgress(static_cast<std::int16_t>(wParam / 10));
      break;
    case WM_FIFO_LEVEL:
      // Right after the progress it went with.
      diagnostics_.FireBufferLevel(static_cast<std::int16_t>(std::min<std::uintptr_t>(wParam, 100)));
      break;
    case WM_BURN_FINISHED:
      AwaitEndOfJob(lParam);
      FireEvent(EVENTID_FINISHED);
      // The burn of an image file leaves the compilation for a later burn.
      if (wParam != kImageFileBurned) ClearCompilation();
      break;
    case WM_IMAGE_FINISHED:
      AwaitEndOfJob(lParam);
      FireEvent(EVENTID_IMAGESAVED);
      break;
    case WM_BLANK_FINISHED:
      AwaitEndOfJob(lParam);
      FireEvent(EVENTID_BLANKFINISHED);
      break;
    case WM_CLOSE_FINISHED:
      AwaitEndOfJob(lParam);
      FireEvent(EVENTID_CLOSEFINISHED);
      break;
    default:
      break;
  }
}

void CScrivoCtrl::FireProgress(std::int16_t iPos) {
  platform::Variant arg = platform::Variant::I2(iPos);
  events_.Fire(EVENTID_PROGRESS, std::span(&arg, 1));
}

void CScrivoCtrl::FireEvent(platform::DISPID id) { events_.Fire(id, {}); }

void CScrivoCtrl::SetVolumeLabel(const std::string& label) {
  modified_ = true;
  if (site_ && !site_->AmbientUserMode()) site_->OnControlPropertyChanged(DISPID_VOLUMELABEL);
  volumeLabel_ = label;
  if (RefuseWhileBusy()) return;
  if (!AcceptImageLabel(label)) ReportError("Invalid volume name");
}

void CScrivoCtrl::AboutBox() {
  platform::ShowAboutBox({resources::kAboutTitle, resources::kAboutIcon, resources::kAboutText,
                          resources::kAboutButton});
}

bool CScrivoCtrl::RefuseWhileBusy() {
  if (!busyEvent_.IsSignalled()) return false;
  ReportError("Drive is busy");
  return true;
}

void CScrivoCtrl::InitControl() {
  // A rescan would go through the request block the worker is using, and the
  // reset of the Multi-session field would reach a burn in progress.
  if (RefuseWhileBusy()) return;
  if (!drive_.LoadAspi()) {
    if (drive_.LibraryMissing()) {
      platform::MessageBoxA("WNASPI32.DLL library not found", "Error", platform::MB_ICONERROR);
    }
    ReportError("Failed to initialize MMC core engine");
    return;
  }
  BindImageBuilder();
  drive_.multiSessionField = 3;
  // A drive plugged in since the program started is found now; no job
  // holds a writer here (refused above while busy).
  drive_.RescanBus();
  CountWriters();
  initialized_ = 1;
}

}  // namespace scrivo
