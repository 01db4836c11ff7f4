// The installation run: stage-0 programs, the space check, the destination
// and the listed directories, the copy of every packaged file with progress,
// the installation log key, shortcuts, the uninstaller's registration,
// stage-1 programs, the closing message and the product's launch.
//
// Everything from opening the package to the end is inside one failure
// handler: a failing step shows its own message (or none) and the run ends
// quietly, keeping what it already did.
#include "install/installation.h"

#include <memory>
#include <utility>

#include "codec/file_entry.h"
#include "install/programs.h"
#include "install/shortcuts.h"
#include "install/uninstall_registration.h"
#include "package/container.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/text.h"
#include "platform/divide.h"
#include "platform/exception.h"
#include "platform/platform.h"
#include "platform/report.h"

namespace sfx {

std::string DestBuffer;
char TargetDrive = 0;
bool AutoInstall = false;
std::int64_t FreeSpace = -1;
bool Unattended = false;

namespace {

constexpr char kErrorCaption[] = "Error";
constexpr char kUninstallerName[] = "TIV_UNINSTAL.EXE";
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr int kProgressBarId = 5;

// The progress bar of the latest run in the main window; 0 until one exists.
WindowHandle g_progress_bar = 0;

// The destination that the window's field or the command line may give:
// longer texts are refused, never cut.
constexpr int kDestFieldReadMax = 4 * static_cast<int>(kDestBufferSize);

void ShowError(const std::string& text) {
  ReportFailure(ExitCode::kStepFailed, text);
}

// Ends the run through its failure handler after the message has been shown
// (or when there is none to show).
class RunAborted : public Exception {
 public:
  RunAborted() : Exception(std::string()) {}
};

// The registry access of the run: a root key and at most one open key.
class RegistryWriter {
 public:
  // Opens `path` beneath the current root, creating missing keys. A
  // leading backslash names the root itself, as in "\Software\Maker": the
  // system refuses a subkey path that starts with one, so it is dropped (an
  // empty registry key thus puts the log key "install" under the root).
  bool OpenKey(const std::string& path) {
    const bool rooted = !path.empty() && path[0] == '\\';
    key_ = Os().CreateKey(root_, rooted ? path.substr(1) : path);
    return key_ != nullptr;
  }
  // Sets a string value; raises when there is no open key or the system
  // refuses the value.
  void WriteString(const std::string& name, const std::string& value) {
    if (!key_ || !key_->SetString(name, value)) {
      throw Exception(Concat({"Cannot write the registry value ", name}));
    }
  }
  void WriteInteger(const std::string& name, int value) {
    WriteString(name, DecimalText(value));
  }
  void SetRoot(os::RegistryRoot root) {
    CloseKey();
    root_ = root;
  }
  void CloseKey() { key_.reset(); }
  RegistryKey* key() const { return key_.get(); }

