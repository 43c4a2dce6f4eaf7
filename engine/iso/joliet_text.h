#pragma once
// Joliet text: the engine's narrow names converted to UTF-16 and stored as
// big-endian code units (Joliet: UCS-2 stored big-endian).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scrivo {

// A stored name as the Joliet tree carries it, in UTF-16 code units. Bytes
// that are no text in the narrow charset (Linux names are bytes) become the
// ISO 8859-1 character of the same value, so names that differ only in such
// bytes still differ on the disc.
std::u16string JolietName(std::string_view storedName);

// The identifier bytes of a stored name: JolietName big-endian. Its length
// is twice the number of UTF-16 code units, never twice the narrow byte
// count: a multi-byte narrow character becomes one unit, not several.
std::vector<std::uint8_t> JolietIdentifier(std::string_view storedName);

// Writes `units` big-endian at `out` (2 bytes each).
void PutUcs2BigEndian(std::uint8_t* out, std::u16string_view units);

}  // namespace scrivo
