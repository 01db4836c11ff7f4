// The installer's entry: one installation record for the whole process,
// the path of the installer's own file, the start-up sequence, and the exit
// code that the run left (install/report.h).
//
// The program is linked without the C runtime's start-up code
// (-nostartfiles, src/app/CMakeLists.txt): it needs none of what that code
// prepares (arguments, thread-local storage, global constructors, atexit,
// math-error hooks), and the system calls this entry directly. msvcrt.dll
// initialises itself when loaded, so malloc and memcpy work from the first
// line. No global object of the program has a constructor that runs at
// start-up (the build checks: see CMakeLists.txt).
#include "app/startup.h"
#include "install/report.h"
#include "package/container.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

extern "C" [[noreturn]] void WinMainCRTStartup() {
  // The record lives as long as the process: it is never freed, as the
  // process ends right after the run (and the system takes its memory
  // back), so the program carries no code to take it apart.
  sfx::TInstalRecord* record = new sfx::TInstalRecord;
  sfx::ExePath = sfx::Os().GetModuleFileName();
  sfx::RunInstaller(*record);
  sfx::EndProcess(sfx::CurrentExitCode());
}
