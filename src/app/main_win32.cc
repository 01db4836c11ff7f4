// The installer's entry: one installation record for the whole process,
// the path of the installer's own file, the start-up sequence, and the exit
// code that the run left (platform/report.h).
#include "app/startup.h"
#include "package/container.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "platform/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  {
    sfx::TInstalRecord record;
    sfx::ExePath = sfx::Os().GetModuleFileName();
    sfx::RunInstaller(record);
  }
  sfx::EndProcess(sfx::CurrentExitCode());
}
