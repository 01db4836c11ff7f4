// Name checks over the installation record (see package_names.h).
#include "install/package_names.h"

#include "paths/concat.h"
#include "paths/name_rules.h"
#include "paths/text.h"

namespace sfx {
namespace {

constexpr char kInvalid[] = "The installation package is not valid:\r";

// Keeps the first refusal; the checks are plain calls so that the
// installer stays small.
class Checker {
 public:
  // A path of components below its base folder (empty passes); with
  // `macro`, a directory macro may lead it elsewhere.
  void Path(const char* field, const std::string& value, bool macro) {
    Refuse(field, value, CheckRelativePath(value, macro));
  }
  void Refuse(const char* field, const std::string& value,
              NameProblem problem) {
    if (problem == NameProblem::kNone || !refusal.empty()) return;
    refusal = Concat({kInvalid, field, " \"", value, "\" ",
                      DescribeNameProblem(problem), "."});
  }
  std::string refusal;
};

// The program part of a launch text: before a quote (the packaged text
// then carries its arguments) or before " /" (arguments of a macro path).
std::string ProgramPart(const std::string& text) {
  std::size_t end = text.find('"');
  const std::size_t arguments = text.find(" /");
  if (arguments < end) end = arguments;
  return text.substr(0, end);
}

// The key of a packaged file: its folder and name, case folded, so that
// two files that Windows would take for one compare equal.
std::string FileKey(const TInstallFileRecord& file) {
  std::string key = NameKey(file.TargetDir);
  if (!key.empty() && key.back() != '\\') key += '\\';
  key += NameKey(LastPathComponent(file.FileName));
  return key;
}

}  // namespace

std::string FindBadPackageName(const TInstalRecord& record) {
  Checker checker;
  const std::size_t count = record.Files.size();
  for (std::size_t i = 0; i < count; ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    checker.Path("TargetDir", file.TargetDir, true);
    // Only the last component names the file; the rest must not escape.
    checker.Path("FileName", file.FileName, false);
    checker.Path("ShortcutName", file.ShortcutName, false);
    const std::string key = FileKey(file);
    for (std::size_t j = 0; j < i; ++j) {
      if (checker.refusal.empty() && FileKey(*record.Files[j]) == key) {
        checker.refusal = Concat({kInvalid, "FileName \"", file.FileName,
                                  "\" differs only in case from another "
                                  "file of its folder."});
      }
    }
  }
  checker.Path("MenuFolderName", record.MenuFolderName, false);
  for (const std::string& directory : record.Directories) {
    checker.Path("Directories", directory, true);
  }
  checker.Path("LaunchProgram", ProgramPart(record.LaunchProgram), true);
  for (const auto& entry : record.PreRunFiles) {
    // Only programs that are run are written or started.
    if (entry->RunStage != 0 && entry->RunStage != 1) continue;
    const std::string& name = entry->FileName;
    checker.Path("FileName", name.substr(!name.empty() && name[0] == '\\'),
                 true);
    if (entry->ExtractFirst) {
      checker.Path("Directory", entry->Directory, true);
    }
  }
  return checker.refusal;
}

}  // namespace sfx
