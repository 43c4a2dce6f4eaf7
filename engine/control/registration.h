#pragma once
// Writing and removing the control's registry entries.

#include <string>

#include "platform/automation/hresult.h"

namespace scrivo {

// Registers the control class, the property page class, their ProgIDs, the
// interfaces and the type library, served by the library at `libraryPath`.
platform::HRESULT RegisterServer(const std::string& libraryPath);
platform::HRESULT UnregisterServer();

// OLEMISC flags of the control: activate-when-visible, set-client-site-
// first, inside-out, can't-link-inside and recompose-on-resize.
constexpr unsigned kMiscStatus = 0x100 | 0x20000 | 0x80 | 0x10 | 0x1;

}  // namespace scrivo
