// The interactive installer window: welcome lines, the destination field
// with its Browse button, the disk figures, Cancel and Install. The Install
// command shows the licence and runs the whole installation inside the
// command handler; the run paints progress into this window by sending
// WM_PAINT and closes it when it succeeds.
#include "base/string.h"
#include "codec/file_entry.h"
#include "install/installation.h"
#include "install/programs.h"
#include "install/report.h"
#include "paths/text.h"
#include "platform/platform.h"
#include "platform/win32_api.h"
#include "ui/licence_dialog.h"
#include "ui/main_window.h"
#include "ui/paint_texts.h"

namespace sfx {

namespace {

constexpr int kWindowWidth = 448;
constexpr int kWindowHeight = 270;
constexpr DWORD kWindowStyle = WS_DLGFRAME | WS_SYSMENU;  // 0x480000
constexpr UINT_PTR kAwakeTimer = 1;
constexpr UINT kAwakePeriodMs = 1000;

enum ControlId : int {
  kDestEditId = 1,
  kBrowseId = 2,
  kCancelId = 3,
  kInstallId = 4,
  kProgressBarId = 5,
};

// The record whose window this is; set for the life of RunMainWindow.
TInstalRecord* g_record = nullptr;
// The destination field.
HWND g_dest_edit = nullptr;
// The progress bar of the latest run; null until one exists.
HWND g_progress_bar = nullptr;
// Class background and the paint routine's fill; lives as long as the
// process, like the class that uses it.
HBRUSH g_background = nullptr;

void BrowseForDestination();

// Restores the previously selected object of a device context.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object)
      : dc_(dc), old_(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(dc_, old_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// GetDC / ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { ReleaseDC(window_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) {
    BeginPaint(window_, &paint_);
  }
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

 private:
  HWND window_;
  PAINTSTRUCT paint_;
};

void PaintLine(HDC dc, int x, int y, const String& text) {
  TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
}

// The directory view's lower half: reads the field into DestBuffer, follows
// its drive, and draws the free-space line (when the drive answers) and the
// required space.
void PaintDirectoryView(HDC dc, int h) {
  PaintLine(dc, 10, 144 - h, "Destination Directory:");
  char text[kDestBufferSize] = {};
  GetWindowTextA(g_dest_edit, text, sizeof text);
  DestBuffer = text;
  if (!DestBuffer.empty()) TargetDrive = UpperCaseLatin(DestBuffer[0]);

  std::int64_t free_bytes = 0;
  if (Os().GetDiskFreeSpace(TargetDrive, &free_bytes)) {
    FreeSpace = free_bytes;
    PaintLine(dc, 10, 188 - h, FreeSpaceLine(FreeSpace));
  }
  PaintLine(dc, 10, 204 - h, SpaceRequiredLine(g_record->SpaceRequired));
}

void OnPaint(HWND window) {
  {
    PaintScope paint(window);
    WindowDc dc(window);
    ScopedSelect brush(dc.get(), g_background);
    Rectangle(dc.get(), 0, 0, kWindowWidth, kWindowHeight);
    SetBkColor(dc.get(), GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc.get(), GetSysColor(COLOR_BTNTEXT));
    ScopedSelect font(dc.get(), GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics;
    int h = GetTextMetricsA(dc.get(), &metrics) ? metrics.tmHeight : 15;

    int y = 10;
    for (const String& line : g_record->WelcomeLines) {
      PaintLine(dc.get(), 10, y, line);
      y += h;
    }
    if (!LastExtractedPath.empty()) {
      PaintLine(dc.get(), 10, 170 - h, CopyingLine(LastExtractedPath));
      PaintLine(dc.get(), 10, 188 - h, LastExtractedPath);
    } else {
      PaintDirectoryView(dc.get(), h);
    }
  }
  // The window does not clip its children, so this makes them paint over
  // the background just drawn; DefWindowProc validates the window itself.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE);
}

// The run as the window shows it: the destination field, a progress bar
// below it, a repaint after each file.
class MainWindowView : public InstallView {
 public:
  String Destination(int max_chars) override {
    if (max_chars <= 0) return String();
    String buffer(static_cast<std::size_t>(max_chars) + 1, '\0');
    const int n = GetWindowTextA(g_dest_edit, &buffer[0], max_chars + 1);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
  }
  void ShowProgress() override {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
    g_progress_bar = CreateWindowExA(
        0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 188, 426, 22, Main(),
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kProgressBarId)),
        GetModuleHandleA(nullptr), nullptr);
    if (g_progress_bar) ShowWindow(g_progress_bar, SW_SHOW);
  }
  void SetProgress(int percent) override {
    if (g_progress_bar) SendMessageA(g_progress_bar, PBM_SETPOS, percent, 0);
  }
  void HideProgress() override {
    if (g_progress_bar) ShowWindow(g_progress_bar, SW_HIDE);
  }
  void ShowFile() override {
    UpdateWindow(g_dest_edit);
    SendMessageA(Main(), WM_PAINT, 0, 0);
  }
  void Close() override { PostMessageA(Main(), WM_CLOSE, 0, 0); }

