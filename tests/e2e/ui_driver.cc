// Controls, input and screen captures for the interactive suite; see
// ui_driver.h.
#include "ui_driver.h"

namespace sfx::e2e {

namespace {

// A width x height image painted by `paint` into a top-down 32-bit bitmap
// selected into `dc`; an empty image when there is none to paint.
template <typename Paint>
Image PaintImage(HDC dc, int width, int height, Paint paint) {
  if (width <= 0 || height <= 0) return Image();
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return Image();
  HGDIOBJ old = SelectObject(dc, bitmap);
  paint();
  GdiFlush();
  Image image;
  image.width = width;
  image.height = height;
  const auto* source = static_cast<const std::uint32_t*>(bits);
  image.pixels.assign(source, source + width * height);
  for (std::uint32_t& p : image.pixels) p &= 0xFFFFFF;
  SelectObject(dc, old);
  DeleteObject(bitmap);
  return image;
}

// The screen rectangle `rect` into a 32-bit image.
Image CaptureScreenRect(const RECT& rect) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  Image image = PaintImage(memory, width, height, [&] {
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  });
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

std::string MakeScratchDirectory(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  std::string path = std::string(temp) + "sfx-ui-" + name + "-" +
                     std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(GetTickCount());
  CreateDirectoryA(path.c_str(), nullptr);
  return path + "\\";
}

std::vector<Control> ChildControls(HWND parent) {
  std::vector<Control> controls;
  for (HWND window : ChildWindows(parent)) {
    if (GetParent(window) != parent) continue;
    Control control;
    control.window = window;
    control.class_name = ClassName(window);
    control.id = GetDlgCtrlID(window);
    control.text = WindowText(window);
    control.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    control.ex_style = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    GetWindowRect(window, &control.rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&control.rect),
                    2);
    controls.push_back(control);
  }
  return controls;
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
  return WriteFileBytes(path, png);
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
  const int length = static_cast<int>(text.size());
  SIZE extent = {};
  GetTextExtentPoint32A(memory, text.data(), length, &extent);
  Image image = PaintImage(memory, extent.cx, extent.cy, [&] {
    SetBkColor(memory, GetSysColor(COLOR_BTNFACE));
    SetTextColor(memory, GetSysColor(COLOR_BTNTEXT));
    SetBkMode(memory, OPAQUE);
    TextOutA(memory, 0, 0, text.data(), length);
  });
  SelectObject(memory, old_font);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
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

bool ShowsTextAt(const Image& shot, int x, int y, const std::string& text) {
  return ShowsTextRowsAt(shot, x, y, text, y);
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

}  // namespace sfx::e2e
