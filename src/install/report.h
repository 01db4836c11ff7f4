// The one place where the installer's outcomes are reported. Readers and
// steps return what went wrong; their callers hand the text to ReportFailure
// or ShowMessage, which show it (unless the run is quiet), write it to the
// log (when there is one) and keep the exit code the process ends with.
//
// Exit codes (the same in every mode; README "Command line and exit codes"):
//   0 installed (or the usage was asked for)
//   1 the installer file is damaged or unreadable, or its package breaks the
//     name rules
//   2 bad command line (unknown switch, too long a destination, no log file)
//   3 cancelled: the window closed without installing, the licence refused,
//     or a program that the package runs returned 1962
//   4 not enough space (the question answered No, or a quiet run)
//   5 a step of the installation failed (directory, file, registry,
//     shortcut, program)
#ifndef SFX_INSTALL_REPORT_H_
#define SFX_INSTALL_REPORT_H_

#include <cstdint>

#include "base/string.h"
#include "platform/platform.h"

namespace sfx {

enum class ExitCode : std::uint32_t {
  kInstalled = 0,
  kDamaged = 1,
  kBadCommandLine = 2,
  kCancelled = 3,
  kNoSpace = 4,
  kStepFailed = 5,
};

// /S: no message box at all. Every message goes to the log instead, and a
// question gets the answer that changes nothing (No; OK for a notice).
extern bool QuietMode;

// The installer window, owner of the boxes; 0 in unattended and quiet runs.
extern WindowHandle MainWindow;

// Opens (creates or truncates) the plain-text log; false when it cannot be
// created. Without it the log lines go nowhere.
bool OpenLog(const String& path);
// Writes one line to the log (a CR inside `text` starts a new line).
void LogLine(const String& text);
// The same line with `label` (no CR in it) before `text`, as in
// "File C:\App\a.txt": no text is put together for it.
void LogLine(const char* label, const String& text);

// Shows a message box (owned by `owner`) unless the run is quiet, and logs
// it as "caption: text". Returns the button pressed, or in a quiet run
// os::kIdNo for a Yes/No question and os::kIdOk otherwise.
int ShowMessage(const String& text, const char* caption, std::uint32_t flags,
                WindowHandle owner);

// Shows `text` as an "Error" box with the error icon and OK (owner
// MainWindow), logs it, and makes `code` the process's exit code.
void ReportFailure(ExitCode code, const String& text);
// The same with an explicit owner (0 for the ownerless boxes).
void ReportFailure(ExitCode code, const String& text, WindowHandle owner);

void SetExitCode(ExitCode code);
ExitCode CurrentExitCode();

// Logs the exit code and ends the process with it.
[[noreturn]] void EndProcess(ExitCode code);

}  // namespace sfx

#endif  // SFX_INSTALL_REPORT_H_
