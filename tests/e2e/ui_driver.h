// The interactive suite's additions to the end-to-end harness (harness.h):
// the controls of a window as another process sees them, input posted as a
// user's keys and clicks would produce it, and screen captures to check
// painted texts and to keep screenshots.
#ifndef SFX_TESTS_E2E_UI_DRIVER_H_
#define SFX_TESTS_E2E_UI_DRIVER_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"

namespace sfx::e2e {

// A fresh, empty directory below the session's temporary folder.
std::string MakeScratchDirectory(const std::string& name);

// One child control as another process sees it.
struct Control {
  HWND window = nullptr;
  std::string class_name;
  int id = 0;
  std::string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect = {};  // in the parent's client coordinates
};

// The direct children of `parent`, in z-order (creation order).
std::vector<Control> ChildControls(HWND parent);

// Posts the press of a key as the keyboard would: key down (which
// TranslateMessage turns into a character) and key up.
void PressKey(HWND window, WORD virtual_key);
// Clicks a button: the button reports BN_CLICKED to its parent.
void Click(HWND button);
// Replaces the edit field's text by typing: select all, then characters.
void TypeInto(HWND edit, const std::string& text);

// A 32-bit top-down image.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
  std::uint32_t At(int x, int y) const { return pixels[y * width + x]; }
};

// The client area of `window` as it shows on the screen.
Image CaptureClient(HWND window);
// The whole window, frame included.
Image CaptureWindow(HWND window);
// The whole screen.
Image CaptureScreen();

// Writes the image as an (uncompressed) PNG file.
bool SavePng(const Image& image, const std::string& path);

// `text` drawn as the installer window draws it: DEFAULT_GUI_FONT, opaque,
// button-face background, button-text colour.
Image RenderWindowText(const std::string& text);
// Line height of DEFAULT_GUI_FONT (the window's paint font).
int WindowTextHeight();
// True when `shot` shows exactly `text` with its top-left cell at (x, y).
bool ShowsTextAt(const Image& shot, int x, int y, const std::string& text);
// True when the rectangle holds only `colour`.
bool IsPlain(const Image& shot, const RECT& rect, std::uint32_t colour);
// Like ShowsTextAt, but compares only the rows from `first_row` (in shot
// coordinates) on: for a text partly covered by a control.
bool ShowsTextRowsAt(const Image& shot, int x, int y, const std::string& text,
                     int first_row);
std::uint32_t SysColour(int index);  // GetSysColor as 0x00RRGGBB

// The path of a fixture installer built from tests/e2e/fixtures/<name>.toml.
std::string FixtureExe(const std::string& name);
// A fixture source file (tests/e2e/fixtures/<file>).
std::string FixtureSource(const std::string& file);
// Saves a screenshot as <build>/tests/e2e/ui_screenshots/<name>.png.
void SaveScreenshot(const std::string& name, const Image& image);

}  // namespace sfx::e2e

#endif  // SFX_TESTS_E2E_UI_DRIVER_H_
