// The licence window under Wine: its template as the dialog manager built
// it (controls, texts, positions from the dialog units), the answers Yes,
// No and Escape, the close box that does nothing, the licence file that
// exists only while the window is open, the automatic Install, and a
// licence longer than a fixed 65,535-byte template could carry.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // needs <windows.h> first
// clang-format on

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/licence_text.h"
#include "ui_driver.h"
#include "ui_session.h"

namespace sfx::e2e {
namespace {

// The text the window should show for a licence file.
std::string ExpectedLicenceText(const std::string& path) {
  std::string data = ReadFileText(path);
  const String text = AssembleLicenceText(
      reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  return std::string(text.data(), text.size());
}

// Dialog units of the licence font mapped to pixels, by a dialog of this
// process with the same font.
RECT DialogUnitsToPixels(const RECT& units) {
  Vector<std::uint8_t> bytes =
      BuildMeasureTemplate("MS SANS SERIF", 8, WidenLatin1);
  HWND probe = CreateDialogIndirectParamA(
      GetModuleHandleA(nullptr),
      reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr, nullptr, 0);
  RECT rect = units;
  if (probe) {
    MapDialogRect(probe, &rect);
    DestroyWindow(probe);
  }
  return rect;
}

class LicenceTest : public UiSession {
 protected:
  HWND OpenLicence() {
    Click(Button(4));
    return WaitForLicence();
  }
  // After the window closed: it is gone, the main window is ready for
  // another Install and the extracted file is deleted.
  void ExpectRefused(const char* file_name = "LICENSE.TXT") {
    EXPECT_TRUE(installer_->WaitForWindowGone(kLicenceTitle));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(temp_ + file_name); }));
    EXPECT_TRUE(installer_->Running());
    EXPECT_TRUE(IsWindowEnabled(Button(4)));
    const int h = WindowTextHeight();
    EXPECT_TRUE(WaitUntil([&] {
      return ShowsTextAt(CaptureClient(main_), 10, 144 - h,
                         "Destination Directory:");
    }));
  }
};

TEST_F(LicenceTest, WindowFollowsTheTemplate) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  HWND licence = OpenLicence();
  ASSERT_TRUE(licence);
  EXPECT_TRUE(FileExists(temp_ + "LICENSE.TXT"));
  EXPECT_EQ(GetWindow(licence, GW_OWNER), main_);

  RECT frame;
  GetWindowRect(licence, &frame);
  int w = frame.right - frame.left;
  int h = frame.bottom - frame.top;
  EXPECT_EQ(frame.left, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - w / 2);
  EXPECT_EQ(frame.top, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - h / 2);
  RECT client;
  GetClientRect(licence, &client);
  RECT size = DialogUnitsToPixels(RECT{0, 0, 396, 290});
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  const struct {
    const char* class_name;
    int id;
    std::string text;
    DWORD style;
    RECT units;  // x, y, x + cx, y + cy
  } expected[] = {
      {"Static", 201, kLicenceInstruction, 0x50000001, {9, 1, 9 + 377, 1 + 43}},
      {"Button", 6, "&Yes", 0x50010001, {123, 267, 123 + 57, 267 + 15}},
      {"Button", 7, "&No", 0x50010000, {199, 267, 199 + 57, 267 + 15}},
      {"Edit",
       202,
       ExpectedLicenceText(FixtureSource("ui_licence.txt")),
       0x50210844,
       {3, 44, 3 + 390, 44 + 223}},
  };
  std::vector<Control> controls = ChildControls(licence);
  ASSERT_EQ(controls.size(), 4u);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(_stricmp(c.class_name.c_str(), expected[i].class_name), 0)
        << c.class_name;
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.text, expected[i].text);
    EXPECT_EQ(c.style, expected[i].style) << std::hex << c.style;
    RECT px = DialogUnitsToPixels(expected[i].units);
    EXPECT_EQ(c.rect.left, px.left);
    EXPECT_EQ(c.rect.top, px.top);
    EXPECT_EQ(c.rect.right, px.right);
    EXPECT_EQ(c.rect.bottom, px.bottom);
  }
  SaveScreenshot("licence", CaptureWindow(licence));

  // The close box (and Alt+F4, which asks for the same command) does
  // nothing; the message is sent, so it has been handled when this returns.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(licence, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG,
                      kPatienceMs, &result);
  EXPECT_TRUE(IsWindowVisible(licence));
  EXPECT_TRUE(FileExists(temp_ + "LICENSE.TXT"));
  Click(GetDlgItem(licence, 7));
  ExpectRefused();
}

