// Directory macros ("%SYSTEM%", "%INSTALLDIR%", ...) and the shell folders
// they stand for. ExpandMacros replaces every macro in a text;
// ExpandDirMacros builds a directory path from a text that starts with one.
#ifndef SFX_PATHS_MACROS_H_
#define SFX_PATHS_MACROS_H_

#include <cstddef>

#include "base/string.h"

namespace sfx {

// The destination of the current installation with a trailing backslash;
// the value of %INSTALLDIR% and %PROGRAMDIR%. Empty until the run sets it.
extern String InstallLocation;
// The product name, published when the header is read; value of %PROGNAME%.
extern String ProgName;

// The shell's path for a special folder (CSIDL), cut to 255 characters;
// empty when the shell cannot resolve it.
String GetSpecialFolderPath(int csidl);
// The common application-data folder with a trailing backslash.
String GetCommonAppDataDir();
// The shared data folder "TIV_Software\" below it, created when missing.
String GetSoftDataDir();
// True when `path` names an existing directory.
bool IsExistingDirectory(const String& path);
// Creates `path` and its missing parents; false (nothing created) for an
// empty path or a path without a parent.
bool CreateDirectoryPath(const String& path);

// Replaces every macro of the text with its value.
String ExpandMacros(const String& text);

// The macros of package texts, upper-case as UpperCaseLatin gives them, in
// the order in which ExpandMacros replaces them (name_rules.cc looks for
// them too: one copy of the names in the program).
inline constexpr std::size_t kMacroCount = 9;
extern const char* const kMacroNames[kMacroCount];
// Builds a directory from a text that holds a macro; a text without a macro
// comes back unchanged.
String ExpandDirMacros(const String& text);

}  // namespace sfx

#endif  // SFX_PATHS_MACROS_H_
