// Programs that the installation starts: pre-run entries (optionally taken
// out of the package first, waited for, deleted afterwards, able to cancel
// the installation with exit code 1962), command lines started without
// waiting, and the late binding of SetThreadExecutionState.
#include "install/programs.h"

#include <cstring>
#include <memory>

#include "codec/file_entry.h"
#include "install/installation.h"
#include "install/package_reports.h"
#include "install/report.h"
#include "package/container.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/text.h"
#include "platform/platform.h"

namespace sfx {
namespace {

// The system receives the working directory and the command line through
// one 256-byte buffer each; longer texts are refused rather than cut.
constexpr std::size_t kCommandBufferMax = 255;

void ShowError(const String& text) {
  ReportFailure(ExitCode::kStepFailed, text);
}

// The start failure codes below 32 that have a message of their own, and
// their messages in the same order, one after another (each ended by its
// NUL), followed by the message of every other code: one table of bytes
// instead of a table of pointers.
constexpr char kWinExecCodes[] = {0,  2,  3,  5,  6,  8,  10, 11,
                                  12, 13, 14, 15, 16, 19, 20, 21};
constexpr char kWinExecTexts[] =
    "System was out of memory, executable file was corrupt, or relocations "
    "were invalid.\0"
    "File was not found.\0"
    "Path was not found.\0"
    "Attempt was made to dynamically link to a task, or there was a sharing "
    "or network-protection error.\0"
    "Library required separate data segments for each task.\0"
    "There was insufficient memory to start the application.\0"
    "Windows version was incorrect.\0"
    "Executable file was invalid. Either it was not a Windows application or "
    "there was an error in the .EXE image.\0"
    "Application was designed for a different operating system.\0"
    "Application was designed for MS-DOS 4.0.\0"
    "Type of executable file was unknown.\0"
    "Attempt was made to load a real-mode application (developed for an "
    "earlier version of Windows).\0"
    "Attempt was made to load a second instance of an executable file "
    "containing multiple data segments that were not marked read-only.\0"
    "Attempt was made to load a compressed executable file. The file must "
    "bedecompressed before it can be loaded.\0"
    "Dynamic-link library (DLL) file was invalid. One of the DLLs required to "
    "run thisapplication was corrupt.\0"
    "Application requires 32-bit extensions.\0"
    "Execution error.";

// The message for a start failure code below 32.
const char* WinExecErrorText(std::uint32_t code) {
  const char* text = kWinExecTexts;
  for (const char known : kWinExecCodes) {
    if (code == static_cast<std::uint32_t>(known)) break;
    text += std::strlen(text) + 1;
  }
  return text;
}

// The path inside a double-quoted command, or the command itself.
String Unquoted(const String& command) {
  if (command.size() >= 2 && command.front() == '"' && command.back() == '"') {
    return command.substr(1, command.size() - 2);
  }
  return command;
}

// Extracts the package's blocks whose name matches `file_name` into
// `directory`. `*matched` tells whether one matched; `*command` then names
// the written program (the last matching block). Fails (reported) when the
// package turns out unusable.
Status ExtractProgram(const TInstalRecord& record, const String& file_name,
                      const String& directory, String* command, bool* matched) {
  *matched = false;
  std::unique_ptr<File> package;
  std::int32_t file_count = 0;
  if (!ReportPackageWalk(OpenPackageAtFirstEntry(&package, &file_count),
                         "Packed data are corrupted.")) {
    return Status();
  }
  // A stage-0 program runs before the destination is made; its folder is
  // made here so that it can be written at all.
  // Should that fail, the extraction below reports that it cannot create
  // the file.
  CreateDirectoryPath(directory);
  const String wanted = UpperCaseLatin(LastPathComponent(file_name));
  for (std::int32_t i = 0; i < file_count; ++i) {
    // Entries beyond the header's list have no name to match; they are
    // passed over.
    const String packed_name =
        static_cast<std::size_t>(i) < record.Files.size()
            ? LastPathComponent(record.Files[i]->FileName)
            : String();
    const bool match =
        !packed_name.empty() && UpperCaseLatin(packed_name) == wanted;
    bool unusable = false;
    if (!ExtractPackedFile(*package, match ? directory : String(), false,
                           &unusable)) {
      if (unusable) return Status::Reported();
      LastExtractedPath.clear();
    }
    if (match) {
      *command = Concat({AddTrailingBackslash(directory), packed_name});
      *matched = true;
    }
  }
  return Status();
}

}  // namespace

Status RunPreRunFile(const TInstalRecord& record,
                     const TPreRunFileRecord& entry) {
  String file_name = entry.FileName;
  if (file_name.empty()) return Status();
  if (file_name.front() == '\\') file_name.erase(0, 1);

  const String directory = entry.Directory.empty()
                               ? ExpandDirMacros("%INSTALLDIR%")
                               : ExpandMacros(entry.Directory);
  String command = Concat(
      {"\"", AddTrailingBackslash(directory), ExpandMacros(file_name), "\""});

  bool matched = false;
  if (entry.ExtractFirst) {
    Status extracted =
        ExtractProgram(record, file_name, directory, &command, &matched);
    if (!extracted.ok()) return extracted;
  }

  LogLine("Program ", command);
  const String program = Unquoted(command);
  std::uint32_t exit_code = 0;
  if (entry.Parameters.empty()) {
    exit_code = StartAndWait(program);
    // No message for a program that cannot be started, but the run does
    // not end as a success.
    if (exit_code == kLaunchFailedCode) {
      LogLine("Failed ", program);
      SetExitCode(ExitCode::kStepFailed);
    }
  } else {
    String error =
        LaunchCommand(Concat({command, " ", ExpandMacros(entry.Parameters)}));
    if (!error.empty()) ShowError(error);
  }

  if (entry.DeleteAfter && matched) Os().DeleteFile(program);

  if (exit_code == kCanceledExitCode) {
    ShowMessage("The installation has been canceled.", "Canceled",
                os::kMbOk | os::kMbIconError, MainWindow);
    EndProcess(ExitCode::kCancelled);
  }
  return Status();
}

std::uint32_t StartAndWait(const String& path) {
  std::unique_ptr<Process> process = Os().StartProcess(path);
  if (!process) return kLaunchFailedCode;
  // Waits on the process itself: a program may well end with the code 259
  // that the exit-code query gives while it still runs.
  while (!process->WaitForEnd(kPollIntervalMs)) {
  }
  std::uint32_t code = kLaunchFailedCode;
  process->GetExitCode(&code);
  return code;
}

String LaunchCommand(const String& command_line, const String& directory) {
  if (command_line.size() > kCommandBufferMax ||
      directory.size() > kCommandBufferMax) {
    return Concat({"Command line or directory over 255 characters, ", directory,
                   command_line});
  }
  if (!directory.empty()) Os().SetCurrentDirectory(directory);
  std::uint32_t result = Os().WinExec(command_line, os::kSwShow);
  if (result >= 32) return String();
  return Concat({std::string_view(WinExecErrorText(result)), ", ", directory,
                 command_line});
}

}  // namespace sfx