 private:
  static HWND Main() { return reinterpret_cast<HWND>(MainWindow); }
};

void OnInstall() {
  // A run's message boxes have no owner, so the window still takes clicks
  // while one waits: a second run must not start inside the first.
  static bool running = false;
  if (running) return;
  running = true;
  if (ShowLicence(MainWindow, *g_record)) {
    MainWindowView view;
    RunInstallation(*g_record, &view);
  } else {
    SetExitCode(ExitCode::kCancelled);
  }
  running = false;
}

void OnCommand(HWND window, WPARAM wparam) {
  if (HIWORD(wparam) == 0) {
    switch (LOWORD(wparam)) {
      case kBrowseId:
        BrowseForDestination();
        break;
      case kCancelId:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
      case kInstallId:
        OnInstall();
        break;
    }
  }
  // Every command, the edit field's change notifications included, redraws
  // the figures for what the field now says.
  PostMessageA(window, WM_PAINT, 0, 0);
}

void OnChar(HWND window, WPARAM code) {
  if (code == '\r') PostMessageA(window, WM_COMMAND, kInstallId, 0);
  if (code == VK_ESCAPE) PostMessageA(window, WM_CLOSE, 0, 0);
}

// Systems without the function simply may go to sleep.
void OnTimer() { Os().KeepSystemAwake(os::kEsSystemRequired); }

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam,
                                LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_PAINT:
      OnPaint(window);
      break;
    case WM_CHAR:
      OnChar(window, wparam);
      break;
    case WM_COMMAND:
      OnCommand(window, wparam);
      break;
    case WM_TIMER:
      OnTimer();
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

void RegisterWindowClass(HINSTANCE instance, const String& name) {
  if (!g_background)
    g_background = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  WNDCLASSA window_class = {};
  window_class.style = 0;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(instance, "SETUP");
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = g_background;
  window_class.lpszClassName = name.c_str();
  RegisterClassA(&window_class);  // a second registration fails harmlessly
}

HWND CreateChild(HWND parent, const char* class_name, int id, const char* text,
                 DWORD style, int x, int y, int width, int height) {
  HWND child =
      CreateWindowExA(0, class_name, text, style, x, y, width, height, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT,
               reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               TRUE);
  ShowWindow(child, SW_SHOW);
  return child;
}

void CreateControls(HWND window) {
  g_dest_edit =
      CreateChild(window, "EDIT", kDestEditId, g_record->InstallDir.c_str(),
                  0x50800284, 10, 145, 320, 22);
  static const struct {
    int id;
    const char* text;
    DWORD style;
    int x, y;
  } kButtons[] = {{kBrowseId, "Browse...", 0x50000000, 336, 145},
                  {kCancelId, "Cancel", 0x50000000, 336, 214},
                  {kInstallId, "Install", 0x50000001, 216, 214}};
  for (const auto& button : kButtons) {
    CreateChild(window, "BUTTON", button.id, button.text, button.style,
                button.x, button.y, 100, 22);
  }
}

// The Browse command: picks a folder with the shell's folder dialog and
// makes it the destination; a cancelled dialog changes nothing.
void BrowseForDestination() {
  char display_name[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = reinterpret_cast<HWND>(MainWindow);
  info.pszDisplayName = display_name;
  info.lpszTitle = g_record->BrowsePrompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
  LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (!item) return;  // cancelled
  char path[MAX_PATH + 1] = {};
  BOOL converted = SHGetPathFromIDListA(item, path);
  CoTaskMemFree(item);
  if (!converted) return;
  SendMessageA(g_dest_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
  g_record->InstallDir = path;
  if (path[0] != '\0') TargetDrive = UpperCaseLatin(path[0]);
  SendMessageA(reinterpret_cast<HWND>(MainWindow), WM_PAINT, 0, 0);
}

}  // namespace

void RunMainWindow(TInstalRecord& record) {
  g_record = &record;
  String title = record.ProductName + " installation";
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass(instance, title);
  HWND window = CreateWindowExA(
      0, title.c_str(), title.c_str(), kWindowStyle,
      GetSystemMetrics(SM_CXFULLSCREEN) / 2 - kWindowWidth / 2,
      GetSystemMetrics(SM_CYFULLSCREEN) / 2 - kWindowHeight / 2, kWindowWidth,
      kWindowHeight, nullptr, nullptr, instance, nullptr);
  if (!window) return;
  MainWindow = reinterpret_cast<WindowHandle>(window);
  ShowWindow(window, SW_SHOW);
  SetTimer(window, kAwakeTimer, kAwakePeriodMs, nullptr);
  CreateControls(window);
  LastExtractedPath.clear();
  UpdateWindow(window);
  if (AutoInstall) PostMessageA(window, WM_COMMAND, kInstallId, 0);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The window is gone; nothing may use its handles any more.
  MainWindow = 0;
  g_dest_edit = nullptr;
  g_progress_bar = nullptr;
  g_record = nullptr;
}

}  // namespace sfx
