// The licence window: a modeless dialog built from an in-memory template,
// owned by the main window and run by its own message loop until Yes, No or
// Escape. Only Yes accepts. The extracted licence file is deleted whatever
// the answer.
#include "base/string.h"
#include "base/vector.h"
#include "platform/win32_api.h"
#include "ui/dialog_template.h"
#include "ui/licence_dialog.h"
#include "ui/licence_search.h"
#include "ui/licence_text.h"

namespace sfx {

namespace {

// Set by the Yes command; read when the licence loop ends.
bool LicenceAccepted = false;
// The open licence window, 0 while none is open.
HWND LicenceWindow = nullptr;

constexpr double kDefaultUnitFactor = 1.5;

// ANSI to UTF-16 in the system code page.
WideText WidenAnsi(const String& ansi) {
  if (ansi.empty()) return WideText();
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(),
                              static_cast<int>(ansi.size()), nullptr, 0);
  if (n <= 0) return WidenLatin1(ansi);
  WideText wide(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                      reinterpret_cast<wchar_t*>(&wide[0]), n);
  return wide;
}

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Creates the template's dialog unseen and maps 200 x 200 dialog units to
// pixels; false when the dialog cannot be made.
bool MeasureTemplate(const String& face, WORD point_size, int* width,
                     int* height) {
  Vector<std::uint8_t> bytes =
      BuildMeasureTemplate(face, point_size, WidenAnsi);
  HWND probe = CreateDialogIndirectParamA(
      Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
      nullptr, 0);
  if (!probe) return false;
  RECT rect = {0, 0, 200, 200};
  MapDialogRect(probe, &rect);
  DestroyWindow(probe);
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return true;
}

// Reference pixels per dialog unit of `face` at `point_size`, relative to
// the 8-point "MS Sans Serif" the layout was drawn with.
void MeasureDialogUnits(const String& face, WORD point_size, double* fx,
                        double* fy) {
  *fx = *fy = kDefaultUnitFactor;
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  bool measured = MeasureTemplate(face, point_size, &w1, &h1);
  bool reference = MeasureTemplate("MS Sans Serif", 8, &w2, &h2);
  // A zero measurement would give a useless factor or divide by zero.
  if (measured && reference && w1 > 0 && h1 > 0 && w2 > 0 && h2 > 0) {
    *fx = kReferenceUnitX * w1 / w2;
    *fy = kReferenceUnitY * h1 / h2;
  }
}

void CentreOnScreen(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int w = rect.right - rect.left;
  int h = rect.bottom - rect.top;
  MoveWindow(window, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - w / 2,
             GetSystemMetrics(SM_CYFULLSCREEN) / 2 - h / 2, w, h, FALSE);
}

INT_PTR CALLBACK LicenceDialogProc(HWND window, UINT message, WPARAM wparam,
                                   LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CentreOnScreen(window);
      return FALSE;  // no initial focus
    case WM_COMMAND:
      if (HIWORD(wparam) != 0) return FALSE;
      if (LOWORD(wparam) == kLicenceYesId) {
        LicenceAccepted = true;
        PostQuitMessage(0);
        return TRUE;
      }
      if (LOWORD(wparam) == kLicenceNoId) {
        PostQuitMessage(0);
        return TRUE;
      }
      return FALSE;
    case WM_KEYDOWN:
    case WM_CHAR:
      if (wparam != VK_ESCAPE) return FALSE;
      PostQuitMessage(0);
      return TRUE;
    case WM_SYSCOMMAND:
      // The close box, Alt+F4 and the screen saver do nothing here.
      return (wparam & 0xFFF0) == SC_CLOSE ||
             (wparam & 0xFFF0) == SC_SCREENSAVE;
    default:
      return FALSE;
  }
}

// Runs until Yes or No posts the quit message or Escape is pressed
// anywhere. Only the licence window sees messages: those of other windows
// are dropped, so the main window takes no input meanwhile.
void RunLicenceLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
    if (!IsDialogMessageA(LicenceWindow, &msg) && msg.message == WM_PAINT) {
      // A paint request that is never served would be generated again and
      // again; the main window is repainted once the licence closes.
      ValidateRect(msg.hwnd, nullptr);
    }
  }
}

}  // namespace

bool ShowLicence(WindowHandle owner, const TInstalRecord& record) {
  LicenceAccepted = false;
  String path = ExtractLicence(record);
  if (path.empty()) return true;

  double fx = 0, fy = 0;
  MeasureDialogUnits(kLicenceFace, kLicencePointSize, &fx, &fy);
  String text = ReadLicenceText(path);
  // A text too long for the template goes into the field once it exists.
  bool in_template = LicenceFitsTemplate(WidenAnsi(text).size());
  Vector<std::uint8_t> bytes =
      BuildLicenceTemplate(in_template ? text : String(), fx, fy, WidenAnsi);
  LicenceWindow = CreateDialogIndirectParamA(
      Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()),
      reinterpret_cast<HWND>(owner), LicenceDialogProc, 0);
  if (LicenceWindow) {
    if (!in_template) {
      SetDlgItemTextA(LicenceWindow, kLicenceTextId, text.c_str());
    }
    ShowWindow(LicenceWindow, SW_SHOW);
    BringWindowToTop(LicenceWindow);
    RunLicenceLoop();
    DestroyWindow(LicenceWindow);
    LicenceWindow = nullptr;
  }
  bool accepted = LicenceAccepted;
  Os().DeleteFile(path);
  return accepted;
}

}  // namespace sfx
