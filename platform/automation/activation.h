#pragma once
// Creating registered objects: class id or ProgID -> registry -> the server
// library -> its class factory -> the object.

#include <string>
#include <string_view>

#include "platform/automation/com.h"

namespace platform {

// Registry keys a server writes for its classes.
std::string ClassKey(const CLSID& clsid);   // "Classes/CLSID/{...}"
std::string ProgIdKey(std::string_view progId);  // "Classes/<ProgID>"

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid);
HRESULT CoGetClassObject(const CLSID& clsid, const IID& iid, void** out);
HRESULT CoCreateInstance(const CLSID& clsid, const IID& iid, void** out);

// The entry points of an in-process server library.
using DllGetClassObjectFn = HRESULT (*)(const CLSID*, const IID*, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

}  // namespace platform
