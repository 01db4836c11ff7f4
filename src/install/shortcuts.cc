// Program-menu and desktop shortcuts: one menu folder for the product, a
// shell link per packaged file that names a shortcut, optionally a second
// one on the desktop, each recorded in the installation log key so that the
// uninstaller can remove it.
#include "install/shortcuts.h"

#include "install/installation.h"
#include "install/report.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/name_rules.h"
#include "paths/text.h"

namespace sfx {
namespace {

constexpr char kLinkExtension[] = ".LNK";

// Writes a log value; a refused value ends the installation run, its name
// the failure's message.
Status WriteLogValue(RegistryKey& log_key, const String& name,
                     const String& value) {
  return log_key.SetString(name, value) ? Status() : Status::Error(name);
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

// Writes one link and logs it as the value "<value_prefix><index>"; a link
// that could not be made is not logged (the uninstaller would look for it)
// and makes the run's exit code 5. Fails when the log value is refused.
Status MakeLink(RegistryKey& log_key, const String& target, const String& link,
                const TInstallFileRecord& file, const String& directory,
                std::string_view value_prefix, const String& index) {
  if (Os().CreateShellLink(target, link, String(), file.Parameters, directory) <
      0) {
    LogLine("Cannot create the shortcut ", link);
    SetExitCode(ExitCode::kStepFailed);
    return Status();
  }
  LogLine("Shortcut ", link);
  return WriteLogValue(log_key, Concat({value_prefix, index}), link);
}

}  // namespace

Status CreateShortcuts(const TInstalRecord& record, RegistryKey& log_key) {
  if (record.MenuFolderName.empty()) return Status();
  ComScope com;
  InstallLocation = AddTrailingBackslash(DestBuffer);

  // A folder the shell cannot name gives no links (and no log values for
  // them): its empty path would put them at the root of the current drive.
  const String programs =
      Os().GetSpecialFolderPath(os::kCsidlPrograms, MainWindow);
  const String desktop_folder =
      Os().GetSpecialFolderPath(os::kCsidlDesktop, MainWindow);
  const String menu_folder = Concat({programs, "\\", record.MenuFolderName});
  if (!programs.empty()) {
    Os().CreateDirectory(menu_folder);
    Status logged = WriteLogValue(log_key, "MenuFolder", menu_folder);
    if (!logged.ok()) return logged;
  }
  const String desktop = Concat({desktop_folder, "\\"});

  for (std::size_t i = 0; i < record.Files.size(); ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    const String name = ExpandMacros(file.ShortcutName);
    if (name.empty()) continue;
    // A name that a macro turned into a path would put the link elsewhere.
    const NameProblem problem = CheckNameComponent(name);
    if (problem != NameProblem::kNone) {
      ReportFailure(
          ExitCode::kStepFailed,
          Concat({"Cannot create the shortcut ", name, ": the name ",
                  std::string_view(DescribeNameProblem(problem)), "."}));
      continue;
    }
    const String index = DecimalText(static_cast<std::int64_t>(i));

    bool has_macro = false;
    const String directory = ResolveTargetDir(file.TargetDir, &has_macro);
    const String target = Concat(
        {AddTrailingBackslash(directory), LastPathComponent(file.FileName)});

    if (!programs.empty()) {
      Status logged = MakeLink(
          log_key, target, Concat({menu_folder, "\\", name, kLinkExtension}),
          file, directory, "Shortcut", index);
      if (!logged.ok()) return logged;
    }

    if (file.DesktopIcon && !desktop_folder.empty()) {
      Status logged =
          MakeLink(log_key, target, Concat({desktop, name, kLinkExtension}),
                   file, directory, "DeskIcon", index);
      if (!logged.ok()) return logged;
    }
  }

  Os().AnnounceSettingsChange();
  return Status();
}

}  // namespace sfx
