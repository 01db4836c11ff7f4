// The installer window under Wine, driven through its real handles: its
// frame and controls, the painted texts (compared pixel for pixel with the
// same texts drawn by this process), the free-space line following the
// typed drive, Enter, Escape, Cancel, and a run without licence that shows
// the copying view and the progress bar and closes the window.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // needs <windows.h> first
// clang-format on

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/paint_texts.h"
#include "ui_driver.h"
#include "ui_session.h"

namespace sfx::e2e {
namespace {

// Screenshots show the caption: Wine draws the frames itself when no window
// manager decorates them (Xvfb has none). The prefix's own setting comes
// back afterwards.
class WineLook : public ::testing::Environment {
 public:
  void SetUp() override {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    char value[16] = {};
    DWORD size = sizeof value - 1;
    had_value_ = RegQueryValueExA(key_, "Decorated", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(value),
                                  &size) == ERROR_SUCCESS;
    previous_ = value;
    RegSetValueExA(key_, "Decorated", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>("N"), 2);
  }
  void TearDown() override {
    if (!key_) return;
    if (had_value_) {
      RegSetValueExA(key_, "Decorated", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(previous_.c_str()),
                     static_cast<DWORD>(previous_.size() + 1));
    } else {
      RegDeleteValueA(key_, "Decorated");
    }
    RegCloseKey(key_);
  }

 private:
  static constexpr char kKey[] = "Software\\Wine\\X11 Driver";
  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::string previous_;
};
::testing::Environment* const kWineLook =
    ::testing::AddGlobalTestEnvironment(new WineLook);

// The free-space line the window should show for `drive`, or "" when the
// drive does not answer.
std::string ExpectedFreeSpaceLine(char drive) {
  const char root[] = {drive, ':', '\\', '\0'};
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters)) {
    return std::string();
  }
  const String line =
      FreeSpaceLine(static_cast<std::int64_t>(sectors) * bytes * free_clusters);
  return std::string(line.data(), line.size());
}

class MainWindowTest : public UiSession {
 protected:
  // The band of the free-space line, in client coordinates.
  RECT FreeSpaceBand() const {
    int h = WindowTextHeight();
    return RECT{10, 188 - h, 330, 188};
  }
};

TEST_F(MainWindowTest, FrameAndControlsFollowTheLayout) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  EXPECT_EQ(ClassName(main_), title_);
  DWORD style = static_cast<DWORD>(GetWindowLongA(main_, GWL_STYLE));
  EXPECT_EQ(style & 0x480000u, 0x480000u);  // dialog frame, system menu
  EXPECT_EQ(style & WS_CAPTION, DWORD{WS_CAPTION});  // given by the system
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(style & WS_CLIPCHILDREN, 0u);
  RECT frame;
  GetWindowRect(main_, &frame);
  EXPECT_EQ(frame.right - frame.left, 448);
  EXPECT_EQ(frame.bottom - frame.top, 270);
  EXPECT_EQ(frame.left, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 224);
  EXPECT_EQ(frame.top, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 135);

  const struct {
    const char* class_name;
    int id;
    const char* text;
    DWORD style;
    RECT rect;
  } expected[] = {
      {"Edit", 1, "C:\\UiDemo", 0x50800284, {10, 145, 330, 167}},
      {"Button", 2, "Browse...", 0x50000000, {336, 145, 436, 167}},
      {"Button", 3, "Cancel", 0x50000000, {336, 214, 436, 236}},
      {"Button", 4, "Install", 0x50000001, {216, 214, 316, 236}},
  };
  std::vector<Control> controls = ChildControls(main_);
  ASSERT_EQ(controls.size(), 4u);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    SCOPED_TRACE(expected[i].text);
    EXPECT_EQ(_stricmp(c.class_name.c_str(), expected[i].class_name), 0)
        << c.class_name;
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.text, expected[i].text);
    // An edit control takes WS_BORDER out of its style when it is created
    // and draws the border itself, so that bit cannot be read back.
    DWORD shown = c.style;
    if (expected[i].id == 1) shown |= WS_BORDER;
    EXPECT_EQ(shown, expected[i].style) << std::hex << c.style;
    EXPECT_EQ(c.rect.left, expected[i].rect.left);
    EXPECT_EQ(c.rect.top, expected[i].rect.top);
    EXPECT_EQ(c.rect.right, expected[i].rect.right);
    EXPECT_EQ(c.rect.bottom, expected[i].rect.bottom);
  }
}

