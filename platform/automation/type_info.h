#pragma once
// Type library descriptions: the single table of an interface's members
// (names, dispatch ids, parameter types, help strings) from which both
// dispatch and name look-up are derived.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/automation/guid.h"
#include "platform/automation/variant.h"

namespace platform {

using DISPID = std::int32_t;
constexpr DISPID DISPID_ABOUTBOX = -552;

enum class MemberKind { Method, Property };

struct ParamDesc {
  std::string_view name;
  VarType type;
};

struct MemberDesc {
  DISPID id;
  std::string_view name;
  MemberKind kind;
  VarType type;  // property type, or a method's result (Void for none)
  bool readOnly;
  std::vector<ParamDesc> params;
  std::string_view help;
};

struct InterfaceDesc {
  std::string_view name;
  IID iid;
  std::string_view help;
  bool hidden;
  std::vector<MemberDesc> members;

  const MemberDesc* Find(DISPID id) const;
  // Names are matched without regard to case, as automation does.
  const MemberDesc* FindByName(std::string_view wanted) const;
};

struct CoClassDesc {
  std::string_view name;
  CLSID clsid;
  std::string_view help;
  const InterfaceDesc* defaultInterface;
  const InterfaceDesc* defaultSource;
  bool control;
};

struct TypeLibDesc {
  std::string_view name;
  GUID libid;
  std::uint16_t majorVersion;
  std::uint16_t minorVersion;
  std::string_view help;
  std::vector<const InterfaceDesc*> interfaces;
  std::vector<CoClassDesc> coclasses;
};

}  // namespace platform
