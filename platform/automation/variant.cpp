#include "platform/automation/variant.h"

#include <limits>

namespace platform {

VarType Variant::Type() const {
  switch (value_.index()) {
    case 1: return VarType::I2;
    case 2: return VarType::I4;
    case 3: return VarType::BOOL;
    case 4: return VarType::BSTR;
    default: return VarType::Empty;
  }
}

namespace {

std::optional<std::int64_t> NumericValue(const Variant& v) {
  switch (v.Type()) {
    case VarType::I2: return v.AsI2();
    case VarType::I4: return v.AsI4();
    case VarType::BOOL: return v.RawBool();
    default: return std::nullopt;
  }
}

}  // namespace

HRESULT Variant::ChangeType(VarType to, Variant& out) const {
  if (to == Type()) {
    out = *this;
    return S_OK;
  }
  if (to == VarType::BSTR || Type() == VarType::BSTR) return DISP_E_TYPEMISMATCH;
  auto number = NumericValue(*this);
  if (!number) return DISP_E_TYPEMISMATCH;
  switch (to) {
    case VarType::I2:
      if (*number < std::numeric_limits<std::int16_t>::min() || *number > std::numeric_limits<std::int16_t>::max())
        return DISP_E_OVERFLOW;
      out = I2(static_cast<std::int16_t>(*number));
      return S_OK;
    case VarType::I4:
      out = I4(static_cast<std::int32_t>(*number));
      return S_OK;
    case VarType::BOOL:
      out = Bool(*number != 0);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace platform