TEST_F(MainWindowTest, PaintsWelcomeLinesDestinationAndDiskFigures) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  const int h = WindowTextHeight();
  const char* welcome[] = {"Welcome to UI Demo 1.0.",
                           "This installs the demo program on your computer.",
                           "Choose a folder and press Install."};
  Image shot;
  std::string free_line;
  bool painted = WaitUntil([&] {
    shot = CaptureClient(main_);
    free_line = ExpectedFreeSpaceLine('C');
    return ShowsTextAt(shot, 10, 144 - h, "Destination Directory:") &&
           ShowsTextAt(shot, 10, 188 - h, free_line);
  });
  SaveScreenshot("main_window", CaptureWindow(main_));
  EXPECT_TRUE(painted) << free_line;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(ShowsTextAt(shot, 10, 10 + i * h, welcome[i])) << welcome[i];
  }
  EXPECT_TRUE(ShowsTextAt(shot, 10, 204 - h, "Space required: 2.4 MB"));
}

TEST_F(MainWindowTest, FreeSpaceLineFollowsTheTypedDrive) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  const int h = WindowTextHeight();
  // A drive that does not exist: no line at all.
  TypeDestination("Q:\\Nowhere");
  EXPECT_TRUE(WaitUntil([&] {
    return IsPlain(CaptureClient(main_), FreeSpaceBand(),
                   SysColour(COLOR_BTNFACE));
  }));
  // Another drive that exists: its own figure.
  TypeDestination("z:\\tmp\\UiDemo");
  std::string line;
  EXPECT_TRUE(WaitUntil([&] {
    line = ExpectedFreeSpaceLine('Z');
    return !line.empty() &&
           ShowsTextAt(CaptureClient(main_), 10, 188 - h, line);
  })) << line;
  // An empty field keeps the drive used before.
  TypeDestination("");
  EXPECT_TRUE(WaitUntil([&] {
    line = ExpectedFreeSpaceLine('Z');
    return ShowsTextAt(CaptureClient(main_), 10, 188 - h, line);
  })) << line;
  EXPECT_TRUE(
      ShowsTextAt(CaptureClient(main_), 10, 204 - h, "Space required: 2.4 MB"));
}

TEST_F(MainWindowTest, BrowseReplacesTheDestination) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  // Cancelled: nothing changes.
  Click(Button(2));
  HWND browser = installer_->WaitForOwnedDialog(main_);
  ASSERT_TRUE(browser);
  bool prompt_shown = false;
  for (const Control& c : ChildControls(browser)) {
    prompt_shown |= c.text == "Choose the folder for UI Demo";
  }
  EXPECT_TRUE(prompt_shown);
  SaveScreenshot("browse", CaptureWindow(browser));
  Click(GetDlgItem(browser, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(browser); }));
  EXPECT_EQ(WindowText(Edit()), "C:\\UiDemo");

  // A folder chosen: the field shows its path and the free space its drive.
  Click(Button(2));
  browser = installer_->WaitForOwnedDialog(main_);
  ASSERT_TRUE(browser);
  HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
  ASSERT_TRUE(tree);
  auto root = reinterpret_cast<LPARAM>(reinterpret_cast<void*>(
      SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)));
  ASSERT_NE(root, 0);
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
  Click(GetDlgItem(browser, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(browser); }));
  std::string chosen;
  EXPECT_TRUE(WaitUntil([&] {
    chosen = WindowText(Edit());
    return chosen != "C:\\UiDemo";
  }));
  ASSERT_GE(chosen.size(), 3u) << chosen;
  EXPECT_EQ(chosen.substr(1, 2), ":\\") << chosen;
  const int h = WindowTextHeight();
  std::string line;
  EXPECT_TRUE(WaitUntil([&] {
    line = ExpectedFreeSpaceLine(chosen[0]);
    return ShowsTextAt(CaptureClient(main_), 10, 188 - h, line);
  })) << line;
}

