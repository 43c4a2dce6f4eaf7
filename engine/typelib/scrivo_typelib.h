#pragma once
// The type library SCRIVOLib 1.0: the control's dispatch interface, its
// event interface and the control class, each member declared once here.

#include "platform/automation/type_info.h"

namespace scrivo {

// Dispatch ids of _DScrivo. No member has id 15.
enum DispId : platform::DISPID {
  DISPID_HANUM = 1,
  DISPID_SCSIID = 2,
  DISPID_MEDIADESC = 3,
  DISPID_MEDIACOUNT = 4,
  DISPID_ISCDRWWRITESUPPORT = 5,
  DISPID_ISMULTISESSIONSSUPPORT = 6,
  DISPID_ISCDRWRITESUPPORT = 7,
  DISPID_ISDISKBLANK = 8,
  DISPID_ISDISKCLOSED = 9,
  DISPID_ISDISKERASABLE = 10,
  DISPID_ISREADDVDSUPPORT = 11,
  DISPID_MAXREADSPEED = 12,
  DISPID_MAXWRITESPEED = 13,
  DISPID_VOLUMELABEL = 14,
  DISPID_ADDDIRECTORY = 16,
  DISPID_ADDFILE = 17,
  DISPID_BLANK = 18,
  DISPID_CDWRITERUNITREADY = 19,
  DISPID_CANCELBURNING = 20,
  DISPID_EJECTDISK = 21,
  DISPID_SETCURRENTDEVICE = 22,
  DISPID_BURNCDDATA = 23,
  DISPID_INITCONTROL = 24,
  DISPID_SETWRITESPEED = 25,
  DISPID_BURNDVDDATA = 26,
  DISPID_BLANKDVD = 27,
  DISPID_CLOSESESSION = 28,
  DISPID_SETDVDWRITESPEED = 30,
  DISPID_VERIFYAFTERBURN = 31,
  DISPID_VERIFYDISC = 32,
  DISPID_SAVEIMAGEFILE = 34,
  DISPID_BURNIMAGEFILE = 35,
  DISPID_CHECKIMAGEFILE = 36,
  DISPID_KEEPLINKS = 37,
  DISPID_ABOUTBOX_MEMBER = platform::DISPID_ABOUTBOX,
};

// Event ids of _DScrivoEvents.
enum EventId : platform::DISPID {
  EVENTID_PROGRESS = 1,
  EVENTID_FINISHED = 2,
  EVENTID_BLANKFINISHED = 3,
  EVENTID_CLOSEFINISHED = 4,
  EVENTID_IMAGESAVED = 5,
};

// Ids of _DScrivoDiagnostics.
enum DiagnosticId : platform::DISPID {
  DIAGID_ENGINEERROR = 1,
  DIAGID_JOBFAILED = 2,
  DIAGID_ENTRYREFUSED = 3,
  DIAGID_ENGINENOTICE = 4,
  DIAGID_BUFFERLEVEL = 5,
  DIAGID_VERIFYMISMATCH = 6,
  DIAGID_VERIFYFINISHED = 7,
};

// The job whose failure JobFailed reports.
enum class JobKind : std::int16_t {
  Burn = 1,
  Blank = 2,
  DvdFormat = 3,
  SessionClose = 4,
  Verify = 5,
  ImageFile = 6,  // the compilation saved as an image file
  BurnImage = 7,  // an image file burned
};

// Why EntryRefused says the compilation refused an entry (its iKind).
enum class EntryRefusalKind : std::int16_t {
  SourceMissing = 1,   // removed since it was added, or a link to nothing (strOther); lErrno
  Unreadable = 2,      // cannot be opened for reading; lErrno
  NotRegularFile = 3,  // a device, FIFO or socket
  NameTooLong = 4,     // lValue bytes, at most lLimit
  NameInvalid = 5,     // a name no directory record can carry
  FileTooLarge = 6,    // lValue KiB (rounded up), below lLimit KiB
  Loop = 7,            // a link back to a folder being walked
  NameClash = 8,       // strOther, a sibling, would carry the same name on the disc
  SizeUnknown = 9,     // its size reads as 0 but it has contents (a file of /proc or /sys)
};

const platform::TypeLibDesc& ScrivoTypeLib();
const platform::InterfaceDesc& DispatchInterfaceDesc();  // _DScrivo
const platform::InterfaceDesc& EventInterfaceDesc();     // _DScrivoEvents

}  // namespace scrivo
