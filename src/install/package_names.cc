// Name checks over the installation record (see package_names.h).
#include "install/package_names.h"

#include <cstdint>
#include <string_view>

#include "base/vector.h"
#include "paths/concat.h"
#include "paths/name_rules.h"

namespace sfx {
namespace {

constexpr char kInvalid[] = "The installation package is not valid:\r";

// Keeps the first refusal; the checks are plain calls so that the
// installer stays small.
class Checker {
 public:
  // A path of components below its base folder (empty passes); with
  // `macro`, a directory macro may lead it elsewhere.
  void Path(const char* field, const String& value, bool macro) {
    Refuse(field, value, CheckRelativePath(value, macro));
  }
  void Refuse(const char* field, const String& value, NameProblem problem) {
    if (problem == NameProblem::kNone || !refusal.empty()) return;
    refusal = Concat({kInvalid, std::string_view(field), " \"", value, "\" ",
                      std::string_view(DescribeNameProblem(problem)), "."});
  }
  String refusal;
};

// The program part of a launch text: before a quote (the packaged text
// then carries its arguments) or before " /" (arguments of a macro path).
String ProgramPart(const String& text) {
  std::size_t end = text.find('"');
  const std::size_t arguments = text.find(" /");
  if (arguments < end) end = arguments;
  return text.substr(0, end);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldNameChar(a[i]) != FoldNameChar(b[i])) return false;
  }
  return true;
}

// The folder of a target directory, without its trailing backslash.
std::string_view Folder(const String& target_dir) {
  std::string_view folder = target_dir;
  if (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return folder;
}

// The name a file entry is written under: its last path component.
std::string_view Name(const String& file_name) {
  std::string_view name = file_name;
  const std::size_t cut = name.rfind('\\');
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  return name;
}

// Whether Windows would take the two files for one (compared without
// building texts: a package may hold thousands of files).
bool SameFile(const TInstallFileRecord& a, const TInstallFileRecord& b) {
  return SameName(Name(a.FileName), Name(b.FileName)) &&
         SameName(Folder(a.TargetDir), Folder(b.TargetDir));
}

// A hash of the folder and the name as Windows compares them: files that
// Windows takes for one have the same.
std::uint32_t FileKey(const TInstallFileRecord& file) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  const std::string_view parts[] = {Folder(file.TargetDir), "\\",
                                    Name(file.FileName)};
  for (const std::string_view part : parts) {
    for (const char c : part) {
      hash = (hash ^ static_cast<unsigned char>(FoldNameChar(c))) * 16777619u;
    }
  }
  return hash;
}

}  // namespace

String FindBadPackageName(const TInstalRecord& record) {
  Checker checker;
  const std::size_t count = record.Files.size();
  // The files seen so far, by FileKey in an open-addressed table (a file's
  // index + 1; 0 is free), so that a package of many files is checked in
  // about as many steps as it has files.
  std::size_t capacity = 16;
  while (capacity < 2 * count) capacity *= 2;
  Vector<std::uint32_t> seen(capacity, 0);
  Vector<std::uint32_t> keys(capacity, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    checker.Path("TargetDir", file.TargetDir, true);
    // Only the last component names the file; the rest must not escape.
    checker.Path("FileName", file.FileName, false);
    checker.Path("ShortcutName", file.ShortcutName, false);
    const std::uint32_t key = FileKey(file);
    std::size_t at = key & (capacity - 1);
    for (; seen[at] != 0; at = (at + 1) & (capacity - 1)) {
      if (checker.refusal.empty() && keys[at] == key &&
          SameFile(*record.Files[seen[at] - 1], file)) {
        checker.refusal = Concat({kInvalid, "FileName \"", file.FileName,
                                  "\" differs only in case from another "
                                  "file of its folder."});
      }
    }
    seen[at] = static_cast<std::uint32_t>(i + 1);
    keys[at] = key;
  }
  checker.Refuse("ProductName", record.ProductName,
                 CheckProductName(record.ProductName));
  checker.Path("MenuFolderName", record.MenuFolderName, false);
  for (const String& directory : record.Directories) {
    checker.Path("Directories", directory, true);
  }
  checker.Path("LaunchProgram", ProgramPart(record.LaunchProgram), true);
  for (const auto& entry : record.PreRunFiles) {
    // Only programs that are run are written or started.
    if (entry->RunStage != 0 && entry->RunStage != 1) continue;
    const String& name = entry->FileName;
    checker.Path("FileName", name.substr(!name.empty() && name[0] == '\\'),
                 true);
    if (entry->ExtractFirst) {
      checker.Path("Directory", entry->Directory, true);
    }
  }
  return checker.refusal;
}

}  // namespace sfx
