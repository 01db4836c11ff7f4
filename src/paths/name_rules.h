// The names the installer may write. Every name and directory field of a
// package (target directories, listed directories, the menu folder,
// shortcut names, file names, the launch and pre-run programs) must stay
// inside the destination, the program menu or a macro directory and must
// name an ordinary file on Windows. sfxtool refuses a manifest that breaks
// these rules and the installer refuses a package that does.
#ifndef SFX_PATHS_NAME_RULES_H_
#define SFX_PATHS_NAME_RULES_H_

#include "base/string.h"

namespace sfx {

enum class NameProblem {
  kNone,
  kEmpty,            // an empty name, or an empty component ("a\\b")
  kDotComponent,     // "." or ".." as a component
  kRooted,           // a drive ("C:"), a root ("\x") or a UNC path, no macro
  kForbiddenChar,    // < > : " / \ | ? * or a control character
  kDeviceName,       // CON, PRN, AUX, NUL, COM0-9, LPT0-9, any extension
  kTrailingDotSpace  // ends with a dot or a blank, which Windows drops
};

// One component: a file or folder name without separators.
NameProblem CheckNameComponent(const String& name);

// The product name, which names a key below the uninstall key and stands
// for %PROGNAME% in paths: no separator (backslash, slash), no control
// character, not "." or "..", no drive ("C:..."). Other characters Windows
// forbids in file names only keep %PROGNAME% out of paths, so they are
// left to fail there.
NameProblem CheckProductName(const String& name);

// A path of components separated by backslashes. An empty path passes
// (it names the base folder itself), and so does one trailing backslash.
// When `macro_allowed`, a directory macro ("%INSTALLDIR%", "%SYSTEM%", ...)
// may stand anywhere; the text up to and including the last macro is taken
// as the system's and only what follows it is checked, so a macro is the
// one way to leave the base folder. Without a macro the path is relative.
NameProblem CheckRelativePath(const String& path, bool macro_allowed);

// The problem in words, for messages: "is empty", "has a . or ..
// component", ...
const char* DescribeNameProblem(NameProblem problem);

// A byte of a code page 1252 name as Windows compares names: a small
// letter (a-z, and 0xE0-0xFE but the division sign, s, oe and z with
// their marks, y with diaeresis) becomes its capital; every other byte,
// sharp s among them, stays.
char FoldNameChar(char c);

// The key under which Windows compares two names in one folder;
// equal keys mean the same file.
String NameKey(const String& name);

}  // namespace sfx

#endif  // SFX_PATHS_NAME_RULES_H_
