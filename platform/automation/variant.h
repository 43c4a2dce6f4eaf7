#pragma once
// The automation value: the types the control's members take and return.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "platform/automation/hresult.h"

namespace platform {

enum class VarType : std::uint16_t { Empty = 0, I2 = 2, I4 = 3, BSTR = 8, BOOL = 11, Void = 24 };

// Automation booleans: -1 is true, 0 is false.
using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

class Variant {
 public:
  Variant() = default;
  static Variant I2(std::int16_t v) { return Variant(Value(std::in_place_index<1>, v)); }
  static Variant I4(std::int32_t v) { return Variant(Value(std::in_place_index<2>, v)); }
  static Variant Bool(bool v) {
    return Variant(Value(std::in_place_index<3>, v ? VARIANT_TRUE : VARIANT_FALSE));
  }
  static Variant Bstr(std::u16string v) { return Variant(Value(std::in_place_index<4>, std::move(v))); }

  VarType Type() const;
  bool IsEmpty() const { return value_.index() == 0; }
  std::int16_t AsI2() const { return std::get<1>(value_); }
  std::int32_t AsI4() const { return std::get<2>(value_); }
  bool AsBool() const { return std::get<3>(value_) != VARIANT_FALSE; }
  VARIANT_BOOL RawBool() const { return std::get<3>(value_); }
  const std::u16string& AsBstr() const { return std::get<4>(value_); }

  // Converts between the numeric types (I2, I4, BOOL) as automation does;
  // text converts only to text. Out-of-range numbers overflow.
  HRESULT ChangeType(VarType to, Variant& out) const;

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  using Value = std::variant<std::monostate, std::int16_t, std::int32_t, VARIANT_BOOL, std::u16string>;
  explicit Variant(Value v) : value_(std::move(v)) {}
  Value value_;
};

}  // namespace platform
