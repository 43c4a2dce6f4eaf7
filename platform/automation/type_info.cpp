#include "platform/automation/type_info.h"

#include <algorithm>
#include <cctype>

namespace platform {

const MemberDesc* InterfaceDesc::Find(DISPID id) const {
  auto it = std::find_if(members.begin(), members.end(), [id](const MemberDesc& m) { return m.id == id; });
  return it == members.end() ? nullptr : &*it;
}

const MemberDesc* InterfaceDesc::FindByName(std::string_view wanted) const {
  auto same = [wanted](const MemberDesc& m) {
    return m.name.size() == wanted.size() &&
           std::equal(m.name.begin(), m.name.end(), wanted.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  };
  auto it = std::find_if(members.begin(), members.end(), same);
  return it == members.end() ? nullptr : &*it;
}

}  // namespace platform