TEST_F(MainWindowTest, EnterInstallsAndEscapeCloses) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  PressKey(main_, VK_RETURN);
  HWND licence = WaitForLicence();
  ASSERT_TRUE(licence) << "Enter did not start the Install command";
  PressKey(GetDlgItem(licence, 202), VK_ESCAPE);
  EXPECT_TRUE(installer_->WaitForWindowGone(kLicenceTitle));
  EXPECT_TRUE(IsWindow(main_));
  PressKey(main_, VK_ESCAPE);
  EXPECT_TRUE(ExitsWith(3));  // the licence refused, nothing installed
}

TEST_F(MainWindowTest, CancelCloses) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  Click(Button(3));
  EXPECT_TRUE(ExitsWith(3));
  EXPECT_FALSE(FileExists(temp_ + "LICENSE.TXT"));
}

TEST_F(MainWindowTest, RunWithoutLicenceShowsProgressAndCloses) {
  ASSERT_TRUE(Start("ui_plain", "UI Plain"));
  TypeDestination(destination_);
  Click(Button(4));
  Dialog success = installer_->WaitForMessageBox("Success");
  ASSERT_TRUE(success.window);
  EXPECT_EQ(success.text, "UI Plain is installed.\r");
  SaveScreenshot("success", CaptureWindow(success.window));
  EXPECT_FALSE(installer_->Find(kLicenceTitle));

  // The bar the run placed on the window, at its end.
  HWND bar = GetDlgItem(main_, 5);
  ASSERT_TRUE(bar);
  EXPECT_EQ(_stricmp(ClassName(bar).c_str(), "msctls_progress32"), 0);
  RECT rect;
  GetWindowRect(bar, &rect);
  MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 188);
  EXPECT_EQ(rect.right - rect.left, 426);
  EXPECT_EQ(rect.bottom - rect.top, 22);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);

  // The copying view names the last file; move the box out of the way to
  // see it. The first line sits mostly under the edit field: only its
  // rows below the field show.
  SetWindowPos(success.window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const int h = WindowTextHeight();
  const std::string path = destination_ + "\\second.txt";
  Image shot;
  EXPECT_TRUE(WaitUntil([&] {
    shot = CaptureClient(main_);
    return ShowsTextAt(shot, 10, 188 - h, path);
  })) << path;
  EXPECT_TRUE(
      ShowsTextRowsAt(shot, 10, 170 - h, "Copying file second.txt to:", 167));
  SaveScreenshot("copying", CaptureWindow(main_));

  Click(GetDlgItem(success.window, IDOK));
  EXPECT_TRUE(ExitsWith(0));
  EXPECT_TRUE(FileExists(destination_ + "\\readme.txt"));
  EXPECT_TRUE(FileExists(path));
}

TEST_F(MainWindowTest, FailedRunsLeaveTheWindowReady) {
  ASSERT_TRUE(Start("ui_plain", "UI Plain"));
  const struct {
    const char* destination;
    const char* message;
    const char* screenshot;
  } cases[] = {
      {"", "Directory name is blank.", "error_blank"},
      {"Q:\\Nowhere", "Cannot create directory:\rQ:\\Nowhere",
       "error_directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TypeDestination(c.destination);
    Click(Button(4));
    Dialog box = installer_->WaitForMessageBox("Error");
    ASSERT_TRUE(box.window);
    EXPECT_EQ(box.text, c.message);
    SaveScreenshot(c.screenshot, CaptureWindow(box.window));
    Click(GetDlgItem(box.window, IDOK));
    EXPECT_TRUE(installer_->WaitForWindowGone("Error"));
    EXPECT_TRUE(installer_->Running());
    EXPECT_TRUE(IsWindowEnabled(Button(4)));
  }
  // Still ready: a good destination installs.
  TypeDestination(destination_);
  Click(Button(4));
  Dialog success = installer_->WaitForMessageBox("Success");
  ASSERT_TRUE(success.window);
  Click(GetDlgItem(success.window, IDOK));
  EXPECT_TRUE(ExitsWith(0));
}

}  // namespace
}  // namespace sfx::e2e
