// Drives a running installer through its real windows, from another
// process of the same Wine session: starts it, finds its windows, reads
// their controls, presses buttons and keys by posting the messages a user's
// input would produce, and captures the screen to check painted texts and
// to keep screenshots.
#ifndef SFX_TESTS_E2E_UI_DRIVER_H_
#define SFX_TESTS_E2E_UI_DRIVER_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sfx::ui_e2e {

// How long a wait for the installer may take before a test gives up. Only
// a bound against hanging: nothing is measured.
constexpr DWORD kPatienceMs = 30000;

// A Unix path of the build machine as a path of the Wine session (Z: is /).
std::string WinePath(const std::string& unix_path);

// A fresh, empty directory below the session's temporary folder.
std::string MakeScratchDirectory(const std::string& name);

bool FileExists(const std::string& path);
std::string ReadFileText(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);

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
// The child with control id `id`, or null.
HWND ChildById(HWND parent, int id);
std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A started installer. The destructor ends it if it still runs.
class Installer {
 public:
  // Starts `exe` without arguments, with TEMP and TMP set to `temp_dir`.
  Installer(const std::string& exe, const std::string& temp_dir);
  ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  bool started() const { return process_ != nullptr; }
  // A visible top-level window of this process with `title` (and, when not
  // empty, the class `class_name`), waiting for it to appear; null if none.
  HWND WaitForWindow(const std::string& title,
                     const std::string& class_name = std::string());
  // The same without waiting.
  HWND Find(const std::string& title,
            const std::string& class_name = std::string());
  // Waits for a visible dialog ("#32770") of this process owned by `owner`.
  HWND WaitForOwnedDialog(HWND owner);
  // Waits until no visible top-level window with `title` remains.
  bool WaitForWindowGone(const std::string& title);
  // Waits for the process to end; false if it did not.
  bool WaitForExit(DWORD* exit_code);
  bool Running();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// Polls `condition` every 50 ms until it holds or kPatienceMs have passed.
template <typename Condition>
bool WaitUntil(Condition condition) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

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
// Deletes a directory tree (best effort).
void RemoveTree(const std::string& path);

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

// The message box of the installer with `caption`, its text, and its OK
// (or another) button.
struct MessageBoxWindow {
  HWND window = nullptr;
  std::string text;
};
MessageBoxWindow WaitForMessageBox(Installer& installer,
                                   const std::string& caption);

}  // namespace sfx::ui_e2e

#endif  // SFX_TESTS_E2E_UI_DRIVER_H_
