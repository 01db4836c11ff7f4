// Name checks over the installation record (see package_names.h).
#include "install/package_names.h"

#include <vector>

#include "paths/concat.h"
#include "paths/name_rules.h"
#include "paths/text.h"

namespace sfx {
namespace {

// The message for `field` holding `value`, or empty when `problem` is none.
std::string Refusal(const char* field, const std::string& value,
                    NameProblem problem) {
  if (problem == NameProblem::kNone) return std::string();
  return Concat({"The installation package is not valid:\r", field, " \"",
                 value, "\" ", DescribeNameProblem(problem), "."});
}

// The program part of a launch text: before a quote (the packaged text
// then carries its arguments) or before " /" (arguments of a macro path).
std::string ProgramPart(const std::string& text) {
  std::string program = text.substr(0, text.find('"'));
  return program.substr(0, program.find(" /"));
}

// A folder key without a trailing backslash, case folded.
std::string FolderKey(const std::string& folder) {
  std::string key = NameKey(folder);
  if (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

}  // namespace

std::string FindBadPackageName(const TInstalRecord& record) {
  std::string refusal;
  // Appends the refusal of the first failing check only.
  auto check = [&refusal](const char* field, const std::string& value,
                          NameProblem problem) {
    if (refusal.empty()) refusal = Refusal(field, value, problem);
  };
  std::vector<std::string> keys;
  for (const auto& file : record.Files) {
    check("TargetDir", file->TargetDir,
          CheckRelativePath(file->TargetDir, true));
    const std::string name = LastPathComponent(file->FileName);
    check("FileName", file->FileName, CheckNameComponent(name));
    if (!file->ShortcutName.empty()) {
      check("ShortcutName", file->ShortcutName,
            CheckNameComponent(file->ShortcutName));
    }
    const std::string key =
        Concat({FolderKey(file->TargetDir), "\\", NameKey(name)});
    for (const std::string& seen : keys) {
      if (refusal.empty() && seen == key) {
        refusal = Concat({"The installation package is not valid:\rFileName \"",
                          file->FileName,
                          "\" differs only in case from another file of its "
                          "folder."});
      }
    }
    keys.push_back(key);
  }
  if (!record.MenuFolderName.empty()) {
    check("MenuFolderName", record.MenuFolderName,
          CheckRelativePath(record.MenuFolderName, false));
  }
  for (const std::string& directory : record.Directories) {
    check("Directories", directory, CheckRelativePath(directory, true));
  }
  if (!record.LaunchProgram.empty()) {
    check("LaunchProgram", record.LaunchProgram,
          CheckRelativePath(ProgramPart(record.LaunchProgram), true));
  }
  for (const auto& entry : record.PreRunFiles) {
    // Only programs that are run are written or started.
    if (entry->RunStage != 0 && entry->RunStage != 1) continue;
    std::string file_name = entry->FileName;
    if (!file_name.empty() && file_name[0] == '\\') file_name.erase(0, 1);
    if (!file_name.empty()) {
      check("FileName", entry->FileName, CheckRelativePath(file_name, true));
    }
    if (entry->ExtractFirst) {
      check("Directory", entry->Directory,
            CheckRelativePath(entry->Directory, true));
    }
  }
  return refusal;
}

}  // namespace sfx
