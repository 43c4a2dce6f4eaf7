#include "engine/iso/entry_refusal.h"

#include <cerrno>
#include <cstring>

#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

std::string ErrorText(int error) {
  return error == 0 ? std::string() : std::string(" (") + std::strerror(error) + ")";
}

}  // namespace

std::string_view EntryRefusal::EngineText() const {
  return folder ? kDirectoryEntryFailure : kFileEntryFailure;
}

std::string EntryRefusal::Reason() const {
  switch (kind) {
    case RefusalKind::SourceMissing:
      if (!other.empty()) return "a link to \"" + other + "\", which is not there" + ErrorText(error);
      return "no longer there: removed or renamed since it was added" + ErrorText(error);
    case RefusalKind::Unreadable:
      if (!other.empty()) return "cannot be read: " + other;
      return "cannot be read" + ErrorText(error);
    case RefusalKind::NotRegularFile:
      return "not a file whose contents can be burned (" +
             (other.empty() ? std::string("a device, FIFO or socket") : other) + ")";
    case RefusalKind::NameTooLong:
      return "name too long for the disc: " + std::to_string(value) + " bytes, at most " +
             std::to_string(limit);
    case RefusalKind::NameInvalid:
      return "a name the disc cannot hold";
    case RefusalKind::FileTooLarge:
      return "too large for the disc's format: " + std::to_string(value) + " bytes, at most " +
             std::to_string(limit);
    case RefusalKind::Loop:
      return "a link back to a folder that holds it";
    case RefusalKind::NameClash:
      return "its name on the disc would be that of \"" + other + "\" beside it";
    case RefusalKind::SizeUnknown:
      return "its size reads as 0 but it has contents (a file the system makes up as it is "
             "read, as in /proc): it would be burned empty";
  }
  return std::string(EngineText());
}

std::string EntryRefusal::Describe() const { return path + ": " + Reason(); }

}  // namespace scrivo
