// The start-up sequence: verify the installer file, read the header, prepare
// the destination, then run unattended or open the window.
#ifndef SFX_APP_STARTUP_H_
#define SFX_APP_STARTUP_H_

#include <string>

#include "package/record.h"

namespace sfx {

// The first command-line argument (quotes removed, a leading "" skipped).
std::string FirstArgument(const std::string& command_line);

// Runs the installer for `record`. Returns normally for exit code 0; ends
// the process itself (exit code 1) when the header cannot be read.
void RunInstaller(TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_APP_STARTUP_H_
