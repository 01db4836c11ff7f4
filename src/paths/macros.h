// Directory macros ("%SYSTEM%", "%INSTALLDIR%", ...) and the shell folders
// they stand for. ExpandMacros replaces every macro in a text;
// ExpandDirMacros builds a directory path from a text that starts with one.
#ifndef SFX_PATHS_MACROS_H_
#define SFX_PATHS_MACROS_H_

#include <string>

namespace sfx {

// The destination of the current installation with a trailing backslash;
// the value of %INSTALLDIR% and %PROGRAMDIR%. Empty until the run sets it.
extern std::string InstallLocation;
// The product name, published when the header is read; value of %PROGNAME%.
extern std::string ProgName;

// The shell's path for a special folder (CSIDL), cut to 255 characters;
// empty when the shell cannot resolve it.
std::string GetSpecialFolderPath(int csidl);
// The common application-data folder with a trailing backslash.
std::string GetCommonAppDataDir();
// The shared data folder "TIV_Software\" below it, created when missing.
std::string GetSoftDataDir();
// True when `path` names an existing directory.
bool IsExistingDirectory(const std::string& path);

// Replaces every macro of the text with its value.
std::string ExpandMacros(const std::string& text);
// Builds a directory from a text that holds a macro; a text without a macro
// comes back unchanged.
std::string ExpandDirMacros(const std::string& text);

}  // namespace sfx

#endif  // SFX_PATHS_MACROS_H_
