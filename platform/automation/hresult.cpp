#include "platform/automation/hresult.h"

namespace platform {

const char* DescribeHresult(HRESULT hr) {
  switch (hr) {
    case S_OK: return "success";
    case DISP_E_MEMBERNOTFOUND: return "member not found";
    case DISP_E_UNKNOWNNAME: return "unknown name";
    case DISP_E_BADPARAMCOUNT: return "wrong number of arguments";
    case DISP_E_TYPEMISMATCH: return "type mismatch";
    case DISP_E_OVERFLOW: return "overflow";
    case CTL_E_SETNOTSUPPORTED: return "set not supported (read-only property)";
    case REGDB_E_CLASSNOTREG: return "class not registered";
    case CO_E_CLASSSTRING: return "invalid class string";
    case CO_E_DLLNOTFOUND: return "server library not found";
    case CLASS_E_CLASSNOTAVAILABLE: return "class not available";
    case E_NOINTERFACE: return "no such interface";
    default: return "failure";
  }
}

}  // namespace platform
