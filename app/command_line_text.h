#pragma once
// What `quillonburner --help` says, kept apart from the program so that its
// manual page is generated from the same words (tools/docgen).

namespace quillonburner_text {

inline constexpr const char* kDescription =
    "Burns files and folders onto CD and DVD discs, erases rewritable CDs and reports what a writer and its disc "
    "can do.";
inline constexpr const char* kPathName = "PATH";
inline constexpr const char* kPathHelp = "Files and folders to put in the compilation, as if dropped on the window.";
inline constexpr const char* kPathSyntax = "[PATH...]";
inline constexpr const char* kBurnImageOption = "burn-image";
inline constexpr const char* kBurnImageValue = "FILE.iso";
inline constexpr const char* kBurnImageHelp =
    "Opens the window ready to burn the ISO 9660 image FILE.iso, as File, Burn Image... does (a file manager's "
    "\"Open With\" on an image).";

}  // namespace quillonburner_text
