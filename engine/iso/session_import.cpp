#include "engine/iso/image_builder.h"

namespace scrivo {

// Reading the previous session back is not part of the engine yet: a
// multi-session burn fails before anything is written.
bool CImageBuilder::ImportPreviousSession() { return false; }

}  // namespace scrivo
