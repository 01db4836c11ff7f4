// The seam between the installer's logic and the operating system.
//
// Every call into the system that the logic makes goes through `Platform`:
// files, directories, processes, the registry, the shell and the few window
// operations that the installation run performs on the main window. The
// Win32 implementation (platform_win32.cc) maps each operation onto the
// ANSI call of the same name; the host implementation (platform_posix.cc)
// backs files and directories with POSIX calls so that the same logic runs
// in sfxtool and in native unit tests. Tests swap in their own `Platform`
// with SetPlatformForTesting() to observe calls or inject failures.
//
// All texts are 8-bit strings in the system's ANSI code page.
#ifndef SFX_PLATFORM_PLATFORM_H_
#define SFX_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <memory>

#include "base/string.h"
#include "base/vector.h"

namespace sfx {

// An opaque window handle (HWND on Windows); 0 means "no window".
using WindowHandle = std::uintptr_t;

// An open file. Closing happens in the destructor.
class File {
 public:
  enum class Origin { kBegin, kCurrent, kEnd };

  virtual ~File() = default;
  // Reads up to `n` bytes; `*got` receives the count actually read (0 at the
  // end of the file). Returns false when the read itself failed.
  virtual bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) = 0;
  // Writes `n` bytes; `*written` receives the count actually written.
  virtual bool Write(const void* buffer, std::uint32_t n,
                     std::uint32_t* written) = 0;
  // Moves the file position; `*position` (optional) receives the new one.
  // Positions before the start fail; positions past the end succeed.
  virtual bool Seek(std::int64_t offset, Origin origin,
                    std::int64_t* position = nullptr) = 0;
  // The file's current length.
  virtual bool Size(std::int64_t* size) = 0;
  // Sets the last-write time from a local DOS date and time, converted to
  // UTC; creation and access times stay. Called once the last byte is
  // written. False when the value is invalid or the system refuses.
  virtual bool SetLastWriteDosTime(std::uint32_t dos_date_time) = 0;
};

// A started process. The destructor closes every handle it holds.
class Process {
 public:
  virtual ~Process() = default;
  // The exit code, or kStillActive while the process runs. False when the
  // query failed.
  virtual bool GetExitCode(std::uint32_t* code) = 0;
  // Waits up to `timeout_ms` for the process to end; true once it has
  // (or when waiting fails, so that no caller waits forever).
  virtual bool WaitForEnd(std::uint32_t timeout_ms) = 0;
};

// An open registry key. The destructor closes it.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // Sets a string (REG_SZ) value. False when the system refused.
  virtual bool SetString(const String& name, const String& value) = 0;
  // Sets a number (REG_DWORD) value. False when the system refused.
  virtual bool SetDword(const String& name, std::uint32_t value) = 0;
  // Deletes every value of the key (its subkeys stay). False when one
  // could not be deleted.
  virtual bool DeleteAllValues() = 0;
};

// A thread started by Platform::StartThread. The destructor waits for it
// to end.
class Thread {
 public:
  virtual ~Thread() = default;
};

// A counting semaphore between threads: Signal raises the count, Wait
// waits until it is above zero and lowers it. Each pair is a full memory
// barrier, so what one thread wrote before Signal is seen after Wait.
class Semaphore {
 public:
  virtual ~Semaphore() = default;
  virtual void Wait() = 0;
  virtual void Signal() = 0;
};

