#include "engine/typelib/scrivo_typelib.h"

#include "engine/typelib/scrivo_ids.h"

namespace scrivo {
namespace {

using platform::InterfaceDesc;
using platform::MemberDesc;
using platform::MemberKind;
using platform::VarType;

MemberDesc ReadOnly(platform::DISPID id, std::string_view name, VarType type, std::string_view help) {
  return {id, name, MemberKind::Property, type, true, {}, help};
}

MemberDesc Method(platform::DISPID id, std::string_view name, VarType result,
                  std::vector<platform::ParamDesc> params, std::string_view help) {
  return {id, name, MemberKind::Method, result, false, std::move(params), help};
}

const InterfaceDesc kDispatch{
    "_DScrivo",
    ids::kDispatchInterface,
    "Dispatch interface for Scrivo Control",
    true,
    {
        ReadOnly(DISPID_HANUM, "HAnum", VarType::I2, "Host adapter number of the selected writer"),
        ReadOnly(DISPID_SCSIID, "SCSIID", VarType::I2, "SCSI target ID of the selected writer"),
        ReadOnly(DISPID_MEDIADESC, "MediaDesc", VarType::BSTR, "Description of the selected writer"),
        ReadOnly(DISPID_MEDIACOUNT, "MediaCount", VarType::I2, "Number of CD/DVD writers"),
        ReadOnly(DISPID_ISCDRWWRITESUPPORT, "IsCDRWWriteSupport", VarType::BOOL, "The writer writes CD-RW discs"),
        ReadOnly(DISPID_ISMULTISESSIONSSUPPORT, "IsMultiSessionsSupport", VarType::BOOL,
                 "The writer reads multi-session discs"),
        ReadOnly(DISPID_ISCDRWRITESUPPORT, "IsCDRWriteSupport", VarType::BOOL, "The writer writes CD-R discs"),
        ReadOnly(DISPID_ISDISKBLANK, "IsDiskBlank", VarType::BOOL, "The disc was blank when the writer was selected"),
        ReadOnly(DISPID_ISDISKCLOSED, "IsDiskClosed", VarType::BOOL, "The disc was closed when the writer was selected"),
        ReadOnly(DISPID_ISDISKERASABLE, "IsDiskErasable", VarType::BOOL, "The disc is rewritable"),
        ReadOnly(DISPID_ISREADDVDSUPPORT, "IsReadDVDSupport", VarType::BOOL, "The writer reads DVD discs"),
        ReadOnly(DISPID_MAXREADSPEED, "MaxReadSpeed", VarType::I4, "Maximum read speed in kB/s"),
        ReadOnly(DISPID_MAXWRITESPEED, "MaxWriteSpeed", VarType::I4, "Maximum write speed in kB/s"),
        {DISPID_VOLUMELABEL, "VolumeLabel", MemberKind::Property, VarType::BSTR, false, {},
         "Volume label of the next disc (up to 15 characters)"},
        {DISPID_KEEPLINKS, "KeepLinks", MemberKind::Property, VarType::BOOL, false, {},
         "AddDirectory records a folder's symbolic links as links (Rock Ridge) rather than what they lead to"},
        Method(DISPID_ADDDIRECTORY, "AddDirectory", VarType::Void, {{"strDir", VarType::BSTR}},
               "Adds the contents of a folder to the compilation root"),
        Method(DISPID_ADDFILE, "AddFile", VarType::Void,
               {{"strDestFileName", VarType::BSTR}, {"strSourceFileName", VarType::BSTR}},
               "Adds one file to the compilation root"),
        Method(DISPID_BLANK, "Blank", VarType::Void, {{"bFull", VarType::BOOL}}, "Erases a CD-RW"),
        Method(DISPID_CDWRITERUNITREADY, "CDWriterUnitReady", VarType::BOOL, {},
               "The selected writer is ready"),
        Method(DISPID_CANCELBURNING, "CancelBurning", VarType::Void, {}, "Cancels the running burn"),
        Method(DISPID_EJECTDISK, "EjectDisk", VarType::Void, {}, "Ejects the disc of the selected writer"),
        Method(DISPID_SETCURRENTDEVICE, "SetCurrentDevice", VarType::Void, {{"nIndex", VarType::I4}},
               "Selects a writer"),
        Method(DISPID_BURNCDDATA, "BurnCDData", VarType::Void, {{"bMultiSession", VarType::BOOL}},
               "Burns the compilation to a CD"),
        Method(DISPID_INITCONTROL, "InitControl", VarType::Void, {}, "Binds the ASPI layer"),
        Method(DISPID_SETWRITESPEED, "SetWriteSpeed", VarType::BOOL, {{"iSpeed", VarType::I2}},
               "Sets the write speed as a speed factor"),
        Method(DISPID_BURNDVDDATA, "BurnDVDData", VarType::Void, {}, "Burns the compilation to a DVD"),
        Method(DISPID_BLANKDVD, "BlankDVD", VarType::Void, {}, "Formats a DVD+RW"),
        Method(DISPID_CLOSESESSION, "CloseSession", VarType::Void, {},
               "Closes the session a burn left open on the disc, so other drives can read it"),
        Method(DISPID_SETDVDWRITESPEED, "SetDvdWriteSpeed", VarType::BOOL, {{"iSpeed", VarType::I2}},
               "Sets the write speed of the next DVD burns as a speed factor (1x: 1385 kB/s); 0: the fastest"),
        Method(DISPID_SAVEIMAGEFILE, "SaveImageFile", VarType::Void,
               {{"strImageFile", VarType::BSTR}, {"bDvd", VarType::BOOL}},
               "Writes the compilation, as a burn onto a blank CD (or DVD) would write it, to an image file; "
               "ends with ImageSaved"),
        Method(DISPID_BURNIMAGEFILE, "BurnImageFile", VarType::Void, {{"strImageFile", VarType::BSTR}},
               "Burns an ISO 9660 image file as the one session of a blank disc; ends with Finished"),
        Method(DISPID_CHECKIMAGEFILE, "CheckImageFile", VarType::BSTR, {{"strImageFile", VarType::BSTR}},
               "Why a file cannot be burned as an ISO 9660 image; empty when it can"),
        {DISPID_VERIFYAFTERBURN, "VerifyAfterBurn", MemberKind::Property, VarType::BOOL, false, {},
         "A burn reads its session back once it is closed and compares it with what it wrote (Progress "
         "runs from 0 to 100 again while it reads), then VerifyMismatch and VerifyFinished, then Finished; "
         "off by default"},
        Method(DISPID_VERIFYDISC, "VerifyDisc", VarType::Void, {},
               "Compares the disc's last session with the compilation as a burn would lay it out: Progress "
               "while it reads, then VerifyMismatch and VerifyFinished (or JobFailed, job 5)"),
        Method(DISPID_ABOUTBOX_MEMBER, "AboutBox", VarType::Void, {}, "Shows the about box"),
    }};

const InterfaceDesc kEvents{
    "_DScrivoEvents",
    ids::kEventInterface,
    "Event interface for Scrivo Control",
    false,
    {
        Method(EVENTID_PROGRESS, "Progress", VarType::Void, {{"iPos", VarType::I2}},
               "Progress of the running job, 0 to 100"),
        Method(EVENTID_FINISHED, "Finished", VarType::Void, {}, "A burn has ended"),
        Method(EVENTID_BLANKFINISHED, "BlankFinished", VarType::Void, {}, "A blank has ended"),
        Method(EVENTID_CLOSEFINISHED, "CloseFinished", VarType::Void, {},
               "The disc's open session has been closed"),
        Method(EVENTID_IMAGESAVED, "ImageSaved", VarType::Void, {}, "An image file has been saved"),
    }};

const InterfaceDesc kDiagnostics{
    "_DScrivoDiagnostics",
    ids::kDiagnosticsInterface,
    "Diagnostics interface for Scrivo Control",
    false,
    {
        Method(DIAGID_ENGINEERROR, "EngineError", VarType::Void, {{"strText", VarType::BSTR}},
               "A failure text of the engine"),
        Method(DIAGID_JOBFAILED, "JobFailed", VarType::Void,
               {{"iJob", VarType::I2},
                {"strReason", VarType::BSTR},
                {"strStep", VarType::BSTR},
                {"strCommand", VarType::BSTR},
                {"iSenseKey", VarType::I2},
                {"iAsc", VarType::I2},
                {"iAscq", VarType::I2},
                {"lBlock", VarType::I4},
                {"lErrno", VarType::I4},
                {"strPath", VarType::BSTR},
                {"lBlocksWritten", VarType::I4},
                {"iDisc", VarType::I2}},
               "A job ended without its event (1 burn, 2 blank, 3 DVD format, 4 session close, 6 image file, 7 image "
               "file burn), why, and what the "
               "disc holds: 0 untouched, 1 session closed on what was written, 2 left unfinished"),
        Method(DIAGID_ENTRYREFUSED, "EntryRefused", VarType::Void,
               {{"iKind", VarType::I2},
                {"strReason", VarType::BSTR},
                {"strPath", VarType::BSTR},
                {"strName", VarType::BSTR},
                {"bFolder", VarType::BOOL},
                {"lErrno", VarType::I4},
                {"lValue", VarType::I4},
                {"lLimit", VarType::I4},
                {"strOther", VarType::BSTR}},
               "An entry the compilation refused, after its failure text, and why: 1 removed since "
               "it was added (or a link to strOther, which is not there), 2 unreadable, 3 not a regular file, 4 name too long (lValue bytes, "
               "at most lLimit), 5 a name the disc cannot hold, 6 file too large (lValue KiB, "
               "below lLimit KiB), 7 a link back to a folder being walked, 8 a name clash with "
               "the sibling strOther"),
        Method(DIAGID_ENGINENOTICE, "EngineNotice", VarType::Void, {{"strText", VarType::BSTR}},
               "A text of the engine that does not fail the job (a damaged earlier session walked past)"),
        Method(DIAGID_BUFFERLEVEL, "BufferLevel", VarType::Void, {{"iPercent", VarType::I2}},
               "How full the burn's read-ahead buffer is, 0 to 100, as it changes while the burn writes"),
        Method(DIAGID_VERIFYMISMATCH, "VerifyMismatch", VarType::Void,
               {{"strText", VarType::BSTR},
                {"strPath", VarType::BSTR},
                {"strSource", VarType::BSTR},
                {"bUnreadable", VarType::BOOL},
                {"lBlock", VarType::I4},
                {"lBlocks", VarType::I4}},
               "A file (strPath on the disc, burned from strSource) whose blocks read back differ or "
               "cannot be read, or the disc's directory (strPath empty): lBlocks blocks from lBlock"),
        Method(DIAGID_VERIFYFINISHED, "VerifyFinished", VarType::Void,
               {{"lFiles", VarType::I4},
                {"lBlocks", VarType::I4},
                {"lDiffering", VarType::I4},
                {"bDirectoryDamaged", VarType::BOOL},
                {"bComplete", VarType::BOOL}},
               "The read-back ended: lFiles files and lBlocks blocks compared, lDiffering files differ or "
               "cannot be read, whether the directory is damaged, and whether every block was read (a "
               "cancel stops it)"),
    }};

const platform::TypeLibDesc kTypeLib{
    "SCRIVOLib",
    ids::kTypeLibrary,
    1,
    0,
    "Scrivo ActiveX Control",
    {&kDispatch, &kEvents, &kDiagnostics},
    {{"Scrivo", ids::kControlClass, "Scrivo Control", &kDispatch, &kEvents, true}}};

}  // namespace

const platform::TypeLibDesc& ScrivoTypeLib() { return kTypeLib; }
const platform::InterfaceDesc& DispatchInterfaceDesc() { return kDispatch; }
const platform::InterfaceDesc& EventInterfaceDesc() { return kEvents; }

}  // namespace scrivo
