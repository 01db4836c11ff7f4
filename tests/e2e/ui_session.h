// The test fixture of the interactive suite: one installer started from a
// fixture with a private temporary folder, found by its window title.
#ifndef SFX_TESTS_E2E_UI_SESSION_H_
#define SFX_TESTS_E2E_UI_SESSION_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "ui_driver.h"

namespace sfx::e2e {

constexpr char kLicenceTitle[] = "USER LICENSING AGREEMENT";

class UiSession : public ::testing::Test {
 protected:
  // Starts fixture `name` and waits for its window "<product> installation".
  HWND Start(const std::string& name, const std::string& product) {
    scratch_ = MakeScratchDirectory(name);
    temp_ = scratch_ + "temp\\";
    CreateDirectoryA(temp_.c_str(), nullptr);
    destination_ = scratch_ + "dest";
    installer_ = std::make_unique<Process>(FixtureExe(name), std::string(),
                                           std::string(), temp_);
    EXPECT_TRUE(installer_->started()) << FixtureExe(name);
    title_ = product + " installation";
    main_ = installer_->WaitForWindow(title_);
    EXPECT_TRUE(main_) << "no window " << title_;
    return main_;
  }

  HWND Edit() const { return GetDlgItem(main_, 1); }
  HWND Button(int id) const { return GetDlgItem(main_, id); }

  // Types the destination into the field as a user would.
  void TypeDestination(const std::string& text) {
    TypeInto(Edit(), text);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(Edit()) == text; }))
        << WindowText(Edit());
  }

  HWND WaitForLicence() {
    return installer_->WaitForWindow(kLicenceTitle, "#32770");
  }

  // Whether the installer ends with `expected` (0 installed, 3 closed
  // without installing).
  bool ExitsWith(DWORD expected) {
    std::optional<DWORD> code = installer_->Wait();
    return code && *code == expected;
  }

  // The installer is ended first; then its files go.
  void TearDown() override {
    installer_.reset();
    if (!scratch_.empty()) RemoveTree(scratch_.substr(0, scratch_.size() - 1));
  }

  std::string scratch_;
  std::string temp_;
  std::string destination_;
  std::string title_;
  std::unique_ptr<Process> installer_;
  HWND main_ = nullptr;
};

}  // namespace sfx::e2e

#endif  // SFX_TESTS_E2E_UI_SESSION_H_
