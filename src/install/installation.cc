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

#include "codec/decode_ahead.h"
#include "codec/file_entry.h"
#include "install/package_reports.h"
#include "install/programs.h"
#include "install/report.h"
#include "install/shortcuts.h"
#include "install/uninstall_registration.h"
#include "package/container.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/text.h"
#include "platform/platform.h"

namespace sfx {

String DestBuffer;
char TargetDrive = 0;
bool AutoInstall = false;
std::int64_t FreeSpace = -1;
bool Unattended = false;

namespace {

constexpr char kErrorCaption[] = "Error";
constexpr char kUninstallerName[] = "TIV_UNINSTAL.EXE";
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The destination that the window's field or the command line may give:
// longer texts are refused, never cut.
constexpr int kDestFieldReadMax = 4 * static_cast<int>(kDestBufferSize);

void ShowError(const String& text) {
  ReportFailure(ExitCode::kStepFailed, text);
}

// The registry access of the run: a root key and at most one open key.
class RegistryWriter {
 public:
  // Opens `path` beneath the current root, creating missing keys. A
  // leading backslash names the root itself, as in "\Software\Maker": the
  // system refuses a subkey path that starts with one, so it is dropped (an
  // empty registry key thus puts the log key "install" under the root).
  // A `fresh` key is deleted first, unless the system keeps it (it has
  // subkeys).
  bool OpenKey(const String& path, bool fresh = false) {
    const bool rooted = !path.empty() && path[0] == '\\';
    const String key = rooted ? path.substr(1) : path;
    if (fresh) Os().DeleteKey(root_, key);
    key_ = Os().CreateKey(root_, key);
    return key_ != nullptr;
  }
  // Sets a string value; fails when there is no open key or the system
  // refuses the value.
  Status WriteString(const String& name, const String& value) {
    if (!key_ || !key_->SetString(name, value)) {
      return Status::Error(Concat({"Cannot write the registry value ", name}));
    }
    return Status();
  }
  Status WriteInteger(const String& name, int value) {
    return WriteString(name, DecimalText(value));
  }
  // Sets the value "<name><index>", as in "Prog3".
  Status WriteNumbered(std::string_view name, int index, const String& value) {
    return WriteString(Concat({name, DecimalText(index)}), value);
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
// 32 bits hold i * 100: a file record fills four fixed slots of the
// header's at most 64 MB (kMaxHeaderSize), so i stays below 65,536.
int ProgressPosition(std::int32_t i, std::int32_t n) {
  const std::uint32_t denominator = static_cast<std::uint32_t>(n - 1);
  const std::uint32_t scaled = static_cast<std::uint32_t>(i) * 100;
  std::uint32_t quotient = scaled / denominator;
  const std::uint32_t twice_remainder = 2 * (scaled % denominator);
  if (twice_remainder > denominator ||
      (twice_remainder == denominator && (quotient & 1) != 0)) {
    ++quotient;
  }
  return static_cast<int>(quotient);
}

Status RunProgramsOfStage(const TInstalRecord& record, std::int32_t stage) {
  for (const auto& entry : record.PreRunFiles) {
    if (entry->RunStage != stage) continue;
    Status ran = RunPreRunFile(record, *entry);
    if (!ran.ok()) return ran;
  }
  return Status();
}

// Writes "<prefix>k" and "<prefix>ComLine k" for the entries of one stage,
// then the count.
Status LogPrograms(RegistryWriter& writer, const TInstalRecord& record,
                   std::int32_t stage, const String& prefix) {
  int k = 0;
  for (const auto& entry : record.PreRunFiles) {
    if (entry->RunStage != stage) continue;
    ++k;
    Status written =
        writer.WriteNumbered(prefix, k,
                             Concat({ExpandDirMacros(entry->Directory),
                                     LastPathComponent(entry->FileName)}));
    if (written.ok()) {
      written = writer.WriteNumbered(Concat({prefix, "ComLine"}), k,
                                     entry->Parameters);
    }
    if (!written.ok()) return written;
  }
  return writer.WriteInteger(Concat({"NumbOf", prefix}), k);
}

// Asks whether to go on when the drive has less free space than needed (or
// the free space is unknown). False when the user says No.
bool CheckSpace(const TInstalRecord& record) {
  // Asked afresh where the drive answers: the figure the window painted
  // may be another drive's (a field set without a repaint). Where it does
  // not (no letter, a relative or blank destination), the last figure
  // stands, -1 when there was none.
  if (TargetDrive != '\0') Os().GetDiskFreeSpace(TargetDrive, &FreeSpace);
  if (static_cast<std::int64_t>(record.SpaceRequired) <= FreeSpace) {
    return true;
  }
  // A quiet run answers No where the space is known to be short: going on
  // could fill the disk. Where it is unknown (a network path) it goes on; a
  // full disk then fails the file it stops, with the older files intact.
  if (QuietMode && FreeSpace == -1) return true;
  const char drive[] = {TargetDrive, ':', '\r', '\0'};
  String question =
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

// The destination as Windows reads it, so that the log and the uninstall
// entry name it one way (the uninstaller compares paths): a slash is a
// backslash, a doubled separator one (after a network path's leading
// two), and blanks at the end are dropped.
void NormaliseDestination() {
  String path;
  for (char c : DestBuffer) {
    if (c == '/') c = '\\';
    if (c == '\\' && path.size() > 1 && path.back() == '\\') continue;
    path += c;
  }
  while (!path.empty() && path.back() == ' ') path.pop_back();
  DestBuffer = path;
  // A relative destination is taken against the current directory now,
  // while that is still the one it was given in: the run enters the
  // destination, a program it starts may enter another folder, and the log
  // and the uninstall entry must name the folder wherever they are read. A
  // bare name that does not exist (a backslash at its end does not count)
  // stays as given and is refused below.
  const std::size_t mark = path.find_first_of("\\:");
  if (path.empty() || ((mark == String::npos || mark + 1 == path.size()) &&
                       !IsExistingDirectory(path))) {
    return;
  }
  String full = Os().GetFullPathName(path);
  if (!full.empty()) DestBuffer = full;
}

// Creates and enters the destination; false after the message. Sets
// `*created_above` to the topmost folder that it made above the destination
// (empty when it made none; see InstallPackage).
bool PrepareDestination(String* created_above) {
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
  if (DestBuffer.find('?') != String::npos) {
    ShowError(Concat({"Cannot create directory:\r", DestBuffer,
                      "\rIts name holds characters outside the system's "
                      "code page."}));
    return false;
  }
  LogLine("Destination ", DestBuffer);
  // The folders above it, up from the destination's own (a trailing
  // backslash is not a cut) to the drive's root.
  for (std::size_t cut = DestBuffer.size() - 1;
       (cut = DestBuffer.rfind('\\', cut - 1)) != String::npos && cut >= 3;) {
    String up = DestBuffer.substr(0, cut);
    if (IsExistingDirectory(up)) break;
    *created_above = std::move(up);
  }
  if (!CreateDirectoryPath(DestBuffer) ||
      !Os().SetCurrentDirectory(DestBuffer)) {
    ShowError(Concat({"Cannot create directory:\r", DestBuffer}));
    return false;
  }
  return true;
}

// Where a listed directory goes.
String ListedDirectoryPath(const String& entry) {
  return entry.find('%') != String::npos ? ExpandMacros(entry)
                                         : Concat({InstallLocation, entry});
}

// Creates the package's directory list; false after the message.
bool CreateListedDirectories(const TInstalRecord& record) {
  for (const String& entry : record.Directories) {
    const String path = ListedDirectoryPath(entry);
    if (Os().SetCurrentDirectory(path)) continue;
    LogLine("Directory ", path);
    if (!CreateDirectoryPath(path)) {
      ShowError(Concat({"Cannot create directory: ", path}));
      return false;
    }
  }
  return true;
}

// Logs the listed directories ("Dir" + i), which the uninstaller removes
// once they are empty; not one that is a macro's folder itself (%TEMP%,
// %SYSTEM%), which is the system's.
Status LogDirectories(const TInstalRecord& record, RegistryWriter& writer) {
  for (std::size_t i = 0; i < record.Directories.size(); ++i) {
    const String& entry = record.Directories[i];
    const std::size_t macro_end = entry.rfind('%');
    if (macro_end != String::npos &&
        entry.find_first_not_of('\\', macro_end + 1) == String::npos) {
      continue;
    }
    Status logged = writer.WriteNumbered("Dir", static_cast<int>(i),
                                         ListedDirectoryPath(entry));
    if (!logged.ok()) return logged;
  }
  return Status();
}

// Opens the package at its first file entry; fails (reported) when it
// cannot.
Status OpenPackage(std::unique_ptr<File>* package, std::int32_t* file_count) {
  if (!ReportPackageWalk(OpenPackageAtFirstEntry(package, file_count),
                         kPackedDataCorrupted)) {
    return Status::Reported();
  }
  return Status();
}

// Extracts every file entry and logs the installed paths ("Prog" + i).
Status CopyFiles(const TInstalRecord& record, File& package,
                 std::int32_t file_count, RegistryWriter& writer,
                 InstallView* view) {
  // The header lists one record per file entry; a package with more
  // entries than records cannot be installed from.
  if (file_count < 0 ||
      static_cast<std::size_t>(file_count) > record.Files.size()) {
    ShowError(kPackedDataCorrupted);
    return Status::Reported();
  }
  std::unique_ptr<EntrySource> entries =
      OpenEntrySource(package, static_cast<std::uint32_t>(file_count));
  for (std::int32_t i = 0; i < file_count; ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    bool keep_newer = false;
    String target = ResolveTargetDir(file.TargetDir, &keep_newer);
    const ExtractStatus status =
        ExtractPackedEntry(*entries, target, keep_newer);
    if (status != ExtractStatus::kDone) {
      ReportFailure(ExitCode::kStepFailed,
                    ExtractFailureMessage(status, LastExtractedPath), 0);
      LogLine("Failed ", LastExtractedPath);
      if (view) view->HideProgress();
      LastExtractedPath.clear();
      return Status::Reported();
    }
    LogLine("File ", LastExtractedPath);
    if (view) {
      view->ShowFile();
      if (file_count > 1) view->SetProgress(ProgressPosition(i, file_count));
    }
    if (file.AddToLog) {
      Status logged = writer.WriteNumbered("Prog", i, LastExtractedPath);
      if (!logged.ok()) {
        // No log names the new file (another run of the product may have
        // taken the key away), so no uninstaller would remove it.
        if (LastExtractedWasNew) Os().DeleteFile(LastExtractedPath);
        return logged;
      }
    }
  }
  return Status();
}

Status LogExtraEntries(const TInstalRecord& record, std::int32_t file_count,
                       RegistryWriter& writer) {
  int index = file_count;
  for (const String& entry : record.ExtraProgEntries) {
    // Placed as a listed directory is, except a path with a drive.
    const bool full =
        entry.find('%') == String::npos && entry.find(':') != String::npos;
    Status logged = writer.WriteNumbered(
        "Prog", index, full ? entry : ListedDirectoryPath(entry));
    if (!logged.ok()) return logged;
    ++index;
  }
  return writer.WriteInteger("NumbOfProg", index);
}

Status RegisterUninstaller(const TInstalRecord& record,
                           RegistryWriter& writer) {
  const TInstallFileRecord* uninstaller = nullptr;
  for (const auto& file : record.Files) {
    if (UpperCaseLatin(file->FileName).find(kUninstallerName) != String::npos) {
      uninstaller = file.get();
      break;
    }
  }
  if (!uninstaller) return Status();
  writer.SetRoot(os::RegistryRoot::kLocalMachine);
  if (!writer.OpenKey(Concat({kUninstallKey, record.ProductName}))) {
    return Status();
  }
  Status written = writer.WriteString("DisplayName", record.ProductName);
  if (!written.ok()) return written;
  bool has_macro = false;
  String dir = AddTrailingBackslash(
      ResolveTargetDir(uninstaller->TargetDir, &has_macro));
  const String uninstall_string =
      Concat({"\"", dir, kUninstallerName, "\" ", uninstaller->Parameters});
  written = writer.WriteString("UninstallString", uninstall_string);
  if (!written.ok()) return written;
  WriteUninstallDetails(*writer.key(), record, Concat({dir, kUninstallerName}),
                        uninstall_string, InstallLocation);
  return Status();
}

void ShowFinishMessage(const TInstalRecord& record) {
  String text;
  for (const String& line : record.FinishLines) {
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
  String command = ExpandDirMacros(record.LaunchProgram);
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
    const bool quoted = record.LaunchProgram.find('"') != String::npos ||
                        InstallLocation.find('"') != String::npos;
    command = Concat({"\"", InstallLocation, record.LaunchProgram,
                      std::string_view(quoted ? "" : "\"")});
  }
  String error = LaunchCommand(command);
  if (!error.empty()) ShowError(Concat({command, "\r\r", error}));
}

// Steps from opening the package to the end; a failure ends the run.
Status InstallPackage(TInstalRecord& record, InstallView* view,
                      const String& created_above) {
  RegistryWriter writer;
  std::int32_t file_count = 0;
  std::unique_ptr<File> package;
  // The folders that runs made above their destinations, one value each
  // named by its path, in a key that no run clears: the uninstaller
  // removes them, when empty, with each logged destination inside them.
  if (!created_above.empty()) {
    writer.OpenKey(Concat({record.RegistryKey, "\\install.folders"}));
    writer.WriteString(created_above, String());
  }
  Status status = OpenPackage(&package, &file_count);
  if (!status.ok()) return status;

  if (view) view->ShowProgress();

  // The key holds the latest run only: values of an earlier run (say into
  // another folder) would mix with this one's. Deleting the key is one call
  // where deleting its values takes two a value (each a round trip to
  // Wine's server); a key that the system keeps (it has subkeys) is cleared
  // value by value. The last complete log is kept beside it
  // ("install.previous") until this run's log is complete, and the log of
  // a run that failed since then ("install.failed<k>") until the product
  // is uninstalled: the uninstaller removes what any of them names, so
  // that no failed run leaves files that nothing will remove. A run marks
  // itself running ("install.running") until it completes, so that the
  // next one knows a failed run's log, the first run's too.
  const String log_key = Concat({record.RegistryKey, "\\install"});
  const String plain_key = log_key[0] == '\\' ? log_key.substr(1) : log_key;
  const String previous_key = Concat({plain_key, ".previous"});
  const String running_key = Concat({plain_key, ".running"});
  if (Os().DeleteKey(os::RegistryRoot::kCurrentUser, running_key) ||
      Os().CopyKeyOnce(os::RegistryRoot::kCurrentUser, plain_key,
                       previous_key) == os::KeyCopy::kTargetExists) {
    for (int k = 1;
         k < 100 &&
         Os().CopyKeyOnce(os::RegistryRoot::kCurrentUser, plain_key,
                          Concat({plain_key, ".failed", DecimalText(k)})) ==
             os::KeyCopy::kTargetExists;
         ++k) {
    }
  }
  Os().CreateKey(os::RegistryRoot::kCurrentUser, running_key);
  if (writer.OpenKey(log_key, true) && !writer.key()->DeleteAllValues()) {
    return Status::Error("Cannot clear the installation log key");
  }
  // Each step runs only while every one before it succeeded.
  const struct {
    const char* name;
    const String* value;
  } run_values[] = {{"Name", &record.ProductName},
                    {"Location", &InstallLocation},
                    {"InstallerFile", &ExePath}};
  for (const auto& value : run_values) {
    if (status.ok()) status = writer.WriteString(value.name, *value.value);
  }
  if (status.ok()) status = LogDirectories(record, writer);
  if (status.ok()) {
    status = CopyFiles(record, *package, file_count, writer, view);
  }
  package.reset();
  if (status.ok()) status = LogExtraEntries(record, file_count, writer);
  if (status.ok()) status = LogPrograms(writer, record, 2, "Exec");
  if (status.ok()) status = LogPrograms(writer, record, 3, "PostExec");
  if (status.ok() && writer.key()) {
    status = CreateShortcuts(record, *writer.key());
  }
  writer.CloseKey();
  if (status.ok()) status = RegisterUninstaller(record, writer);
  writer.CloseKey();
  if (status.ok()) {
    Os().DeleteKey(os::RegistryRoot::kCurrentUser, previous_key);
    Os().DeleteKey(os::RegistryRoot::kCurrentUser, running_key);
  }
  if (status.ok()) status = RunProgramsOfStage(record, 1);
  if (!status.ok()) return status;

  LogLine("Installed");
  ShowFinishMessage(record);
  StartLaunchProgram(record);
  if (view) view->Close();
  return Status();
}

}  // namespace

String ResolveTargetDir(const String& target_dir, bool* has_macro) {
  String expanded = ExpandDirMacros(target_dir);
  *has_macro = expanded != target_dir;
  return *has_macro ? expanded : Concat({InstallLocation, target_dir});
}

void RunInstallation(TInstalRecord& record, InstallView* view) {
  if (view) view->SetProgress(1);
  // The window copies its field into DestBuffer only when it paints, and a
  // field edited since then would leave the run installing into the old
  // destination while logging the new one. The field is taken here, before
  // InstallLocation is derived; its blank check stays in its place below.
  if (view) {
    DestBuffer = view->Destination(kDestFieldReadMax);
    if (!DestBuffer.empty()) TargetDrive = UpperCaseLatin(DestBuffer[0]);
  }
  NormaliseDestination();
  InstallLocation = AddTrailingBackslash(DestBuffer);
  // Every way out below that is not a success sets its own code.
  SetExitCode(ExitCode::kInstalled);

  String created_above;
  Status status = RunProgramsOfStage(record, 0);
  if (status.ok()) {
    if (!CheckSpace(record)) return;
    if (!PrepareDestination(&created_above)) return;
    if (!CreateListedDirectories(record)) return;
    status = InstallPackage(record, view, created_above);
  }
  // Each failure has been reported with its code already, except a
  // registry value, which has no message; what was done so far stays in
  // place.
  if (!status.message().empty()) {
    LogLine(status.message());
    SetExitCode(ExitCode::kStepFailed);
  }
}

}  // namespace sfx
