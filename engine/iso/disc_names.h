#pragma once
// The identifiers the entries of a folder carry on the disc: in the ISO 9660
// tree a readable 8.3 name of d-characters (what players and firmware that
// read only ISO 9660 list), in the Joliet tree the name as the user named it
// wherever Joliet and its readers can hold it. Both are unique within their
// folder as readers show them, so no reader lists two entries under one name.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/iso/image_node.h"

namespace scrivo {

// ECMA-119 7.5.1 / 7.6.3 at interchange level 1: a file's name and
// extension, a folder's whole name, in d-characters.
constexpr std::size_t kIsoNameCharacters = 8;
constexpr std::size_t kIsoExtensionCharacters = 3;

// The ISO 9660 form of a name before it is made unique: d-characters in
// upper case (any other character, a multi-byte one included, becomes one
// "_"), a file's last extension kept ("NAME.EXT;1", "NAME.;1" without one),
// a folder's name without "." or version.
std::string IsoFormOf(std::string_view name, bool isFile);

// The Joliet identifier of a name before it is made unique: its UTF-16 units
// with ";" (the version separator, which every reader cuts a name at) as
// "_", shortened to limits::kJolietNameUnits keeping its extension.
std::u16string JolietFormOf(std::u16string_view name);

// What readers list for a Joliet identifier: some drop one trailing ".".
// Two identifiers of one folder must differ in this form.
std::u16string JolietReaderView(std::u16string_view identifier);

// What readers that use only ISO 9660 list for an identifier: without its
// version and the "." of an empty extension (a file "NOTES.;1" lists as
// NOTES, as a folder NOTES does).
std::string IsoReaderView(std::string_view identifier);

// An ISO 9660 name or base with `number` in place of its end, within
// kIsoNameCharacters: NOTES1, LONGNA12.
std::string NumberedIsoBase(std::string_view base, unsigned number);

// Gives each child of `directory` its isoName and jolietIdentifier (an
// imported file keeps its carriedJolietName however long), unique within
// the folder; the first in stored-name order keeps its plain form, a later
// one that meets it gets a number in its tail.
void AssignDiscNames(CImageNode& directory);

// The primary volume identifier of a label: d-characters in upper case,
// one "_" for each other character.
std::string IsoVolumeIdentifier(std::string_view label);

}  // namespace scrivo
