// Program-menu and desktop shortcuts: one menu folder for the product, a
// shell link per packaged file that names a shortcut, optionally a second
// one on the desktop, each recorded in the installation log key so that the
// uninstaller can remove it.
#include "install/shortcuts.h"

#include "install/installation.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/name_rules.h"
#include "paths/text.h"
#include "platform/exception.h"
#include "platform/report.h"

namespace sfx {
namespace {

constexpr char kLinkExtension[] = ".LNK";

// Writes a log value; a refused value ends the installation run.
void WriteLogValue(RegistryKey& log_key, const std::string& name,
                   const std::string& value) {
  if (!log_key.SetString(name, value)) throw Exception(name);
}

// Brackets the work with the component system's initialisation, also when
// a log value cannot be written.
class ComScope {
 public:
  ComScope() { Os().CoInitialize(); }
  ~ComScope() { Os().CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// Writes one link; a link that could not be made is not logged (the
// uninstaller would look for it) and makes the run's exit code 5.
bool MakeLink(const std::string& target, const std::string& link,
              const std::string& arguments, const std::string& directory) {
  if (Os().CreateShellLink(target, link, std::string(), arguments, directory) >=
      0) {
    LogLine(Concat({"Shortcut ", link}));
    return true;
  }
  LogLine(Concat({"Cannot create the shortcut ", link}));
  SetExitCode(ExitCode::kStepFailed);
  return false;
}

}  // namespace

void CreateShortcuts(const TInstalRecord& record, RegistryKey& log_key) {
  if (record.MenuFolderName.empty()) return;
  ComScope com;
  InstallLocation = AddTrailingBackslash(DestBuffer);

  // A folder the shell cannot name gives no links (and no log values for
  // them): its empty path would put them at the root of the current drive.
  const std::string programs =
      Os().GetSpecialFolderPath(os::kCsidlPrograms, MainWindow);
  const std::string desktop_folder =
      Os().GetSpecialFolderPath(os::kCsidlDesktop, MainWindow);
  const std::string menu_folder =
      Concat({programs, "\\", record.MenuFolderName});
  if (!programs.empty()) {
    Os().CreateDirectory(menu_folder);
    WriteLogValue(log_key, "MenuFolder", menu_folder);
  }
  const std::string desktop = Concat({desktop_folder, "\\"});

  for (std::size_t i = 0; i < record.Files.size(); ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    const std::string name = ExpandMacros(file.ShortcutName);
    if (name.empty()) continue;
    // A name that a macro turned into a path would put the link elsewhere.
    if (CheckNameComponent(name) != NameProblem::kNone) {
      ReportFailure(
          ExitCode::kStepFailed,
          Concat({"Cannot create the shortcut ", name, ": the name ",
                  DescribeNameProblem(CheckNameComponent(name)), "."}));
      continue;
    }
    const std::string index = DecimalText(static_cast<std::int64_t>(i));

    std::string directory = ExpandDirMacros(file.TargetDir);
    if (directory == file.TargetDir) {
      directory = Concat({InstallLocation, file.TargetDir});
    }
    const std::string target = Concat(
        {AddTrailingBackslash(directory), LastPathComponent(file.FileName)});

    if (!programs.empty()) {
      const std::string menu_link =
          Concat({menu_folder, "\\", name, kLinkExtension});
      if (MakeLink(target, menu_link, file.Parameters, directory)) {
        WriteLogValue(log_key, Concat({"Shortcut", index}), menu_link);
      }
    }

    if (file.DesktopIcon && !desktop_folder.empty()) {
      const std::string desk_link = Concat({desktop, name, kLinkExtension});
      if (MakeLink(target, desk_link, file.Parameters, directory)) {
        WriteLogValue(log_key, Concat({"DeskIcon", index}), desk_link);
      }
    }
  }

  Os().PostMessage(os::kHwndBroadcast, os::kWmWinIniChange, 0, 0);
}

}  // namespace sfx
