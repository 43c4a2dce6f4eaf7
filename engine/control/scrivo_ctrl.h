#pragma once
// CScrivoCtrl: the engine's one public object. Hosts create it by class id,
// site it, and drive it through the dispatch interface _DScrivo; it reports
// through _DScrivoEvents. It owns the drive-access object and the image
// builder, starts the burn and blank jobs on a worker thread, and turns the
// messages the worker posts to its window into events on the host's thread.
//
// Members that touch the drive or the compilation are refused while a job
// runs (busyEvent signalled): the worker owns MmcCore and the image builder
// for the whole job, and MmcCore has one request block and no lock.

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/control/diagnostics_channel.h"
#include "engine/control/job_failure.h"
#include "engine/drive/burn_mode.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/mmc_core.h"
#include "engine/burn/engine_host.h"
#include "engine/iso/image_builder.h"
#include "platform/automation/com.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch_table.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"
#include "platform/user/message_loop.h"

namespace scrivo {

class CScrivoCtrl final : public platform::IDispatch,
                          public platform::IConnectionPointContainer,
                          public platform::IPersistPropertyBag,
                          public platform::IOleControl,
                          public platform::IProvideClassInfo,
                          public EngineHost,
                          private platform::WindowHandler {
 public:
  CScrivoCtrl();
  ~CScrivoCtrl();
  CScrivoCtrl(const CScrivoCtrl&) = delete;
  CScrivoCtrl& operator=(const CScrivoCtrl&) = delete;

  // IUnknown
  platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  // IDispatch
  const platform::InterfaceDesc* GetTypeInfo() override;
  platform::HRESULT GetIDOfName(std::string_view name, platform::DISPID* id) override;
  platform::HRESULT Invoke(platform::DISPID id, platform::InvokeKind kind, std::span<const platform::Variant> args,
                           platform::Variant* result) override;

  // IConnectionPointContainer
  platform::HRESULT FindConnectionPoint(const platform::IID& iid, platform::IConnectionPoint** out) override;

  // IPersistPropertyBag: VolumeLabel, version 1.0
  platform::HRESULT InitNew() override;
  platform::HRESULT Load(platform::IPropertyBag& bag) override;
  platform::HRESULT Save(platform::IPropertyBag& bag, bool clearDirty) override;
  bool IsDirty() override { return modified_; }

  // IOleControl
  void SetClientSite(platform::IControlSite* site) override { site_ = site; }
  platform::HWND Window() override { return window_; }
  void Draw(platform::Canvas& canvas, const platform::Rect& bounds) override;

  // IProvideClassInfo
  const platform::CoClassDesc* GetClassInfo() override;

  // EngineHost
  void ReportError(std::string_view text) override;
  // The entry's failure text, then EntryRefused with the reason.
  void ReportRefusal(const EntryRefusal& refusal) override;
  void ReportNotice(std::string_view text) override;
  scrivo::FeatureFlags WriterFeatures() const override { return featureFlags_; }
  void PostJobMessage(std::uint32_t message, std::uintptr_t wParam) override;
  void ReportVerify(const VerifyResult& result) override;

  // The members of _DScrivo.
  std::int16_t HAnum() const { return haNum_; }
  std::int16_t SCSIID() const { return targetId_; }
  std::string MediaDesc() const { return deviceDescription_; }
  std::int16_t MediaCount();
  bool IsCDRWWriteSupport() const { return cdrwWrite_ != 0; }
  bool IsMultiSessionsSupport() const { return multiSession_ != 0; }
  bool IsCDRWriteSupport() const { return cdrWrite_ != 0; }
  bool IsDiskBlank() const { return discBlank_ != 0; }
  bool IsDiskClosed() const { return discClosed_ != 0; }
  bool IsDiskErasable() const { return discErasable_ != 0; }
  bool IsReadDVDSupport() const { return (featureFlags_ & kDvdReadPresent) != 0; }
  std::int32_t MaxReadSpeed() const { return maxReadSpeed_; }
  std::int32_t MaxWriteSpeed() const { return maxWriteSpeed_; }
  std::string VolumeLabel() const { return volumeLabel_; }
  void SetVolumeLabel(const std::string& label);
  void AddDirectory(const std::string& strDir);
  void AddFile(const std::string& strDestFileName, const std::string& strSourceFileName);
  void Blank(bool bFull);
  bool CDWriterUnitReady();
  void CancelBurning();
  void EjectDisk();
  void SetCurrentDevice(std::int32_t nIndex);
  void BurnCDData(bool bMultiSession);
  void InitControl();
  bool SetWriteSpeed(std::int16_t iSpeed);
  // The speed is kept for the DVD burns that follow, which ask for it when
  // they set up the recording (best effort: the drive may take another).
  bool SetDvdWriteSpeed(std::int16_t iSpeed);
  void BurnDVDData();
  void BlankDVD();
  void CloseSession();
  void SaveImageFile(const std::string& strImageFile, bool bDvd);
  void BurnImageFile(const std::string& strImageFile);
  std::string CheckImageFile(const std::string& strImageFile);
  // Whether a burn reads its session back and compares it before Finished.
  bool VerifyAfterBurn() const { return verifyAfterBurn_; }
  void SetVerifyAfterBurn(bool verify) { verifyAfterBurn_ = verify; }
  void VerifyDisc();
  void AboutBox();

  // For the engine's own parts and tests.
  MmcCore& Drive() { return drive_; }
  CImageBuilder& Image() { return image_; }
  bool Initialized() const { return initialized_ != 0; }
  bool Busy() { return busyEvent_.IsSignalled(); }
  const platform::DispatchTable& Dispatch() const { return dispatch_; }

 private:
  void HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void BindMembers();
  void FireProgress(std::int16_t iPos);
  void FireEvent(platform::DISPID id);
  // A job ended without its event. Called once the job has cleared the busy
  // state, so a host that answers the failure finds the control idle.
  void ReportJobFailed(JobFailure failure) { diagnostics_.PostJobFailed(std::move(failure)); }
  // A job posts its end event just before its worker clears the busy state,
  // and hosts answer that event with members that a busy control refuses:
  // the event is raised once the worker that posted it has ended.
  void AwaitEndOfJob(std::intptr_t postedBy);
  // Refuses ("Drive is busy") a member that would touch the drive or the
  // compilation while a job owns them, a second job included.
  bool RefuseWhileBusy();
  // Device side (scrivo_ctrl_device.cpp).
  void RefreshDeviceInfo();
  std::int16_t CountWriters();
  // Compilation side (scrivo_ctrl_compilation.cpp).
  void BindImageBuilder();
  bool AcceptImageLabel(const std::string& label);
  void ClearCompilation();
  // Job start-up, once RefuseWhileBusy has let the member through: the
  // control turns busy and the worker starts (the job clears busy as its
  // last step). A job that gets no thread has failed like any other: the
  // host hears of it through JobFailed, or it would wait for an event that
  // never comes.
  enum class CancelReset { No, Yes };
  enum class ThreadFailure { Silent, Report };
  bool StartJob(void (CScrivoCtrl::*job)(), JobKind kind, CancelReset cancel, ThreadFailure onFailure);
  void BurnJob();
  void BlankJob();
  void DvdBlankJob();
  void CloseSessionJob();
  void SaveImageJob();
  void BurnImageJob();
  void VerifyJob();
  // Posts a drive job's progress to the control's window.
  ProgressSink JobProgress();
  // The drive's last failed command when one failed after `serial`.
  std::optional<CommandFailure> FailureSince(std::uint64_t serial) const;

  std::atomic<std::uint32_t> refCount_{0};
  platform::DispatchTable dispatch_;
  platform::ConnectionPoint events_;
  DiagnosticsChannel diagnostics_;
  platform::IControlSite* site_ = nullptr;
  platform::HWND window_ = platform::kNoWindow;
  bool modified_ = false;

  MmcCore drive_;
  CImageBuilder image_;
  std::int32_t initialized_ = 0;
  std::string volumeLabel_;
  std::int16_t haNum_ = 0;
  std::int16_t targetId_ = 0;
  std::int16_t lun_ = 0;
  std::string deviceDescription_;
  // Capability snapshot of the selected writer.
  std::int16_t cdrWrite_ = 0;
  std::int16_t cdrwWrite_ = 0;
  std::uint16_t featureFlags_ = 0;
  std::int16_t multiSession_ = 0;
  std::int16_t maxReadSpeed_ = 0;
  std::int16_t maxWriteSpeed_ = 0;
  // Disc snapshot.
  std::int16_t discBlank_ = 0;
  std::int16_t discClosed_ = 0;
  std::int16_t discErasable_ = 0;

  platform::Event busyEvent_{platform::Event::Reset::Manual};
  platform::Event cancelEvent_{platform::Event::Reset::Auto};
  std::int32_t fullBlank_ = 0;
  BurnMode burnMode_ = BurnMode::CdSingleSession;
  // The image file of SaveImageFile or BurnImageFile, and whether the image
  // is saved for a DVD.
  std::string imageFile_;
  bool imageDvd_ = false;
  bool verifyAfterBurn_ = false;
  platform::WorkerThread worker_;
  // Numbers the jobs; each message a job posts carries its number.
  std::atomic<std::uint32_t> jobNumber_{0};
};

}  // namespace scrivo
