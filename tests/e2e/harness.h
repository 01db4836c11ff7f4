// The end-to-end harness: runs installer files built by sfxtool under Wine
// and looks at them the way a user and an administrator would. It starts an
// installer with CreateProcess, finds the message boxes of its process,
// reads their caption, text and buttons, presses a button, waits for the
// exit code, and then reads what the installation left behind through the
// system's own interfaces: files and their times, registry values, and
// shell links loaded through IShellLink/IPersistFile.
//
// The interactive suite adds input, screen capture and painted-text checks
// on top of it (ui_driver.h).
//
// Paths are Windows paths; the build tree is reached through drive Z:.
#ifndef SFX_TESTS_E2E_HARNESS_H_
#define SFX_TESTS_E2E_HARNESS_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sfx::e2e {

// A bound on every wait, so that a hanging installer fails its test instead
// of the suite. Nothing is timed.
constexpr DWORD kPatienceMs = 60000;

// The directory of the fixture installers (<build>\tests\e2e\fixtures).
std::string FixtureDir();
// The fixture installer built from fixtures/<name>.toml.in.
std::string Fixture(const std::string& name);
// A Unix path of the build machine as a Windows path (Z: is /).
std::string WinePath(const std::string& unix_path);
// C:\sfx-e2e\<name>\, emptied and created afresh.
std::string WorkDir(const std::string& name);

// --- Files -------------------------------------------------------------------
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path,
                    const std::vector<std::uint8_t>& bytes);
// The offset of the first `text` at or after `from` in `bytes`, or
// std::string::npos.
std::size_t OffsetOf(const std::vector<std::uint8_t>& bytes,
                     const std::string& text, std::size_t from = 0);
// Last-write time as a UTC FILETIME value (100 ns since 1601).
std::optional<std::uint64_t> LastWriteTime(const std::string& path);
bool SetLastWriteTime(const std::string& path, std::uint64_t utc_filetime);
// A local time (year, month, ...) as a UTC FILETIME value.
std::uint64_t LocalTimeToFileTime(int year, int month, int day, int hour,
                                  int minute, int second);
// Removes a directory with everything below it (no error if absent).
void RemoveTree(const std::string& path);

// --- Registry ----------------------------------------------------------------
// A REG_SZ value, or nothing when the key or the value is missing or has
// another type.
std::optional<std::string> RegistryString(HKEY root, const std::string& key,
                                          const std::string& name);
// The names of the key's values (in the registry's order).
std::vector<std::string> RegistryValueNames(HKEY root, const std::string& key);
void DeleteRegistryTree(HKEY root, const std::string& key);

// --- Shell -------------------------------------------------------------------
struct ShellLinkInfo {
  std::string target;
  std::string arguments;
  std::string working_dir;
  std::string description;
};
// Loads a .LNK file through the shell's link object.
std::optional<ShellLinkInfo> ReadShellLink(const std::string& path);
// A shell special folder (CSIDL), without a trailing backslash.
std::string SpecialFolder(int csidl);

// --- Processes and windows ---------------------------------------------------
// Polls `condition` every 50 ms until it holds or `timeout_ms` have passed;
// whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeout_ms = kPatienceMs) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

// A window's text as WM_GETTEXT gives it (so also what a user typed into
// another process's edit field); empty when the window does not answer.
std::string WindowText(HWND window);
std::string ClassName(HWND window);
// Every window below `parent` (children and their children).
std::vector<HWND> ChildWindows(HWND parent);
// What a message box (or another dialog) shows.
struct Dialog {
  HWND window = nullptr;
  std::string caption;
  std::string text;                  // the static text, control id 0xFFFF
  std::vector<std::string> buttons;  // button labels without '&'
};
Dialog ReadDialog(HWND dialog);
// Presses the button labelled `label` (compared without '&') as a click
// would. False when the dialog has no such button.
bool PressButton(HWND dialog, const std::string& label);
// The visible top-level windows of process `pid` with class `class_name`
// (every class when empty).
std::vector<HWND> ProcessWindows(DWORD pid, const std::string& class_name);
// Closes every visible top-level dialog captioned `caption`, whatever its
// process (for example a program the installer launched); their count.
int CloseDialogsCaptioned(const std::string& caption);

// A started installer. The destructor ends it if it still runs.
class Process {
 public:
  // Starts `exe` with the command line `"exe" arguments` in `current_dir`
  // (the caller's when empty), with TEMP and TMP set to `temp_dir` when that
  // is not empty.
  Process(const std::string& exe, const std::string& arguments,
          const std::string& current_dir = std::string(),
          const std::string& temp_dir = std::string());
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return process_ != nullptr; }
  DWORD pid() const { return pid_; }
  bool Running() const;
  // Waits for the end; the exit code, or nothing when it did not end.
  std::optional<DWORD> Wait(DWORD timeout_ms = kPatienceMs);
  // Waits for the next visible dialog ("#32770") of the process; a dialog
  // with a null window when the process ended or none came.
  Dialog NextDialog(DWORD timeout_ms = kPatienceMs);

  // A visible top-level window of the process titled `title` (and, when not
  // empty, of class `class_name`); null when there is none.
  HWND Find(const std::string& title,
            const std::string& class_name = std::string()) const;
  // The same, waiting for it to appear.
  HWND WaitForWindow(const std::string& title,
                     const std::string& class_name = std::string(),
                     DWORD timeout_ms = kPatienceMs) const;
  // Waits for a visible dialog ("#32770") of the process owned by `owner`.
  HWND WaitForOwnedDialog(HWND owner, DWORD timeout_ms = kPatienceMs) const;
  // Waits until no visible top-level window titled `title` remains.
  bool WaitForWindowGone(const std::string& title,
                         DWORD timeout_ms = kPatienceMs) const;
  // Waits for the message box captioned `caption` and reads it; a dialog
  // with a null window when none came.
  Dialog WaitForMessageBox(const std::string& caption,
                           DWORD timeout_ms = kPatienceMs) const;

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// An installer run to its end: every dialog it showed, in order, and its
// exit code.
struct RunResult {
  std::vector<Dialog> dialogs;
  std::optional<DWORD> exit_code;
  // The texts of the dialogs, in order.
  std::vector<std::string> Texts() const;
};
// Runs `exe` with `arguments` and answers each dialog: `answer` gets the
// dialog and returns the label to press (the default presses "OK", or
// "Yes" when there is no OK).
RunResult RunInstaller(
    const std::string& exe, const std::string& arguments,
    const std::function<std::string(const Dialog&)>& answer = nullptr,
    const std::string& current_dir = std::string());

}  // namespace sfx::e2e

#endif  // SFX_TESTS_E2E_HARNESS_H_
