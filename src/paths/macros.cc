// Directory macros: their values (system folders from the platform, the
// installation directory, the product name) and the two expanders. The
// text expander replaces macros anywhere in a text; the directory expander
// builds a directory path, ending in a backslash, around the first macro.
#include "paths/macros.h"

#include <cstddef>

#include "paths/concat.h"
#include "paths/text.h"
#include "platform/platform.h"

namespace sfx {

String InstallLocation;
String ProgName;

namespace {

constexpr char kSystemMacro[] = "%SYSTEM%";
constexpr char kTempMacro[] = "%TEMP%";
constexpr char kWindowsMacro[] = "%WINDOWS%";
constexpr char kProgramDirMacro[] = "%PROGRAMDIR%";
constexpr char kInstallDirMacro[] = "%INSTALLDIR%";
constexpr char kSoftDataDirMacro[] = "%TIVSOFTDATADIR%";
constexpr char kCommonAppDataMacro[] = "%COMMONAPPDATA%";
constexpr char kProgNameMacro[] = "%PROGNAME%";
constexpr char kCurrentDirMacro[] = "%CURRENTDIR%";

constexpr char kSoftDataFolder[] = "TIV_Software\\";

// A directory value as the text expander uses it: with a trailing
// backslash, within the 255 characters of a short text.
String DirValue(const String& directory) {
  return ToShortText(AddTrailingBackslash(directory));
}

String WithoutTrailingBackslash(String text) {
  if (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

// The part of the first 255 characters of `upper` that follows the first
// occurrence of `macro`. The caller knows that `upper` holds it.
String AfterMacro(const String& upper, const char* macro) {
  String head = ToShortText(upper);
  String macro_text(macro);
  std::size_t at = head.find(macro_text);
  if (at == String::npos) return String();
  return head.substr(at + macro_text.size());
}

bool Contains(const String& upper, const char* macro) {
  return upper.find(macro) != String::npos;
}

}  // namespace

const char* const kMacroNames[kMacroCount] = {
    kSystemMacro,        kTempMacro,       kWindowsMacro,
    kProgramDirMacro,    kInstallDirMacro, kSoftDataDirMacro,
    kCommonAppDataMacro, kProgNameMacro,   kCurrentDirMacro};

bool CreateDirectoryPath(const String& path) {
  if (path.empty()) return false;
  const String dir = WithoutTrailingBackslash(path);
  if (dir.size() < 3 || IsExistingDirectory(dir)) return true;
  std::size_t cut = dir.find_last_of("\\:");
  String parent = cut == String::npos ? String() : dir.substr(0, cut + 1);
  if (parent == dir) return true;
  if (!CreateDirectoryPath(parent)) return false;
  Os().CreateDirectory(dir);
  return true;
}

String GetSpecialFolderPath(int csidl) {
  return ToShortText(Os().GetSpecialFolderPath(csidl, 0));
}

String GetCommonAppDataDir() {
  return AddTrailingBackslashShort(
      GetSpecialFolderPath(os::kCsidlCommonAppData));
}

String GetSoftDataDir() {
  String common = GetCommonAppDataDir();
  String path = ToShortText(Concat({common, kSoftDataFolder}));
  // Without a common folder the path would be relative and the folder
  // would appear in whatever directory is current; it is not created then.
  if (!common.empty()) CreateDirectoryPath(path);
  return path;
}

bool IsExistingDirectory(const String& path) {
  std::uint32_t attributes = Os().GetFileAttributes(path);
  return attributes != os::kInvalidAttributes &&
         (attributes & os::kAttributeDirectory) != 0;
}

String ExpandMacros(const String& text) {
  if (text.empty()) return String();
  Platform& os = Os();
  // Every value is worked out on each call, as the shared data folder's
  // creation depends on it; the macros are replaced in the order of
  // kMacroNames.
  const String install_dir = DirValue(InstallLocation);
  const String values[] = {DirValue(os.GetSystemDirectory()),
                           DirValue(os.GetTempPath()),
                           DirValue(os.GetWindowsDirectory()),
                           install_dir,
                           install_dir,
                           GetSoftDataDir(),
                           GetCommonAppDataDir(),
                           ProgName,
                           DirValue(os.GetCurrentDirectory())};
  static_assert(kMacroCount == sizeof values / sizeof values[0]);

  String result = text;
  for (std::size_t i = 0; i < kMacroCount; ++i) {
    ReplaceAllText(result, kMacroNames[i], values[i]);
  }
  return result;
}

String ExpandDirMacros(const String& text) {
  const String upper = UpperCaseLatin(text);
  String result = text;

  // Prefix rule: whatever precedes the macro is dropped, the directory
  // takes its place and the (upper-cased) remainder follows it.
  struct Prefix {
    const char* macro;
    String (*directory)();  // the macro's value
  };
  static const Prefix kPrefixes[] = {
      {kSystemMacro, [] { return Os().GetSystemDirectory(); }},
      {kTempMacro, [] { return Os().GetTempPath(); }},
      {kWindowsMacro, [] { return Os().GetWindowsDirectory(); }},
      {kProgramDirMacro, [] { return InstallLocation; }},
  };
  for (const Prefix& prefix : kPrefixes) {
    if (!Contains(upper, prefix.macro)) continue;
    result = WithoutTrailingBackslash(prefix.directory()) +
             AfterMacro(upper, prefix.macro);
    result = AddTrailingBackslash(result);
  }

  if (Contains(upper, kInstallDirMacro)) {
    result = text;
    ReplaceAllText(result, kInstallDirMacro, InstallLocation);
    result = AddTrailingBackslashShort(result);
  }

  if (Contains(upper, kCurrentDirMacro)) {
    // The remainder stays relative and resolves against the current
    // directory when it is used.
    result = AfterMacro(upper, kCurrentDirMacro);
  }

  // Replacement rule: the macro's value replaces it where it stands.
  static const Prefix kReplaced[] = {
      {kSoftDataDirMacro, GetSoftDataDir},
      {kCommonAppDataMacro, GetCommonAppDataDir},
      {kProgNameMacro, [] { return ProgName; }},
  };
  for (const Prefix& replaced : kReplaced) {
    if (!Contains(upper, replaced.macro)) continue;
    ReplaceAllText(result, replaced.macro, replaced.directory());
    result = AddTrailingBackslashShort(result);
  }
  return result;
}

}  // namespace sfx
