// A test fixture for the installation engine: an in-memory platform with a
// real installer file at C:\Downloads\setup.exe, built from the record the
// test describes, and the process-wide installer state reset around each
// test.
#ifndef SFX_TESTS_UNIT_INSTALL_INSTALL_FIXTURE_H_
#define SFX_TESTS_UNIT_INSTALL_INSTALL_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/file_entry.h"
#include "fake_platform.h"
#include "install/installation.h"
#include "install/package_reports.h"
#include "install/report.h"
#include "package/container.h"
#include "package_image.h"
#include "paths/macros.h"

namespace sfx {

class InstallFixture : public ::testing::Test {
 protected:
  static constexpr os::RegistryRoot kHkcu = os::RegistryRoot::kCurrentUser;
  static constexpr os::RegistryRoot kHklm = os::RegistryRoot::kLocalMachine;

  InstallFixture() { ResetState(); }
  ~InstallFixture() override { ResetState(); }

 public:
  // The process-wide installer state as at start-up.
  static void ResetState() {
    DestBuffer.clear();
    TargetDrive = 0;
    AutoInstall = false;
    FreeSpace = -1;
    Unattended = false;
    InstallLocation.clear();
    ProgName.clear();
    MainWindow = 0;
    LastExtractedPath.clear();
    ExePath.clear();
    MarkerOffset = 0;
    QuietMode = false;
    SetExitCode(ExitCode::kInstalled);
  }

 protected:
  // Writes the installer file for record_ (entry i holding contents[i]) and
  // verifies it, as start-up does.
  void BuildPackage(const std::vector<std::string>& contents,
                    std::time_t mtime = 1700000000) {
    platform_.AddFile(platform_.module_file_name,
                      fake::BuildInstallerImage(record_, contents, mtime));
    ExePath = platform_.module_file_name;
    ASSERT_TRUE(VerifyPackage(ExePath, false));
    ProgName = record_.ProductName;
  }

  // The destination of an unattended run.
  void SetDestination(const std::string& destination) {
    DestBuffer = destination;
    TargetDrive = destination.empty() ? 0 : destination[0];
    Unattended = true;
  }

  std::optional<std::string> LogValue(const std::string& name) const {
    return platform_.RegistryValue(kHkcu, record_.RegistryKey + "\\install",
                                   name);
  }

  fake::FakePlatform platform_;
  fake::FakePlatformScope scope_{&platform_};
  TInstalRecord record_;
};

}  // namespace sfx

#endif  // SFX_TESTS_UNIT_INSTALL_INSTALL_FIXTURE_H_
