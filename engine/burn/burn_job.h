#pragma once
// The burn job's work on the worker: one session of the compilation onto
// the drive, then the image set back for the next job; and the verify job's:
// the disc's last session read back and compared with the compilation.

#include <string>

#include "engine/burn/burn_failure.h"
#include "engine/drive/burn_mode.h"

namespace platform {
class Event;
}  // namespace platform

namespace scrivo {

class BurnDrive;
class CImageBuilder;
class EngineHost;

// Burns the compilation of `image` onto `drive` (BurnSession), then resets
// the image; a failed burn also drops the entries it read back from the
// disc, and says why in `failure`. True when the session was closed.
// `verify`: the closed session is read back and compared before the end.
bool BurnCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host, BurnMode mode,
                     platform::Event* cancelEvent, BurnFailure& failure, bool verify = false);

// Lays the compilation out as a burn of it would at the start of the disc's
// last session, reads that session back and compares it block by block
// (progress in per mille, the result through ReportVerify), then resets the
// image. False, with the reason in `failure`, when there is nothing to
// compare: no session on the disc, or a layout or source that failed.
bool VerifyCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host,
                       platform::Event* cancelEvent, std::string& failure);

}  // namespace scrivo
