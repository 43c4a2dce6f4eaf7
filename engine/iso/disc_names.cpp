#include "engine/iso/disc_names.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/iso/compilation_limits.h"
#include "engine/iso/joliet_text.h"

namespace scrivo {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// d-characters (ECMA-119 7.4.1) in upper case; any other character, a
// surrogate pair as one, becomes "_".
std::string DCharacters(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= u'a' && c <= u'z') {
      out.push_back(static_cast<char>(c - u'a' + 'A'));
    } else if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('_');
      if (IsHighSurrogate(c) && i + 1 < units.size()) ++i;
    }
  }
  return out;
}

struct IsoParts {
  std::string base;
  std::string extension;
  bool isFile;
  std::string Join() const { return isFile ? base + "." + extension + std::string(limits::kVersionSuffix) : base; }
};

IsoParts IsoPartsOf(std::string_view name, bool isFile) {
  const std::u16string units = JolietName(name);
  std::u16string_view base = units;
  std::u16string_view extension;
  // A leading "." (".profile") starts no extension: it is part of the name.
  const std::size_t dot = units.rfind(u'.');
  if (isFile && dot != std::u16string::npos && dot > 0) {
    base = base.substr(0, dot);
    extension = std::u16string_view(units).substr(dot + 1);
  }
  IsoParts parts{DCharacters(base).substr(0, kIsoNameCharacters),
                 DCharacters(extension).substr(0, kIsoExtensionCharacters), isFile};
  if (parts.base.empty()) parts.base = "_";
  return parts;
}

// Where a Joliet identifier's extension starts (a "." after its first unit,
// not its last, at most 16 units from the end); its size when it has none.
std::size_t ExtensionStart(std::u16string_view name) {
  constexpr std::size_t kLongestExtension = 16;
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || dot + 1 == name.size() ||
      name.size() - dot > kLongestExtension) {
    return name.size();
  }
  return dot;
}

// `stem` + `tail` + the extension within the Joliet limit, the stem cut
// between characters.
std::u16string Shortened(std::u16string_view name, std::u16string_view tail) {
  const std::size_t extensionStart = ExtensionStart(name);
  const std::u16string_view extension = name.substr(extensionStart);
  std::u16string stem(name.substr(0, extensionStart));
  const std::size_t room = limits::kJolietNameUnits - tail.size() - extension.size();
  if (stem.size() > room) {
    stem.resize(room);
    if (!stem.empty() && IsHighSurrogate(stem.back())) stem.pop_back();
  }
  return stem.append(tail).append(extension);
}

std::u16string WithoutVersionSeparator(std::u16string_view name) {
  std::u16string form(name);
  std::replace(form.begin(), form.end(), u';', u'_');
  return form;
}

std::u16string NumberTail(unsigned number) {
  std::u16string tail = u"~";
  for (char digit : std::to_string(number)) tail.push_back(static_cast<char16_t>(digit));
  return tail;
}

}  // namespace

std::string IsoFormOf(std::string_view name, bool isFile) { return IsoPartsOf(name, isFile).Join(); }

std::u16string JolietFormOf(std::u16string_view name) {
  std::u16string form = WithoutVersionSeparator(name);
  if (form.size() > limits::kJolietNameUnits) form = Shortened(form, {});
  return form;
}

std::string IsoReaderView(std::string_view identifier) {
  if (identifier.ends_with(limits::kVersionSuffix)) identifier.remove_suffix(limits::kVersionSuffix.size());
  if (!identifier.empty() && identifier.back() == '.') identifier.remove_suffix(1);
  return std::string(identifier);
}

std::string NumberedIsoBase(std::string_view base, unsigned number) {
  const std::string digits = std::to_string(number);
  return std::string(base.substr(0, std::min(base.size(), kIsoNameCharacters - digits.size()))) + digits;
}

std::u16string JolietReaderView(std::u16string_view identifier) {
  if (!identifier.empty() && identifier.back() == u'.') identifier.remove_suffix(1);
  return std::u16string(identifier);
}

void AssignDiscNames(CImageNode& directory) {
  std::set<std::string> isoTaken;
  std::map<std::string, unsigned> isoNumbers;  // the last number tried per plain form
  std::set<std::u16string> jolietTaken;
  std::map<std::u16string, unsigned> jolietNumbers;
  for (auto& [storedName, child] : directory.children) {
    IsoParts parts = IsoPartsOf(storedName, child->isFile);
    std::string iso = parts.Join();
    if (!isoTaken.insert(IsoReaderView(iso)).second) {
      // A number replaces the end of the name: NOTES1.TXT, LONGNA12.TXT.
      unsigned& number = isoNumbers[iso];
      const std::string base = parts.base;
      do {
        parts.base = NumberedIsoBase(base, ++number);
        iso = parts.Join();
      } while (!isoTaken.insert(IsoReaderView(iso)).second);
    }
    child->isoName = std::move(iso);

    // An earlier session's own identifier is kept as long as its record
    // held it; a name is shortened past what a new identifier holds.
    const std::u16string plain = child->carriedJolietName.empty()
                                     ? JolietFormOf(JolietName(storedName))
                                     : WithoutVersionSeparator(child->carriedJolietName);
    std::u16string joliet = plain;
    if (!jolietTaken.insert(JolietReaderView(joliet)).second) {
      // A number before the extension: "notes~1", "photo~2.jpg".
      unsigned& number = jolietNumbers[plain];
      do {
        joliet = Shortened(plain, NumberTail(++number));
      } while (!jolietTaken.insert(JolietReaderView(joliet)).second);
    }
    child->jolietIdentifier = std::move(joliet);
  }
}

std::string IsoVolumeIdentifier(std::string_view label) { return DCharacters(JolietName(label)); }

}  // namespace scrivo
