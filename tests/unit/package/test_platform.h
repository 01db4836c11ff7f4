// A platform for tests: forwards file and directory calls to the host
// platform, records every message box, turns ExitProcess into an
// exception, and can make chosen calls fail.
#ifndef SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_
#define SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sfx_test {

// Thrown instead of ending the process.
struct ExitCalled {
  std::uint32_t code;
};

struct ShownMessage {
  sfx::WindowHandle owner;
  std::string text;
  std::string caption;
  std::uint32_t flags;
};

class TestPlatform : public sfx::Platform {
 public:
  TestPlatform() : host_(sfx::SystemPlatform()) {
    sfx::SetPlatformForTesting(this);
  }
  ~TestPlatform() override { sfx::SetPlatformForTesting(nullptr); }

  std::vector<ShownMessage> messages;
  // Paths for which CreateWrite fails.
  std::vector<std::string> refuse_create;
  // Wraps the files that CreateWrite returns (to inject write failures).
  std::function<std::unique_ptr<sfx::File>(std::unique_ptr<sfx::File>)>
      wrap_created;
  std::vector<std::string> created;

  std::unique_ptr<sfx::File> OpenRead(const std::string& p) override {
    return host_.OpenRead(p);
  }
  std::unique_ptr<sfx::File> OpenReadWrite(const std::string& p) override {
    return host_.OpenReadWrite(p);
  }
  std::unique_ptr<sfx::File> CreateWrite(const std::string& p) override {
    for (const std::string& refused : refuse_create) {
      if (refused == p) return nullptr;
    }
    created.push_back(p);
    auto file = host_.CreateWrite(p);
    if (file && wrap_created) return wrap_created(std::move(file));
    return file;
  }
  bool DeleteFile(const std::string& p) override { return host_.DeleteFile(p); }
  bool GetLastWriteDosTime(const std::string& p, std::uint32_t* t) override {
    return host_.GetLastWriteDosTime(p, t);
  }
  bool SetLastWriteDosTime(const std::string& p, std::uint32_t t) override {
    return host_.SetLastWriteDosTime(p, t);
  }
  std::uint32_t GetFileAttributes(const std::string& p) override {
    return host_.GetFileAttributes(p);
  }
  bool CreateDirectory(const std::string& p) override {
    return host_.CreateDirectory(p);
  }
  bool SetCurrentDirectory(const std::string& p) override {
    return host_.SetCurrentDirectory(p);
  }
  std::string GetCurrentDirectory() override {
    return host_.GetCurrentDirectory();
  }
  std::string GetSystemDirectory() override {
    return host_.GetSystemDirectory();
  }
  std::string GetWindowsDirectory() override {
    return host_.GetWindowsDirectory();
  }
  std::string GetTempPath() override { return host_.GetTempPath(); }
  std::string GetSpecialFolderPath(int c, sfx::WindowHandle o) override {
    return host_.GetSpecialFolderPath(c, o);
  }
  bool GetDiskFreeSpace(const std::string& r, std::int64_t* f) override {
    return host_.GetDiskFreeSpace(r, f);
  }
  std::string GetModuleFileName() override { return host_.GetModuleFileName(); }
  std::string GetCommandLine() override { return host_.GetCommandLine(); }
  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    throw ExitCalled{code};
  }
  std::unique_ptr<sfx::Process> StartProcess(const std::string& p) override {
    return host_.StartProcess(p);
  }
  void Sleep(std::uint32_t) override {}
  std::uint32_t WinExec(const std::string& c, int s) override {
    return host_.WinExec(c, s);
  }
  void* GetModuleHandle(const std::string& m) override {
    return host_.GetModuleHandle(m);
  }
  void* LoadLibrary(const std::string& m) override {
    return host_.LoadLibrary(m);
  }
  void* GetProcAddress(void* m, const std::string& n) override {
    return host_.GetProcAddress(m, n);
  }
  std::uint32_t CallSetThreadExecutionState(void* p, std::uint32_t f) override {
    return host_.CallSetThreadExecutionState(p, f);
  }
  std::unique_ptr<sfx::RegistryKey> CreateKey(sfx::os::RegistryRoot r,
                                              const std::string& p) override {
    return host_.CreateKey(r, p);
  }
  void CoInitialize() override {}
  void CoUninitialize() override {}
  std::int32_t CreateShellLink(const std::string& a, const std::string& b,
                               const std::string& c, const std::string& d,
                               const std::string& e) override {
    return host_.CreateShellLink(a, b, c, d, e);
  }
  int MessageBox(sfx::WindowHandle owner, const std::string& text,
                 const std::string& caption, std::uint32_t flags) override {
    messages.push_back({owner, text, caption, flags});
    return sfx::os::kIdOk;
  }
  std::string GetThousandsSeparator() override { return ","; }
  sfx::WindowHandle CreateProgressBar(sfx::WindowHandle, int, int, int, int,
                                      int) override {
    return 0;
  }
  std::intptr_t SendMessage(sfx::WindowHandle, std::uint32_t, std::uintptr_t,
                            std::intptr_t) override {
    return 0;
  }
  bool PostMessage(sfx::WindowHandle, std::uint32_t, std::uintptr_t,
                   std::intptr_t) override {
    return false;
  }
  void UpdateWindow(sfx::WindowHandle) override {}
  void ShowWindow(sfx::WindowHandle, int) override {}
  std::string GetWindowText(sfx::WindowHandle, int) override { return {}; }
  std::vector<std::uint8_t> LoadOwnVersionInfo() override { return {}; }

 private:
  sfx::Platform& host_;
};

}  // namespace sfx_test

#endif  // SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_
