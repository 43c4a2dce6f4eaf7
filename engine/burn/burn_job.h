#pragma once
// The burn job's work on the worker: one session of the compilation onto
// the drive, then the image set back for the next job.

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
bool BurnCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host, BurnMode mode,
                     platform::Event* cancelEvent, BurnFailure& failure);

}  // namespace scrivo
