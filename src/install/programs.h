// Programs the installation runs: pre-run entries (extracted, waited for,
// deleted), command lines started without waiting, and the late-bound
// system function that keeps the machine awake.
#ifndef SFX_INSTALL_PROGRAMS_H_
#define SFX_INSTALL_PROGRAMS_H_

#include <cstdint>

#include "base/status.h"
#include "base/string.h"
#include "package/record.h"

namespace sfx {

constexpr std::uint32_t kCanceledExitCode = 1962;
constexpr std::uint32_t kLaunchFailedCode = 0xC0000008u;
constexpr std::uint32_t kPollIntervalMs = 100;

// Runs one pre-run entry; may end the process when it cancels (1962).
// Fails (reported) when the package turns out unusable.
Status RunPreRunFile(const TInstalRecord& record,
                     const TPreRunFileRecord& entry);
// Starts a program and waits for it; its exit code or kLaunchFailedCode.
std::uint32_t StartAndWait(const String& path);
// Starts a command line without waiting; the error text, empty on success.
String LaunchCommand(const String& command_line,
                     const String& directory = String());

}  // namespace sfx

#endif  // SFX_INSTALL_PROGRAMS_H_
