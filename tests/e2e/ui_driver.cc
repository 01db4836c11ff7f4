// Driving the installer's windows from the test process; see ui_driver.h.
#include "ui_driver.h"

#include <cstdio>
#include <cstring>

namespace sfx::ui_e2e {

namespace {

struct FindRequest {
  DWORD pid;
  const std::string* title;
  const std::string* class_name;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != request->pid || !IsWindowVisible(window)) return TRUE;
  if (WindowText(window) != *request->title) return TRUE;
  if (!request->class_name->empty() &&
      ClassName(window) != *request->class_name) {
    return TRUE;
  }
  request->found = window;
  return FALSE;
}

struct OwnedRequest {
  DWORD pid;
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<OwnedRequest*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == request->pid && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) == request->owner &&
      ClassName(window) == "#32770") {
    request->found = window;
    return FALSE;
  }
  return TRUE;
}

struct ChildRequest {
  HWND parent;
  std::vector<Control>* controls;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<ChildRequest*>(param);
  if (GetParent(window) != request->parent) return TRUE;
  Control control;
  control.window = window;
  control.class_name = ClassName(window);
  control.id = GetDlgCtrlID(window);
  control.text = WindowText(window);
  control.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  control.ex_style = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  GetWindowRect(window, &control.rect);
  MapWindowPoints(nullptr, request->parent,
                  reinterpret_cast<POINT*>(&control.rect), 2);
  request->controls->push_back(control);
  return TRUE;
}

// The screen rectangle `rect` into a 32-bit image.
Image CaptureScreenRect(const RECT& rect) {
  Image image;
  image.width = rect.right - rect.left;
  image.height = rect.bottom - rect.top;
  if (image.width <= 0 || image.height <= 0) return Image();
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top,
         SRCCOPY);
  GdiFlush();
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  const auto* source = static_cast<const std::uint32_t*>(bits);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    image.pixels[i] = source[i] & 0xFFFFFF;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n,
                    std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & -(crc & 1));
  }
  return ~crc;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(v >> shift));
  }
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::string WinePath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string MakeScratchDirectory(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  std::string path = std::string(temp) + "sfx-ui-" + name + "-" +
                     std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(GetTickCount());
  CreateDirectoryA(path.c_str(), nullptr);
  return path + "\\";
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, n);
  }
  std::fclose(file);
  return text;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                           kPatienceMs, &length)) {
    return std::string();
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, length + 1,
                      reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                      kPatienceMs, &copied);
  text.resize(copied);
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<Control> ChildControls(HWND parent) {
  std::vector<Control> controls;
  ChildRequest request = {parent, &controls};
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&request));
  return controls;
}

HWND ChildById(HWND parent, int id) { return GetDlgItem(parent, id); }

Installer::Installer(const std::string& exe, const std::string& temp_dir) {
  // The child's environment: ours with TEMP and TMP replaced.
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* p = strings; *p; p += std::strlen(p) + 1) {
    if (_strnicmp(p, "TEMP=", 5) == 0 || _strnicmp(p, "TMP=", 4) == 0) continue;
    block.append(p).push_back('\0');
  }
  FreeEnvironmentStringsA(strings);
  block.append("TEMP=" + temp_dir).push_back('\0');
  block.append("TMP=" + temp_dir).push_back('\0');
  block.push_back('\0');

  std::string command = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                     &block[0], nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
  }
}

Installer::~Installer() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, kPatienceMs);
  }
  CloseHandle(process_);
}

HWND Installer::WaitForWindow(const std::string& title,
                              const std::string& class_name) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Find(title, class_name)) != nullptr; });
  return found;
}

HWND Installer::Find(const std::string& title, const std::string& class_name) {
  FindRequest request = {pid_, &title, &class_name, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

HWND Installer::WaitForOwnedDialog(HWND owner) {
  OwnedRequest request = {pid_, owner, nullptr};
  WaitUntil([&] {
    EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&request));
    return request.found != nullptr;
  });
  return request.found;
}

bool Installer::WaitForWindowGone(const std::string& title) {
  return WaitUntil([&] { return Find(title) == nullptr; });
}

bool Installer::WaitForExit(DWORD* exit_code) {
  if (!process_ ||
      WaitForSingleObject(process_, kPatienceMs) != WAIT_OBJECT_0) {
    return false;
  }
  GetExitCodeProcess(process_, exit_code);
  return true;
}

bool Installer::Running() {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void PressKey(HWND window, WORD virtual_key) {
  UINT scan = MapVirtualKeyA(virtual_key, 0);
  LPARAM down = 1 | static_cast<LPARAM>(scan) << 16;
  // TranslateMessage in the installer's loop derives the character.
  PostMessageA(window, WM_KEYDOWN, virtual_key, down);
  PostMessageA(window, WM_KEYUP, virtual_key, down | 0xC0000000);
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void TypeInto(HWND edit, const std::string& text) {
  PostMessageA(edit, EM_SETSEL, 0, -1);
  if (text.empty()) PostMessageA(edit, WM_CHAR, VK_BACK, 1);
  for (char c : text) {
    PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
  }
}

Image CaptureClient(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return CaptureScreenRect(rect);
}

Image CaptureWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return CaptureScreenRect(rect);
}

Image CaptureScreen() {
  RECT rect = {0, 0, GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN)};
  return CaptureScreenRect(rect);
}

bool SavePng(const Image& image, const std::string& path) {
  // Rows of filter byte 0 and RGB, in stored deflate blocks.
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < image.width; ++x) {
      std::uint32_t p = image.At(x, y);
      raw.push_back(static_cast<std::uint8_t>(p >> 16));
      raw.push_back(static_cast<std::uint8_t>(p >> 8));
      raw.push_back(static_cast<std::uint8_t>(p));
    }
  }
  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::size_t pos = 0;
  do {
    std::size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(n));
    z.push_back(static_cast<std::uint8_t>(n >> 8));
    z.push_back(static_cast<std::uint8_t>(~n));
    z.push_back(static_cast<std::uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(z, b << 16 | a);

  std::vector<std::uint8_t> header;
  PutBig32(header, static_cast<std::uint32_t>(image.width));
  PutBig32(header, static_cast<std::uint32_t>(image.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && ok;
}

std::uint32_t SysColour(int index) {
  COLORREF c = GetSysColor(index);
  return static_cast<std::uint32_t>(GetRValue(c)) << 16 |
         static_cast<std::uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
}

int WindowTextHeight() {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA metrics;
  int h = GetTextMetricsA(dc, &metrics) ? metrics.tmHeight : 15;
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return h;
}

Image RenderWindowText(const std::string& text) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old_font = SelectObject(memory, GetStockObject(DEFAULT_GUI_FONT));
  SIZE extent = {};
  GetTextExtentPoint32A(memory, text.data(), static_cast<int>(text.size()),
                        &extent);
  Image image;
  image.width = extent.cx;
  image.height = extent.cy;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap) {
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    SetBkColor(memory, GetSysColor(COLOR_BTNFACE));
    SetTextColor(memory, GetSysColor(COLOR_BTNTEXT));
    SetBkMode(memory, OPAQUE);
    TextOutA(memory, 0, 0, text.data(), static_cast<int>(text.size()));
    GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    image.pixels.assign(source, source + image.width * image.height);
    for (std::uint32_t& p : image.pixels) p &= 0xFFFFFF;
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
  } else {
    image = Image();
  }
  SelectObject(memory, old_font);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

bool ShowsTextAt(const Image& shot, int x, int y, const std::string& text) {
  Image expected = RenderWindowText(text);
  if (expected.width == 0 || x + expected.width > shot.width ||
      y + expected.height > shot.height || x < 0 || y < 0) {
    return false;
  }
  for (int row = 0; row < expected.height; ++row) {
    for (int col = 0; col < expected.width; ++col) {
      if (shot.At(x + col, y + row) != expected.At(col, row)) return false;
    }
  }
  return true;
}

bool ShowsTextRowsAt(const Image& shot, int x, int y, const std::string& text,
                     int first_row) {
  Image expected = RenderWindowText(text);
  if (expected.width == 0 || x + expected.width > shot.width ||
      y + expected.height > shot.height || x < 0 || y < 0) {
    return false;
  }
  for (int row = first_row - y > 0 ? first_row - y : 0; row < expected.height;
       ++row) {
    for (int col = 0; col < expected.width; ++col) {
      if (shot.At(x + col, y + row) != expected.At(col, row)) return false;
    }
  }
  return true;
}

bool IsPlain(const Image& shot, const RECT& rect, std::uint32_t colour) {
  for (int y = rect.top; y < rect.bottom && y < shot.height; ++y) {
    for (int x = rect.left; x < rect.right && x < shot.width; ++x) {
      if (shot.At(x, y) != colour) return false;
    }
  }
  return true;
}

std::string FixtureExe(const std::string& name) {
  return WinePath(std::string(UI_FIXTURE_DIR) + "/" + name + ".exe");
}

std::string FixtureSource(const std::string& file) {
  return WinePath(std::string(UI_FIXTURE_SOURCE) + "/" + file);
}

void SaveScreenshot(const std::string& name, const Image& image) {
  SavePng(image,
          WinePath(std::string(UI_SCREENSHOT_DIR) + "/" + name + ".png"));
}

MessageBoxWindow WaitForMessageBox(Installer& installer,
                                   const std::string& caption) {
  MessageBoxWindow box;
  box.window = installer.WaitForWindow(caption, "#32770");
  if (!box.window) return box;
  // The message is the static control with the longest text (the icon's
  // static has none).
  for (const Control& control : ChildControls(box.window)) {
    if (_stricmp(control.class_name.c_str(), "Static") == 0 &&
        control.text.size() > box.text.size()) {
      box.text = control.text;
    }
  }
  return box;
}

}  // namespace sfx::ui_e2e
