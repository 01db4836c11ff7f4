// An in-memory sfx::Platform for native unit tests: files and directories
// (drive-letter paths, compared without regard to case), the registry,
// message boxes with scripted answers, processes with scripted exit codes,
// shell links, settings announcements and a log of the calls that create
// something or start a program. Install it with SetPlatformForTesting
// (FakePlatformScope does that for a test's lifetime).
//
// ExitProcess throws FakeExit, so a test can observe a process end without
// ending the test program.
#ifndef SFX_TESTS_SUPPORT_FAKE_PLATFORM_H_
#define SFX_TESTS_SUPPORT_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sfx::fake {

// Thrown by FakePlatform::ExitProcess.
struct FakeExit {
  std::uint32_t code;
};

struct MessageBoxCall {
  WindowHandle owner;
  std::string text;
  std::string caption;
  std::uint32_t flags;
};

struct RegistryWrite {
  os::RegistryRoot root;
  std::string key;
  std::string name;
  std::string value;
};

struct ShellLinkCall {
  std::string target;
  std::string link_path;
  std::string description;
  std::string arguments;
  std::string working_dir;
};

// What a started program does: it runs for `polls_running` exit-code
// queries, then ends with `exit_code`. `on_start` runs when it starts.
struct ProgramScript {
  std::uint32_t exit_code = 0;
  int polls_running = 0;
  std::function<void()> on_start;
};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- Test set-up and inspection ------------------------------------------
  // Creates the directory and its parents.
  void AddDirectory(const std::string& path);
  // Creates the file (and its directory).
  void AddFile(const std::string& path, const std::vector<std::uint8_t>& data,
               std::uint32_t dos_time = 0);
  void AddFile(const std::string& path, const std::string& text,
               std::uint32_t dos_time = 0) {
    AddFile(path, std::vector<std::uint8_t>(text.begin(), text.end()),
            dos_time);
  }
  // Held open elsewhere without sharing: no open, replace or delete.
  void LockFile(const std::string& path) {
    if (Node* node = Find(path, false)) node->locked = true;
  }
  bool HasFile(const std::string& path) const { return Find(path, false); }
  bool HasDirectory(const std::string& path) const { return Find(path, true); }
  std::string FileText(const std::string& path) const;
  // The last value written under root\key\name, if any.
  std::optional<std::string> RegistryValue(os::RegistryRoot root,
                                           const std::string& key,
                                           const std::string& name) const;
  // Value names written under root\key, in the order first written.
  std::vector<std::string> RegistryNames(os::RegistryRoot root,
                                         const std::string& key) const;
  // Message-box texts in order.
  std::vector<std::string> MessageTexts() const;

  // Configuration.
  std::string system_dir = "C:\\WINDOWS\\system32";
  std::string windows_dir = "C:\\WINDOWS";
  std::string temp_dir = "C:\\TEMP\\";
  std::string current_dir = "C:\\";
  std::map<int, std::string> special_folders;
  std::map<char, std::int64_t> free_space;  // by upper-case drive letter
  std::string module_file_name = "C:\\Downloads\\setup.exe";
  std::string command_line = "\"C:\\Downloads\\setup.exe\"";
  std::string thousands_separator = ",";
  std::map<std::string, ProgramScript> programs;  // by upper-cased path
  std::uint32_t winexec_result = 33;
  std::set<std::string> failing_keys;         // CreateKey fails (upper-cased)
  std::set<std::string> failing_value_names;  // SetString fails
  std::int32_t shell_link_status = 0;
  std::deque<int> answers;  // message-box answers; default OK / Yes
  std::vector<std::uint8_t> own_version_info;  // LoadOwnVersionInfo
  // ProcessorCount; threads and semaphores are the host's own.
  int processor_count = 1;

  // Observations.
  std::vector<std::string> log;
  std::vector<MessageBoxCall> message_boxes;
  std::vector<RegistryWrite> registry_writes;  // values deleted since drop out
  std::set<std::string>
      created_keys;  // by CreateKey (upper-cased), until deleted
  std::vector<ShellLinkCall> shell_links;
  int settings_announcements = 0;
  std::vector<std::string> started_programs;
  std::vector<std::string> winexec_calls;
  int co_initialize_calls = 0;
  int co_uninitialize_calls = 0;

  // --- Platform --------------------------------------------------------------
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return Open(path, false);
  }
  std::unique_ptr<File> CreateWrite(const std::string& path) override;
  std::unique_ptr<File> CreateNew(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool MoveFileReplace(const std::string& from, const std::string& to) override;
  bool GetLastWriteDosTime(const std::string& path,
                           std::uint32_t* dos_date_time) override;
  std::uint32_t GetFileAttributes(const std::string& path) override;
  bool CreateDirectory(const std::string& path) override;
  bool SetCurrentDirectory(const std::string& path) override;
  std::string GetCurrentDirectory() override { return current_dir; }
  std::string GetFullPathName(const std::string& path) override {
    return FullPath(path);
  }
  std::string GetSystemDirectory() override { return system_dir; }
  std::string GetWindowsDirectory() override { return windows_dir; }
  std::string GetTempPath() override { return temp_dir; }
  std::string GetSpecialFolderPath(int csidl, WindowHandle) override {
    return special_folders.count(csidl) ? special_folders[csidl] : "";
  }
  bool GetDiskFreeSpace(char drive, std::int64_t* free_bytes) override;
  std::string GetModuleFileName() override { return module_file_name; }
  std::string GetCommandLine() override { return command_line; }
  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    throw FakeExit{code};
  }
  std::unique_ptr<Process> StartProcess(const std::string& path) override;
  void Sleep(std::uint32_t) override {}
  std::uint32_t WinExec(const std::string& command_line_text,
                        int show) override {
    log.push_back("WinExec " + command_line_text +
                  " show=" + std::to_string(show));
    winexec_calls.push_back(command_line_text);
    return winexec_result;
  }
  bool KeepSystemAwake(std::uint32_t) override { return true; }
  int ProcessorCount() override { return processor_count; }
  std::unique_ptr<Thread> StartThread(void (*body)(void*),
                                      void* context) override {
    return SystemPlatform().StartThread(body, context);
  }
  std::unique_ptr<Semaphore> CreateSemaphore(int initial) override {
    return SystemPlatform().CreateSemaphore(initial);
  }
  std::unique_ptr<RegistryKey> CreateKey(os::RegistryRoot root,
                                         const std::string& path) override;
  // Drops the values written under the key (the fake keeps no subkeys).
  bool DeleteKey(os::RegistryRoot root, const std::string& path) override;
  os::KeyCopy CopyKeyOnce(os::RegistryRoot root, const std::string& from,
                          const std::string& to) override;
  void CoInitialize() override { ++co_initialize_calls; }
  void CoUninitialize() override { ++co_uninitialize_calls; }
  std::int32_t CreateShellLink(const std::string& target,
                               const std::string& link_path,
                               const std::string& description,
                               const std::string& arguments,
                               const std::string& working_dir) override {
    shell_links.push_back(
        {target, link_path, description, arguments, working_dir});
    return shell_link_status;
  }
  int MessageBox(WindowHandle owner, const std::string& text,
                 const std::string& caption, std::uint32_t flags) override;
  std::string GetThousandsSeparator() override { return thousands_separator; }
  void AnnounceSettingsChange() override { ++settings_announcements; }
  std::vector<std::uint8_t> LoadOwnVersionInfo() override {
    return own_version_info;
  }

 private:
  // A directory, or a file with its bytes (shared with the files opened on
  // it) and time.
  struct Node {
    bool directory = false;
    std::shared_ptr<std::vector<std::uint8_t>> data;
    std::shared_ptr<std::uint32_t> dos_time;
    bool locked = false;
  };
  // The key under which a path is stored: absolute (relative paths are
  // taken against the current directory), upper-cased, without a trailing
  // backslash.
  // A relative path joined to current_dir ("." and ".." stay).
  std::string FullPath(const std::string& path) const;
  std::string Normalize(const std::string& path) const;
  // The file (or directory) at `path`, if there is one.
  Node* Find(const std::string& path, bool directory) const;
  bool IsDirectoryKey(const std::string& key) const;
  std::unique_ptr<File> Open(const std::string& path, bool writable);
  // Whether a new file or directory may be made at `key`: its parent is a
  // directory and nothing else of that name is locked or a directory.
  bool CanCreateAt(const std::string& key) const;

  mutable std::map<std::string, Node> nodes_;
};

// Installs a FakePlatform for the scope's lifetime.
class FakePlatformScope {
 public:
  explicit FakePlatformScope(FakePlatform* platform) {
    SetPlatformForTesting(platform);
  }
  ~FakePlatformScope() { SetPlatformForTesting(nullptr); }
  FakePlatformScope(const FakePlatformScope&) = delete;
  FakePlatformScope& operator=(const FakePlatformScope&) = delete;
};

}  // namespace sfx::fake

#endif  // SFX_TESTS_SUPPORT_FAKE_PLATFORM_H_
