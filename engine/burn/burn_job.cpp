#include "engine/burn/burn_job.h"

#include "engine/burn/burn_session.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"

namespace scrivo {

bool BurnCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host, BurnMode mode,
                     platform::Event* cancelEvent, BurnFailure& failure) {
  BurnSession session(image, drive, host, cancelEvent);
  const bool closed = session.Run(mode);
  failure = session.Failure();
  // Entries read back from this disc point at its blocks: kept after a
  // failure, they would put dangling extents into the next burn, which may
  // go to another disc. The host's own entries stay.
  if (!closed) image.Root().RemoveEntriesFrom(kImportedSource);
  image.ResetImage();
  return closed;
}

}  // namespace scrivo
