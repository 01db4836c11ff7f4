// A platform that forwards every call to another one: the base of the test
// platforms that change only a few calls (LevelDB's EnvWrapper). A new
// Platform operation is added here once, not in every test double.
#ifndef SFX_TESTS_SUPPORT_FORWARDING_PLATFORM_H_
#define SFX_TESTS_SUPPORT_FORWARDING_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sfx_test {

using sfx::File;
using sfx::Process;
using sfx::RegistryKey;
using sfx::WindowHandle;
namespace os = sfx::os;

class ForwardingPlatform : public sfx::Platform {
 public:
  explicit ForwardingPlatform(sfx::Platform& target) : target_(target) {}
  sfx::Platform& target() const { return target_; }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return target_.OpenRead(path);
  }
  std::unique_ptr<File> CreateWrite(const std::string& path) override {
    return target_.CreateWrite(path);
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    return target_.CreateNew(path);
  }
  bool DeleteFile(const std::string& path) override {
    return target_.DeleteFile(path);
  }
  bool MoveFileReplace(const std::string& from,
                       const std::string& to) override {
    return target_.MoveFileReplace(from, to);
  }
  bool GetLastWriteDosTime(const std::string& path,
                           std::uint32_t* dos_date_time) override {
    return target_.GetLastWriteDosTime(path, dos_date_time);
  }
  std::uint32_t GetFileAttributes(const std::string& path) override {
    return target_.GetFileAttributes(path);
  }
  bool CreateDirectory(const std::string& path) override {
    return target_.CreateDirectory(path);
  }
  bool SetCurrentDirectory(const std::string& path) override {
    return target_.SetCurrentDirectory(path);
  }
  std::string GetCurrentDirectory() override {
    return target_.GetCurrentDirectory();
  }
  std::string GetFullPathName(const std::string& path) override {
    return target_.GetFullPathName(path);
  }
  std::string GetSystemDirectory() override {
    return target_.GetSystemDirectory();
  }
  std::string GetWindowsDirectory() override {
    return target_.GetWindowsDirectory();
  }
  std::string GetTempPath() override { return target_.GetTempPath(); }
  std::string GetSpecialFolderPath(int csidl, WindowHandle owner) override {
    return target_.GetSpecialFolderPath(csidl, owner);
  }
  bool GetDiskFreeSpace(char drive, std::int64_t* free_bytes) override {
    return target_.GetDiskFreeSpace(drive, free_bytes);
  }
  std::string GetModuleFileName() override {
    return target_.GetModuleFileName();
  }
  std::string GetCommandLine() override { return target_.GetCommandLine(); }
  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    target_.ExitProcess(code);
    for (;;) {
    }
  }
  std::unique_ptr<Process> StartProcess(const std::string& path) override {
    return target_.StartProcess(path);
  }
  void Sleep(std::uint32_t milliseconds) override {
    target_.Sleep(milliseconds);
  }
  std::uint32_t WinExec(const std::string& command_line, int show) override {
    return target_.WinExec(command_line, show);
  }
  bool KeepSystemAwake(std::uint32_t flags) override {
    return target_.KeepSystemAwake(flags);
  }
  int ProcessorCount() override { return target_.ProcessorCount(); }
  std::unique_ptr<sfx::Thread> StartThread(void (*body)(void*),
                                           void* context) override {
    return target_.StartThread(body, context);
  }
  std::unique_ptr<sfx::Semaphore> CreateSemaphore(int initial) override {
    return target_.CreateSemaphore(initial);
  }
  std::unique_ptr<RegistryKey> CreateKey(os::RegistryRoot root,
                                         const std::string& path) override {
    return target_.CreateKey(root, path);
  }
  bool DeleteKey(os::RegistryRoot root, const std::string& path) override {
    return target_.DeleteKey(root, path);
  }
  os::KeyCopy CopyKeyOnce(os::RegistryRoot root, const std::string& from,
                          const std::string& to) override {
    return target_.CopyKeyOnce(root, from, to);
  }
  void CoInitialize() override { target_.CoInitialize(); }
  void CoUninitialize() override { target_.CoUninitialize(); }
  std::int32_t CreateShellLink(const std::string& target,
                               const std::string& link_path,
                               const std::string& description,
                               const std::string& arguments,
                               const std::string& working_dir) override {
    return target_.CreateShellLink(target, link_path, description, arguments,
                                   working_dir);
  }
  int MessageBox(WindowHandle owner, const std::string& text,
                 const std::string& caption, std::uint32_t flags) override {
    return target_.MessageBox(owner, text, caption, flags);
  }
  std::string GetThousandsSeparator() override {
    return target_.GetThousandsSeparator();
  }
  void AnnounceSettingsChange() override { target_.AnnounceSettingsChange(); }
  std::vector<std::uint8_t> LoadOwnVersionInfo() override {
    return target_.LoadOwnVersionInfo();
  }

 private:
  sfx::Platform& target_;
};

}  // namespace sfx_test

#endif  // SFX_TESTS_SUPPORT_FORWARDING_PLATFORM_H_
