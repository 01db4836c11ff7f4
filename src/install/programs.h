// Programs the installation runs: pre-run entries (extracted, waited for,
// deleted), command lines started without waiting, and the late-bound
// system function that keeps the machine awake.
#ifndef SFX_INSTALL_PROGRAMS_H_
#define SFX_INSTALL_PROGRAMS_H_

#include <cstdint>
#include <string>

#include "package/record.h"
#include "platform/exception.h"

namespace sfx {

constexpr std::uint32_t kCanceledExitCode = 1962;
constexpr std::uint32_t kLaunchFailedCode = 0xC0000008u;
constexpr std::uint32_t kPollIntervalMs = 100;

class EJwaError : public Exception {
 public:
  using Exception::Exception;
};
class EJwaLoadLibraryError : public EJwaError {
 public:
  using EJwaError::EJwaError;
};
class EJwaGetProcAddressError : public EJwaError {
 public:
  using EJwaError::EJwaError;
};

// Runs one pre-run entry; may end the process when it cancels (1962).
void RunPreRunFile(const TInstalRecord& record, const TPreRunFileRecord& entry);
// Starts a program and waits for it; its exit code or kLaunchFailedCode.
std::uint32_t StartAndWait(const std::string& path);
// Starts a command line without waiting; the error text, empty on success.
std::string LaunchCommand(const std::string& command_line,
                          const std::string& directory = std::string());
// Fills `*slot` with module!function once; raises EJwa*Error.
void ResolveProcAddress(void** slot, const std::string& module,
                        const std::string& function);
// SetThreadExecutionState, bound late from kernel32.dll.
std::uint32_t KeepSystemAwake(std::uint32_t flags);
// KeepSystemAwake for callers without a handler: false when the system
// lacks the function (it then simply may go to sleep).
bool TryKeepSystemAwake(std::uint32_t flags);

}  // namespace sfx

#endif  // SFX_INSTALL_PROGRAMS_H_
