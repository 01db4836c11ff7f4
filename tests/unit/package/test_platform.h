// A platform for tests: forwards file and directory calls to the host
// platform, records every message box, turns ExitProcess into an
// exception, and can make chosen calls fail.
#ifndef SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_
#define SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_

#include <functional>
#include <string>
#include <vector>

#include "support/forwarding_platform.h"

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

class TestPlatform : public ForwardingPlatform {
 public:
  TestPlatform() : ForwardingPlatform(sfx::SystemPlatform()) {
    sfx::SetPlatformForTesting(this);
  }
  ~TestPlatform() override { sfx::SetPlatformForTesting(nullptr); }

  std::vector<ShownMessage> messages;
  // Paths for which CreateWrite and CreateNew fail.
  std::vector<std::string> refuse_create;
  // Wraps the files that they return (to inject write failures).
  std::function<std::unique_ptr<sfx::File>(std::unique_ptr<sfx::File>)>
      wrap_created;
  std::vector<std::string> created;

  std::unique_ptr<sfx::File> CreateWrite(const std::string& p) override {
    return Create(p, &sfx::Platform::CreateWrite);
  }
  std::unique_ptr<sfx::File> CreateNew(const std::string& p) override {
    return Create(p, &sfx::Platform::CreateNew);
  }
  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    throw ExitCalled{code};
  }
  void Sleep(std::uint32_t) override {}
  void CoInitialize() override {}
  void CoUninitialize() override {}
  int MessageBox(sfx::WindowHandle owner, const std::string& text,
                 const std::string& caption, std::uint32_t flags) override {
    messages.push_back({owner, text, caption, flags});
    return sfx::os::kIdOk;
  }
  std::string GetThousandsSeparator() override { return ","; }

 private:
  std::unique_ptr<sfx::File> Create(
      const std::string& p,
      std::unique_ptr<sfx::File> (sfx::Platform::*make)(const std::string&)) {
    for (const std::string& refused : refuse_create) {
      if (refused == p) return nullptr;
    }
    auto file = (target().*make)(p);
    if (file) created.push_back(p);
    if (file && wrap_created) return wrap_created(std::move(file));
    return file;
  }
};

}  // namespace sfx_test

#endif  // SFX_TESTS_UNIT_PACKAGE_TEST_PLATFORM_H_