 private:
  os::RegistryRoot root_ = os::RegistryRoot::kCurrentUser;
  std::unique_ptr<RegistryKey> key_;
};

// i / (n - 1) * 100, rounded to the nearest integer with halves to even;
// 0 <= i < n.
int ProgressPosition(std::int32_t i, std::int32_t n) {
  const std::uint64_t denominator = static_cast<std::uint32_t>(n - 1);
  const Division64 division =
      DivideUint64(static_cast<std::uint64_t>(i) * 100, denominator);
  std::uint64_t quotient = division.quotient;
  const std::uint64_t twice_remainder = 2 * division.remainder;
  if (twice_remainder > denominator ||
      (twice_remainder == denominator && (quotient & 1) != 0)) {
    ++quotient;
  }
  return static_cast<int>(quotient);
}

// A directory field of the package: expanded when it holds a macro,
// otherwise relative to InstallLocation. `*has_macro` tells which.
std::string ResolveTargetDir(const std::string& target_dir, bool* has_macro) {
  std::string expanded = ExpandDirMacros(target_dir);
  *has_macro = expanded != target_dir;
  return *has_macro ? expanded : Concat({InstallLocation, target_dir});
}

void RunProgramsOfStage(const TInstalRecord& record, std::int32_t stage) {
  for (const auto& entry : record.PreRunFiles) {
    if (entry->RunStage == stage) RunPreRunFile(record, *entry);
  }
}

// Writes "<prefix>k" and "<prefix>ComLine k" for the entries of one stage,
// then the count.
void LogPrograms(RegistryWriter& writer, const TInstalRecord& record,
                 std::int32_t stage, const std::string& prefix) {
  int k = 0;
  for (const auto& entry : record.PreRunFiles) {
    if (entry->RunStage != stage) continue;
    ++k;
    const std::string index = DecimalText(k);
    writer.WriteString(Concat({prefix, index}),
                       Concat({ExpandDirMacros(entry->Directory),
                               LastPathComponent(entry->FileName)}));
    writer.WriteString(Concat({prefix, "ComLine", index}), entry->Parameters);
  }
  writer.WriteInteger(Concat({"NumbOf", prefix}), k);
}

// Asks whether to go on when the drive has less free space than needed (or
// the free space is unknown). False when the user says No.
bool CheckSpace(const TInstalRecord& record) {
  if (FreeSpace == -1) {
    std::int64_t free_bytes = 0;
    const char root[] = {TargetDrive, ':', '\\', '\0'};
    // Three characters even when the drive letter is unknown (NUL).
    if (Os().GetDiskFreeSpace(std::string(root, 3), &free_bytes)) {
      FreeSpace = free_bytes;
    }
  }
  if (static_cast<std::int64_t>(record.SpaceRequired) <= FreeSpace) {
    return true;
  }
  // A quiet run answers No: going on could fill the disk.
  const char drive[] = {TargetDrive, ':', '\r', '\0'};
  std::string question =
      Concat({"There is not enough space available on the disk ",
              std::string_view(drive, 3),
              "Please free up some space or change the target location to a "
              "different disk.\r\rProceed anyway?"});
  if (ShowMessage(question, kErrorCaption, os::kMbYesNo | os::kMbIconWarning,
                  MainWindow) != os::kIdNo) {
    return true;
  }
  SetExitCode(ExitCode::kNoSpace);
  return false;
}

// Creates and enters the destination; false after the message.
bool PrepareDestination() {
  if (DestEdit != 0) {
    DestBuffer = Os().GetWindowText(DestEdit, kDestFieldReadMax);
    if (DestBuffer.empty()) {
      ShowError("Directory name is blank.");
      return false;
    }
  }
  if (DestBuffer.empty()) {
    ShowError("Directory name is blank.");
    return false;
  }
  if (DestBuffer.size() >= kDestBufferSize) {
    ShowError(kDestinationTooLong);
    return false;
  }
  // The system gives '?' for each character of a typed or passed name that
  // the ANSI code page cannot hold; no folder name can hold one.
  if (DestBuffer.find('?') != std::string::npos) {
    ShowError(Concat({"Cannot create directory:\r", DestBuffer,
                      "\rIts name holds characters outside the system's "
                      "code page."}));
    return false;
  }
  LogLine(Concat({"Destination ", DestBuffer}));
  bool created = true;
  if (!IsExistingDirectory(DestBuffer)) {
    try {
      CreateDirectoryPath(DestBuffer);
    } catch (const Exception&) {
      created = false;
    }
  }
  if (!created || !Os().SetCurrentDirectory(DestBuffer)) {
    ShowError(Concat({"Cannot create directory:\r", DestBuffer}));
    return false;
  }
  return true;
}

// Creates the package's directory list; false after the message.
bool CreateListedDirectories(const TInstalRecord& record) {
  for (const std::string& entry : record.Directories) {
    std::string path = entry.find('%') != std::string::npos
                           ? ExpandMacros(entry)
                           : Concat({InstallLocation, entry});
    if (Os().SetCurrentDirectory(path)) continue;
    LogLine(Concat({"Directory ", path}));
    try {
      CreateDirectoryPath(path);
    } catch (const Exception&) {
      ShowError(Concat({"Cannot create directory: ", path}));
      return false;
    }
  }
  return true;
}

// Opens the package at its first file entry; raises RunAborted after the
// message when it cannot.
std::unique_ptr<File> OpenPackage(std::int32_t* file_count) {
  std::unique_ptr<File> package;
  if (!ReportPackageWalk(OpenPackageAtFirstEntry(&package, file_count),
                         "Packed data is corrupted.")) {
    throw RunAborted();
  }
  return package;
}

// Extracts every file entry and logs the installed paths ("Prog" + i).
void CopyFiles(const TInstalRecord& record, File& package,
               std::int32_t file_count, RegistryWriter& writer) {
  // The header lists one record per file entry; a package with more
  // entries than records cannot be installed from.
  if (file_count < 0 ||
      static_cast<std::size_t>(file_count) > record.Files.size()) {
    ShowError("Packed data is corrupted.");
    throw RunAborted();
  }
  for (std::int32_t i = 0; i < file_count; ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    bool keep_newer = false;
    std::string target = ResolveTargetDir(file.TargetDir, &keep_newer);
    const ExtractStatus status =
        ExtractPackedEntry(package, target, keep_newer);
    if (status != ExtractStatus::kDone) {
      ReportFailure(ExitCode::kStepFailed,
                    ExtractFailureMessage(status, LastExtractedPath), 0);
      LogLine(Concat({"Failed ", LastExtractedPath}));
      if (g_progress_bar != 0) Os().ShowWindow(g_progress_bar, os::kSwHide);
      LastExtractedPath.clear();
      throw RunAborted();
    }
    LogLine(Concat({"File ", LastExtractedPath}));
    if (MainWindow != 0) {
      Os().UpdateWindow(DestEdit);
      Os().SendMessage(MainWindow, os::kWmPaint, 0, 0);
      if (file_count > 1 && g_progress_bar != 0) {
        Os().SendMessage(g_progress_bar, os::kPbmSetPos,
                         ProgressPosition(i, file_count), 0);
      }
    }
    if (file.AddToLog) {
      writer.WriteString(Concat({"Prog", DecimalText(i)}), LastExtractedPath);
    }
  }
}

void LogExtraEntries(const TInstalRecord& record, std::int32_t file_count,
                     RegistryWriter& writer) {
  int index = file_count;
  for (const std::string& entry : record.ExtraProgEntries) {
    std::string value;
    if (entry.find('%') != std::string::npos) {
      value = ExpandMacros(entry);
    } else if (entry.find(':') != std::string::npos) {
      value = entry;
    } else {
      value = Concat({InstallLocation, entry});
    }
    writer.WriteString(Concat({"Prog", DecimalText(index)}), value);
    ++index;
  }
  writer.WriteInteger("NumbOfProg", index);
}

void RegisterUninstaller(const TInstalRecord& record, RegistryWriter& writer) {
  const TInstallFileRecord* uninstaller = nullptr;
  for (const auto& file : record.Files) {
    if (UpperCaseLatin(file->FileName).find(kUninstallerName) !=
        std::string::npos) {
      uninstaller = file.get();
      break;
    }
  }
  if (!uninstaller) return;
  writer.SetRoot(os::RegistryRoot::kLocalMachine);
  if (!writer.OpenKey(Concat({kUninstallKey, record.ProductName}))) return;
  writer.WriteString("DisplayName", record.ProductName);
  bool has_macro = false;
  std::string dir = AddTrailingBackslash(
      ResolveTargetDir(uninstaller->TargetDir, &has_macro));
  const std::string uninstall_string =
      Concat({"\"", dir, kUninstallerName, "\" ", uninstaller->Parameters});
  writer.WriteString("UninstallString", uninstall_string);
  WriteUninstallDetails(*writer.key(), record, Concat({dir, kUninstallerName}),
                        uninstall_string, InstallLocation);
}

void ShowFinishMessage(const TInstalRecord& record) {
  std::string text;
  for (const std::string& line : record.FinishLines) {
    text += line;
    text += '\r';
  }
  if (!text.empty() && !Unattended) {
    ShowMessage(text, "Success", os::kMbOk | os::kMbIconInformation,
                MainWindow);
  }
}

void StartLaunchProgram(const TInstalRecord& record) {
  if (record.LaunchProgram.empty()) return;
  // A quiet run installs only; nobody is there to use the product.
  if (QuietMode) return;
  std::string command = ExpandDirMacros(record.LaunchProgram);
  if (command != record.LaunchProgram) {
    // The directory expansion ends its result with a backslash, which
    // would turn the program's name into a folder's.
    if (!command.empty() && command.back() == '\\' &&
        record.LaunchProgram.back() != '\\') {
      command.pop_back();
    }
  } else {
    // A packaged text with a quote carries its own closing quote and the
    // arguments behind it.
    const bool quoted = record.LaunchProgram.find('"') != std::string::npos ||
                        InstallLocation.find('"') != std::string::npos;
    command = Concat(
        {"\"", InstallLocation, record.LaunchProgram, quoted ? "" : "\""});
  }
  std::string error = LaunchCommand(command);
  if (!error.empty()) ShowError(Concat({command, "\r\r", error}));
}

// Steps from opening the package to the end; raises to end the run.
void InstallPackage(TInstalRecord& record) {
  RegistryWriter writer;
  std::int32_t file_count = 0;
  std::unique_ptr<File> package = OpenPackage(&file_count);

  if (MainWindow != 0) {
    g_progress_bar =
        Os().CreateProgressBar(MainWindow, 10, 188, 426, 22, kProgressBarId);
    if (g_progress_bar != 0) Os().ShowWindow(g_progress_bar, os::kSwShow);
  }

  // The key holds the latest run only: values of an earlier run (say into
  // another folder) would mix with this one's.
  if (writer.OpenKey(Concat({record.RegistryKey, "\\install"})) &&
      !writer.key()->DeleteAllValues()) {
    throw Exception("Cannot clear the installation log key");
  }
  writer.WriteString("Name", record.ProductName);
  writer.WriteString("Location", InstallLocation);
  writer.WriteString("InstallerFile", ExePath);

  CopyFiles(record, *package, file_count, writer);
  package.reset();

  LogExtraEntries(record, file_count, writer);
  LogPrograms(writer, record, 2, "Exec");
  LogPrograms(writer, record, 3, "PostExec");
  if (writer.key()) CreateShortcuts(record, *writer.key());
  writer.CloseKey();

  RegisterUninstaller(record, writer);
  writer.CloseKey();

  RunProgramsOfStage(record, 1);
  LogLine("Installed");
  ShowFinishMessage(record);
  StartLaunchProgram(record);
  if (MainWindow != 0) Os().PostMessage(MainWindow, os::kWmClose, 0, 0);
}

}  // namespace

void CreateDirectoryPath(const std::string& path) {
  if (path.empty()) throw Exception("Cannot Create Directory");
  std::string dir = path;
  if (dir.back() == '\\') dir.pop_back();
  if (dir.size() < 3 || IsExistingDirectory(dir)) return;
  std::size_t cut = dir.find_last_of("\\:");
  std::string parent =
      cut == std::string::npos ? std::string() : dir.substr(0, cut + 1);
  if (parent == dir) return;
  CreateDirectoryPath(parent);
  Os().CreateDirectory(dir);
}

void RunInstallation(TInstalRecord& record) {
  if (g_progress_bar != 0) {
    Os().SendMessage(g_progress_bar, os::kPbmSetPos, 1, 0);
  }
  // The window copies its field into DestBuffer only when it paints, and a
  // field edited since then would leave the run installing into the old
  // destination while logging the new one. The field is taken here, before
  // InstallLocation is derived; its blank check stays in its place below.
  if (DestEdit != 0) {
    std::string field = Os().GetWindowText(DestEdit, kDestFieldReadMax);
    if (!field.empty()) {
      DestBuffer = field;
      TargetDrive = UpperCaseLatin(field)[0];
    }
  }
  InstallLocation = AddTrailingBackslash(DestBuffer);
  // Every way out below that is not a success sets its own code.
  SetExitCode(ExitCode::kInstalled);

  try {
    RunProgramsOfStage(record, 0);
    if (!CheckSpace(record)) return;
    if (!PrepareDestination()) return;
    if (!CreateListedDirectories(record)) return;
    InstallPackage(record);
  } catch (const Exception& failure) {
    // Each failure has been reported with its code already, except a
    // registry value, which has no message; what was done so far stays in
    // place.
    if (!failure.Message().empty()) {
      LogLine(failure.Message());
      SetExitCode(ExitCode::kStepFailed);
    }
  }
}

}  // namespace sfx
