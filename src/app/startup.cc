// The start-up sequence: the installer verifies its own file before it reads
// anything from the package, reads the header, prepares the destination from
// the package default, and only then looks at the command line to choose
// between the unattended run and the window.
#include "app/startup.h"

#include <memory>

#include "app/command_line.h"
#include "app/stub_size_block.h"
#include "base/divide.h"
#include "install/installation.h"
#include "install/package_names.h"
#include "install/package_reports.h"
#include "install/report.h"
#include "package/signature.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/text.h"
#include "platform/platform.h"
#include "ui/main_window.h"

namespace sfx {
namespace {

// A damaged package: exit code 1.
void ShowError(const String& text) { ReportFailure(ExitCode::kDamaged, text); }

// The installer file's length as built (a signature appended later does
// not count), -1 when it cannot be measured.
std::int64_t MeasureFile(const String& path, std::int64_t expected) {
  std::unique_ptr<File> file = Os().OpenRead(path);
  return file ? LengthBeforeSigning(*file, expected) : -1;
}

// Moves a drive-letter default to the Windows directory's drive, or
// expands a macro default and lets the window install by itself.
void PrepareDestination(TInstalRecord& record) {
  String& dir = record.InstallDir;
  if (dir.size() >= 2 && dir[1] == ':') {
    TargetDrive = UpperCaseLatin(dir[0]);
    const String windows = Os().GetWindowsDirectory();
    if (!windows.empty()) {
      const char letter = windows[0];
      if ((letter >= 'A' && letter <= 'Z') ||
          (letter >= 'a' && letter <= 'z')) {
        TargetDrive = letter;
        dir[0] = letter;
      }
    }
    return;
  }
  dir = ExpandMacros(dir);
  TargetDrive = UpperCaseLatin(dir[0]);  // '\0' when empty
  AutoInstall = true;
}

}  // namespace

String FirstArgument(const String& command_line) {
  std::size_t pos = 0;
  NextArgument(command_line, &pos);  // the program's own name
  return NextArgument(command_line, &pos);
}

String FormatThousands(std::int64_t n, const String& separator) {
  return GroupedDecimalText(n, separator);
}

String CorruptionMessage(const String& exe_path, std::int64_t actual_size,
                         const StubSizeValues& stub, const String& separator) {
  String size_sentence;
  if (actual_size >= 0 && stub.expected_size1 == stub.expected_size2 &&
      stub.expected_size1 > 0 && actual_size != stub.expected_size1) {
    size_sentence =
        Concat({"The size of file ", FormatThousands(actual_size, separator),
                " bytes, must be ",
                FormatThousands(stub.expected_size1, separator), " bytes\r"});
  }
  return Concat({"File ", LastPathComponent(exe_path), " is corrupted. \r",
                 size_sentence,
                 "Probably you have not completed file downloading or some "
                 "errors occured during download process.\rPlease try to "
                 "download the file again."});
}

void RunInstaller(TInstalRecord& record) {
  const CommandLine command_line = ParseCommandLine(Os().GetCommandLine());
  QuietMode = command_line.quiet;
  if (!command_line.log_path.empty() && !OpenLog(command_line.log_path)) {
    ReportFailure(
        ExitCode::kBadCommandLine,
        Concat({"Cannot create the log file ", command_line.log_path}), 0);
    return;
  }
  LogLine("Installer ", ExePath);
  if (!command_line.unknown.empty()) {
    ReportFailure(ExitCode::kBadCommandLine,
                  Concat({"Unknown switch ", command_line.unknown, "\r\r",
                          std::string_view(kUsageText)}),
                  0);
    return;
  }
  if (command_line.usage) {
    ShowMessage(kUsageText, "Usage", os::kMbOk | os::kMbIconInformation, 0);
    return;
  }
  if (ExePath.empty()) {
    // The system could name the folder only in characters that the ANSI
    // calls cannot pass, and it has no short name for it either; or the
    // path is longer than they take.
    ReportFailure(ExitCode::kDamaged,
                  "The installer cannot open its own file: its folder's name "
                  "is too long or outside the system's code page.\r"
                  "Move it to a folder with a short, plain name.",
                  0);
    return;
  }

  const StubSizeValues stub = ReadStubSizeBlock();
  if (!VerifyPackage(ExePath, stub.skip_checksum != 0)) {
    ReportFailure(
        ExitCode::kDamaged,
        CorruptionMessage(ExePath, MeasureFile(ExePath, stub.expected_size1),
                          stub, Os().GetThousandsSeparator()),
        0);
    return;
  }

  ReadPackageHeader(record);
  // An unknown signature has shown "Data is corrupted." and left the record
  // empty; a package without a default destination cannot be installed
  // either. Both end like a header that cannot be read.
  if (record.FormatVersion == 0) EndProcess(ExitCode::kDamaged);
  if (record.InstallDir.empty()) {
    ShowError(kPackedDataCorrupted);
    EndProcess(ExitCode::kDamaged);
  }
  const String bad_name = FindBadPackageName(record);
  if (!bad_name.empty()) {
    ShowError(bad_name);
    return;
  }
  PrepareDestination(record);

  const String& argument = command_line.destination;
  if (!argument.empty() || QuietMode) {
    if (argument.size() >= kDestBufferSize) {
      ReportFailure(ExitCode::kBadCommandLine, kDestinationTooLong);
      return;
    }
    Unattended = true;
    DestBuffer = argument.empty() ? record.InstallDir : argument;
    TargetDrive = UpperCaseLatin(DestBuffer[0]);
    RunInstallation(record, nullptr);
    return;
  }
  // Closing the window without a successful run installs nothing.
  SetExitCode(ExitCode::kCancelled);
  RunMainWindow(record);
}

}  // namespace sfx
