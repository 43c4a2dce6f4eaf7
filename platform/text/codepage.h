#pragma once
// Conversion between the narrow text the engine keeps (the locale's charset,
// UTF-8 in practice) and UTF-16, through the system's converter (iconv).

#include <string>
#include <string_view>

namespace platform {

// The narrow charset: the locale's, except that the plain C/POSIX locale
// (ASCII) is taken as UTF-8, the encoding of file names on Linux.
std::string NarrowCharset();

// How bytes that are no text in the narrow charset come out in UTF-16.
enum class InvalidBytes {
  Replace,  // each becomes U+FFFD
  // Byte b becomes U+00bb, as if it were ISO 8859-1: names that differ in
  // such bytes stay different, and a name kept in Latin-1 reads as meant.
  AsLatin1,
};

// Characters that cannot be converted become '?' (narrow) or, by default,
// U+FFFD (wide).
std::u16string NarrowToWide(std::string_view text, InvalidBytes invalid = InvalidBytes::Replace);
std::string WideToNarrow(std::u16string_view text);

// UTF-8 <-> UTF-16 regardless of the locale (for automation strings that
// hosts build from UTF-8 literals).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform
