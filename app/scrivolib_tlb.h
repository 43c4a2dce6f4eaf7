#pragma once
// TScrivo: the application's typed proxy of the engine control. Each
// property access and each method is one dispatch call by dispatch id
// through _DScrivo, queried once; the control's events arrive in three
// handler slots; Tag is the main window's job state, which the control never
// sees. The engine's diagnostics (its failure texts and the end of a failed
// job) come in two further slots, so the window can return to idle with the
// engine's reason.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/typelib/scrivo_typelib.h"
#include "host/control_host.h"
#include "host/entry_handover.h"

class TScrivo;
using TNotifyEvent = std::function<void(TScrivo& sender)>;
using TScrivoProgress = std::function<void(TScrivo& sender, std::int16_t iPos)>;
using TScrivoEngineError = std::function<void(TScrivo& sender, const QString& text)>;
using TScrivoBufferLevel = std::function<void(TScrivo& sender, std::int16_t iPercent)>;
// What the disc holds after a failed job (JobFailed's iDisc).
enum class DiscAfterJob : std::int16_t { Untouched = 0, SessionClosed = 1, LeftUnfinished = 2 };
using TScrivoJobFailed =
    std::function<void(TScrivo& sender, scrivo::JobKind job, const QString& reason, DiscAfterJob disc)>;

// A call into the control that failed, or a control that could not be made.
class ScrivoCallError : public std::runtime_error {
 public:
  ScrivoCallError(const std::string& what, platform::HRESULT hr);
  platform::HRESULT Result() const { return hr_; }

 private:
  platform::HRESULT hr_;
};

class TScrivo {
 public:
  // Creates the control by its class id and connects its events; throws
  // ScrivoCallError when it cannot be created (it is not registered).
  TScrivo();
  ~TScrivo();
  TScrivo(const TScrivo&) = delete;
  TScrivo& operator=(const TScrivo&) = delete;

  // Disconnects and releases the control; its destructor waits for a job.
  void Release();

  TScrivoProgress OnProgress;
  TNotifyEvent OnFinished;
  TNotifyEvent OnBlankFinished;
  TNotifyEvent OnCloseFinished;
  TNotifyEvent OnImageSaved;
  TScrivoEngineError OnEngineError;
  // What the user should know that does not fail the job.
  TScrivoEngineError OnEngineNotice;
  TScrivoJobFailed OnJobFailed;
  // What the read-back after a burn found: VerifyMismatch and VerifyFinished.
  std::function<void(TScrivo& sender, const quillon::HostNotice& notice)> OnVerify;
  // How full the burn's read-ahead buffer is, in per cent, as it changes.
  TScrivoBufferLevel OnBufferLevel;
  int Tag = 0;

  void InitControl();
  std::int16_t MediaCount();
  void SetCurrentDevice(std::int32_t nIndex);
  std::int16_t HAnum();
  std::int16_t SCSIID();
  QString MediaDesc();
  bool IsCDRWriteSupport();
  bool IsCDRWWriteSupport();
  bool IsMultiSessionsSupport();
  bool IsReadDVDSupport();
  bool IsDiskBlank();
  bool IsDiskClosed();
  bool IsDiskErasable();
  std::int32_t MaxReadSpeed();
  std::int32_t MaxWriteSpeed();
  bool CDWriterUnitReady();
  void SetVolumeLabel(const QString& label);
  void AddDirectory(const QString& strDir);
  void AddFile(const QString& strDestFileName, const QString& strSourceFileName);
  void BurnCDData(bool bMultiSession);
  void BurnDVDData();
  // The speed factor the next DVD burns ask for; 0: the fastest.
  void SetDvdWriteSpeed(std::int16_t iSpeed);
  void Blank(bool bFull);
  void CloseSession();
  // Whether the next burn reads its session back and compares it.
  void SetVerifyAfterBurn(bool verify);
  // Formats a DVD+RW; its end comes as BlankFinished.
  void BlankDVD();
  void CancelBurning();
  void EjectDisk();
  // The compilation written to an image file (ends with ImageSaved), an
  // image file burned (ends with Finished), and why a file is no image to
  // burn (empty when it is one).
  void SaveImageFile(const QString& strImageFile, bool bDvd);
  void BurnImageFile(const QString& strImageFile);
  QString CheckImageFile(const QString& strImageFile);
  // Hands the compilation entries over (a folder's caption ends in "/") and
  // collects the engine's refusals with their reasons; `dispatchPending`
  // runs the message loop. The engine's failure texts meanwhile go to the
  // hand-over, not to OnEngineError.
  quillon::HandOverResult HandOver(const std::vector<std::string>& entries,
                                   const std::function<void()>& dispatchPending);

  // Routes an incoming event by its dispatch id to its slot: 1 Progress,
  // 2 Finished, 3 BlankFinished, 4 CloseFinished, 5 ImageSaved. Other ids, and events whose slot is empty,
  // are dropped.
  void DispatchEvent(platform::DISPID id, std::span<const platform::Variant> args);

 private:
  class Site;
  void Receive(const quillon::HostNotice& notice);
  platform::IDispatch& Dispatch();
  platform::Variant Invoke(platform::DISPID id, platform::InvokeKind kind, std::vector<platform::Variant> args = {});
  platform::Variant Get(platform::DISPID id) { return Invoke(id, platform::InvokeKind::PropertyGet); }
  bool GetBool(platform::DISPID id);
  std::int32_t GetNumber(platform::DISPID id);

  quillon::ControlHost host_{quillon::HostServices::Program};
  // While entries are handed over: the diagnostics that arrived.
  std::optional<std::vector<quillon::HostNotice>> handOverNotices_;
  std::unique_ptr<Site> site_;
  platform::ComPtr<platform::IDispatch> dispatch_;
};