TEST_F(LicenceTest, OnlyYesAcceptsAndEveryInstallAsksAgain) {
  ASSERT_TRUE(Start("ui_demo", "UI Demo"));
  TypeDestination(destination_);
  // No.
  HWND licence = OpenLicence();
  ASSERT_TRUE(licence);
  Click(GetDlgItem(licence, 7));
  ExpectRefused();
  // Escape, pressed in the licence text.
  licence = OpenLicence();
  ASSERT_TRUE(licence) << "a second Install shows the licence again";
  EXPECT_TRUE(FileExists(temp_ + "LICENSE.TXT"));
  PressKey(GetDlgItem(licence, 202), VK_ESCAPE);
  ExpectRefused();
  // Escape as a character sent to the dialog itself.
  licence = OpenLicence();
  ASSERT_TRUE(licence);
  PostMessageA(licence, WM_CHAR, VK_ESCAPE, 1);
  ExpectRefused();
  EXPECT_FALSE(FileExists(destination_ + "\\readme.txt"));
  // Yes: the installation runs and ends the program.
  licence = OpenLicence();
  ASSERT_TRUE(licence);
  Click(GetDlgItem(licence, 6));
  Dialog success = installer_->WaitForMessageBox("Success");
  ASSERT_TRUE(success.window);
  EXPECT_FALSE(FileExists(temp_ + "LICENSE.TXT"));
  EXPECT_EQ(SendMessageA(GetDlgItem(main_, 5), PBM_GETPOS, 0, 0), 100);
  Click(GetDlgItem(success.window, IDOK));
  EXPECT_TRUE(ExitsWith(0));
  EXPECT_TRUE(FileExists(destination_ + "\\readme.txt"));
  EXPECT_TRUE(FileExists(destination_ + "\\LICENSE.TXT"));
  EXPECT_TRUE(FileExists(destination_ + "\\tool.dat"));
}

TEST_F(LicenceTest, MacroDestinationAsksAtOnce) {
  ASSERT_TRUE(Start("ui_auto", "UI Auto"));
  HWND licence = WaitForLicence();  // nothing pressed
  ASSERT_TRUE(licence);
  EXPECT_TRUE(FileExists(temp_ + "license.txt"));
  EXPECT_EQ(WindowText(GetDlgItem(licence, 202)),
            ExpectedLicenceText(FixtureSource("ui_licence.txt")));
  Click(GetDlgItem(licence, 7));
  ExpectRefused("license.txt");
  Click(Button(3));
  EXPECT_TRUE(ExitsWith(3));  // closed without installing
}

TEST_F(LicenceTest, LongLicenceIsShownWhole) {
  ASSERT_TRUE(Start("ui_long", "UI Long"));
  HWND licence = OpenLicence();
  ASSERT_TRUE(licence);
  std::string expected = ExpectedLicenceText(
      WinePath(std::string(UI_FIXTURE_DIR) + "/ui_long_licence.txt"));
  ASSERT_GT(expected.size(), 40000u);
  std::string shown = WindowText(GetDlgItem(licence, 202));
  EXPECT_EQ(shown.size(), expected.size());
  EXPECT_TRUE(shown == expected);
  EXPECT_NE(shown.find("THE END OF THE LONG LICENCE"), std::string::npos);
  PressKey(licence, VK_ESCAPE);
  ExpectRefused();
}

}  // namespace
}  // namespace sfx::e2e