// System constants the logic needs by value, independent of <windows.h>.
namespace os {
constexpr std::uint32_t kStillActive = 259;
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kAttributeDirectory = 0x10;

enum class RegistryRoot { kCurrentUser, kLocalMachine };
enum class KeyCopy { kCopied, kTargetExists, kNoSource };

// Special folders (CSIDL values).
constexpr int kCsidlDesktop = 0x00;
constexpr int kCsidlPrograms = 0x02;
constexpr int kCsidlCommonAppData = 0x23;

// Message box flags and answers.
constexpr std::uint32_t kMbOk = 0x00;
constexpr std::uint32_t kMbYesNo = 0x04;
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconWarning = 0x30;
constexpr std::uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// How WinExec shows a started program (SW_SHOW).
constexpr int kSwShow = 5;

constexpr std::uint32_t kEsSystemRequired = 0x1;
}  // namespace os

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Files -------------------------------------------------------------
  // Opens an existing file for reading, all sharing allowed. Null on failure.
  virtual std::unique_ptr<File> OpenRead(const String& path) = 0;
  // Creates (or truncates) a file for writing. Null on failure.
  virtual std::unique_ptr<File> CreateWrite(const String& path) = 0;
  // Creates a file for writing that does not exist yet; null when `path`
  // exists or the file cannot be made.
  virtual std::unique_ptr<File> CreateNew(const String& path) = 0;
  virtual bool DeleteFile(const String& path) = 0;
  // Moves `from` over `to` in one step, replacing an existing `to`
  // (MoveFileExA with MOVEFILE_REPLACE_EXISTING). False, with both files as
  // they were, when the system refuses (for instance `to` is in use).
  virtual bool MoveFileReplace(const String& from, const String& to) = 0;
  // The last-write time of an existing file as a local DOS date and time
  // (date in the high 16 bits, time in the low 16 bits).
  virtual bool GetLastWriteDosTime(const String& path,
                                   std::uint32_t* dos_date_time) = 0;
  // GetFileAttributesA: os::kInvalidAttributes when the path does not exist.
  virtual std::uint32_t GetFileAttributes(const String& path) = 0;
  // Creates one directory (not its parents).
  virtual bool CreateDirectory(const String& path) = 0;
  virtual bool SetCurrentDirectory(const String& path) = 0;
  virtual String GetCurrentDirectory() = 0;
  // The full path the system reads `path` as (GetFullPathNameA): taken
  // against the current directory (or drive), "." and ".." resolved.
  // Empty when it cannot.
  virtual String GetFullPathName(const String& path) = 0;
  virtual String GetSystemDirectory() = 0;
  virtual String GetWindowsDirectory() = 0;
  virtual String GetTempPath() = 0;
  // The path of a shell special folder (CSIDL); empty when unknown.
  virtual String GetSpecialFolderPath(int csidl, WindowHandle owner) = 0;
  // Free bytes on the volume of drive letter `drive` ('C'). False when
  // unknown, leaving *free_bytes as it was.
  virtual bool GetDiskFreeSpace(char drive, std::int64_t* free_bytes) = 0;

  // --- Processes -----------------------------------------------------------
  virtual String GetModuleFileName() = 0;
  // The raw command line of the process, program name included.
  virtual String GetCommandLine() = 0;
  [[noreturn]] virtual void ExitProcess(std::uint32_t code) = 0;
  // CreateProcessA with `path` as application name and no command line.
  // Null when the program could not be started.
  virtual std::unique_ptr<Process> StartProcess(const String& path) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // WinExec: a result of 32 or more is success, below 32 an error code.
  virtual std::uint32_t WinExec(const String& command_line, int show) = 0;
  // SetThreadExecutionState(flags); false when the system refuses (the
  // machine then simply may sleep).
  virtual bool KeepSystemAwake(std::uint32_t flags) = 0;

  // --- Threads -------------------------------------------------------------
  // The number of processors (GetSystemInfo); at least 1.
  virtual int ProcessorCount() = 0;
  // Runs body(context) on a new thread; null when none could be started.
  virtual std::unique_ptr<Thread> StartThread(void (*body)(void*),
                                              void* context) = 0;
  // A semaphore with the count `initial`; null on failure.
  virtual std::unique_ptr<Semaphore> CreateSemaphore(int initial) = 0;

  // --- Registry ------------------------------------------------------------
  // Opens `path` beneath `root`, creating missing keys. Null on failure.
  virtual std::unique_ptr<RegistryKey> CreateKey(os::RegistryRoot root,
                                                 const String& path) = 0;
  // Deletes the key `path` (RegDeleteKeyA), which the system refuses (on
  // Windows NT and later) when the key has subkeys; false then, and when
  // there is no such key.
  virtual bool DeleteKey(os::RegistryRoot root, const String& path) = 0;
  // Copies the values and subkeys of `from` into a new key `to`
  // (RegCopyTreeA). Does nothing when `to` exists already or `from` does
  // not, and says which.
  virtual os::KeyCopy CopyKeyOnce(os::RegistryRoot root, const String& from,
                                  const String& to) = 0;

  // --- Shell ---------------------------------------------------------------
  virtual void CoInitialize() = 0;
  virtual void CoUninitialize() = 0;
  // Writes one shell link; returns the status (negative means failure).
  virtual std::int32_t CreateShellLink(const String& target,
                                       const String& link_path,
                                       const String& description,
                                       const String& arguments,
                                       const String& working_dir) = 0;

  // --- Windows -------------------------------------------------------------
  // MessageBoxA; returns the button pressed (os::kIdOk, kIdYes, kIdNo).
  virtual int MessageBox(WindowHandle owner, const String& text,
                         const String& caption, std::uint32_t flags) = 0;
  // The user's thousands separator (LOCALE_STHOUSAND); "," when unknown.
  virtual String GetThousandsSeparator() = 0;
  // Tells every top-level window that settings changed (the shell then
  // shows new shortcuts): a posted WM_WININICHANGE broadcast.
  virtual void AnnounceSettingsChange() = 0;

  // --- Resources -------------------------------------------------------------
  // The bytes of the program's own VERSIONINFO resource (id 1); empty when
  // it has none.
  virtual Vector<std::uint8_t> LoadOwnVersionInfo() = 0;
};

// The platform in use: the system's own unless a test installed another.
Platform& Os();
// Installs `platform` (not owned) as the one Os() returns; null restores
// the system's own.
void SetPlatformForTesting(Platform* platform);
// The system's own implementation (Win32 or POSIX, chosen by the build).
Platform& SystemPlatform();

}  // namespace sfx

#endif  // SFX_PLATFORM_PLATFORM_H_
