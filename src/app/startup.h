// The start-up sequence: verify the installer file, read the header, prepare
// the destination, then run unattended or open the window.
#ifndef SFX_APP_STARTUP_H_
#define SFX_APP_STARTUP_H_

#include <cstdint>

#include "base/string.h"
#include "package/container.h"
#include "package/record.h"

namespace sfx {

// The first command-line argument (quotes removed, a leading "" skipped).
String FirstArgument(const String& command_line);

// `n` in decimal, grouped by threes from the right with `separator`
// ("###,###").
String FormatThousands(std::int64_t n, const String& separator);

// The text shown for a damaged installer file. `actual_size` is the file's
// length, or -1 when it could not be measured (no size sentence then).
String CorruptionMessage(const String& exe_path, std::int64_t actual_size,
                         const StubSizeValues& stub, const String& separator);

// Runs the installer for `record`, leaving the exit code in
// CurrentExitCode() (install/report.h); ends the process itself when the
// header cannot be read (1) or a program cancels (3).
void RunInstaller(TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_APP_STARTUP_H_
