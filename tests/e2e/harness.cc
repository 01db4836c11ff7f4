// The end-to-end harness: processes, dialogs, files, registry and shell
// links, all through the system's own interfaces.
#include "harness.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace sfx::e2e {
namespace {

constexpr DWORD kPollMs = 50;

std::string WithoutAmpersands(std::string label) {
  label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
  return label;
}

struct EnumState {
  DWORD pid;
  std::string class_name;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<EnumState*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if ((state->pid == 0 || pid == state->pid) && IsWindowVisible(window) &&
      (state->class_name.empty() || ClassName(window) == state->class_name)) {
    state->found.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

// The child's environment block: ours with TEMP and TMP set to `temp_dir`.
std::string EnvironmentWithTemp(const std::string& temp_dir) {
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
  return block;
}

// Calls a COM interface's Release on every way out.
template <typename T>
struct Releaser {
  void operator()(T* p) const {
    if (p) p->Release();
  }
};
template <typename T>
using ComPtr = std::unique_ptr<T, Releaser<T>>;

std::uint64_t Value(const FILETIME& time) {
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
         time.dwLowDateTime;
}

}  // namespace

std::string WinePath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string FixtureDir() { return WinePath(SFX_E2E_FIXTURE_DIR); }

std::string Fixture(const std::string& name) {
  return FixtureDir() + "\\" + name + ".exe";
}

std::string WorkDir(const std::string& name) {
  CreateDirectoryA("C:\\sfx-e2e", nullptr);
  const std::string dir = "C:\\sfx-e2e\\" + name;
  RemoveTree(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\";
}

// Whether `path` exists and its directory attribute is `directory`.
bool Exists(const std::string& path, bool directory) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}

bool FileExists(const std::string& path) { return Exists(path, false); }

bool DirectoryExists(const std::string& path) { return Exists(path, true); }

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(file, nullptr);
  bytes.resize(size);
  DWORD got = 0;
  if (size > 0 && !ReadFile(file, bytes.data(), size, &got, nullptr)) got = 0;
  bytes.resize(got);
  CloseHandle(file);
  return bytes;
}

std::size_t OffsetOf(const std::vector<std::uint8_t>& bytes,
                     const std::string& text, std::size_t from) {
  if (from > bytes.size()) return std::string::npos;
  const auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                              bytes.end(), text.begin(), text.end());
  return at == bytes.end() ? std::string::npos
                           : static_cast<std::size_t>(at - bytes.begin());
}

std::string ReadFileText(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool WriteFileBytes(const std::string& path,
                    const std::vector<std::uint8_t>& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                      &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path,
                        std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::optional<std::uint64_t> LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return Value(data.ftLastWriteTime);
}

bool SetLastWriteTime(const std::string& path, std::uint64_t utc_filetime) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(utc_filetime);
  time.dwHighDateTime = static_cast<DWORD>(utc_filetime >> 32);
  BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok != FALSE;
}

std::uint64_t LocalTimeToFileTime(int year, int month, int day, int hour,
                                  int minute, int second) {
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(year);
  local.wMonth = static_cast<WORD>(month);
  local.wDay = static_cast<WORD>(day);
  local.wHour = static_cast<WORD>(hour);
  local.wMinute = static_cast<WORD>(minute);
  local.wSecond = static_cast<WORD>(second);
  FILETIME local_time;
  FILETIME utc;
  SystemTimeToFileTime(&local, &local_time);
  LocalFileTimeToFileTime(&local_time, &utc);
  return Value(utc);
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
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

std::optional<std::string> RegistryString(HKEY root, const std::string& key,
                                          const std::string& name) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char buffer[4096];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  LONG status = RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  if (size > 0 && buffer[size - 1] == '\0') --size;
  return std::string(buffer, size);
}

std::vector<std::string> RegistryValueNames(HKEY root, const std::string& key) {
  std::vector<std::string> names;
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return names;
  }
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD size = sizeof name;
    if (RegEnumValueA(handle, i, name, &size, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, size);
  }
  RegCloseKey(handle);
  return names;
}

void DeleteRegistryTree(HKEY root, const std::string& key) {
  RegDeleteTreeA(root, key.c_str());
  RegDeleteKeyA(root, key.c_str());
}

std::optional<ShellLinkInfo> ReadShellLink(const std::string& path) {
  CoInitialize(nullptr);
  std::optional<ShellLinkInfo> result;
  {
    IShellLinkA* raw_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkA,
                                reinterpret_cast<void**>(&raw_link)))) {
      CoUninitialize();
      return result;
    }
    ComPtr<IShellLinkA> link(raw_link);
    IPersistFile* raw_file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                       reinterpret_cast<void**>(&raw_file)))) {
      ComPtr<IPersistFile> file(raw_file);
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
      if (SUCCEEDED(file->Load(wide, STGM_READ))) {
        char buffer[MAX_PATH * 4];
        // The text a getter leaves in the buffer, or "" when it fails.
        auto text = [&buffer](HRESULT status) {
          return std::string(SUCCEEDED(status) ? buffer : "");
        };
        ShellLinkInfo info;
        info.target =
            text(link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH));
        info.arguments = text(link->GetArguments(buffer, sizeof buffer));
        info.working_dir =
            text(link->GetWorkingDirectory(buffer, sizeof buffer));
        info.description = text(link->GetDescription(buffer, sizeof buffer));
        result = info;
      }
    }
  }
  CoUninitialize();
  return result;
}

std::string SpecialFolder(int csidl) {
  char buffer[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, buffer))) return "";
  return buffer;
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
  char buffer[256];
  int n = GetClassNameA(window, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

Dialog ReadDialog(HWND dialog) {
  Dialog info;
  info.window = dialog;
  info.caption = WindowText(dialog);
  for (HWND child : ChildWindows(dialog)) {
    const std::string cls = ClassName(child);
    if (GetDlgCtrlID(child) == 0xFFFF && cls == "Static") {
      info.text = WindowText(child);
    } else if (cls == "Button" && IsWindowVisible(child)) {
      info.buttons.push_back(WithoutAmpersands(WindowText(child)));
    }
  }
  return info;
}

bool PressButton(HWND dialog, const std::string& label) {
  for (HWND child : ChildWindows(dialog)) {
    if (ClassName(child) == "Button" &&
        WithoutAmpersands(WindowText(child)) == label) {
      // What a click on the button makes it send to its dialog.
      PostMessageA(dialog, WM_COMMAND,
                   MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                   reinterpret_cast<LPARAM>(child));
      return true;
    }
  }
  return false;
}

std::vector<HWND> ProcessWindows(DWORD pid, const std::string& class_name) {
  EnumState state{pid, class_name, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

int CloseDialogsCaptioned(const std::string& caption) {
  int closed = 0;
  for (HWND window : ProcessWindows(0, "#32770")) {
    if (WindowText(window) == caption) {
      PostMessageA(window, WM_COMMAND, IDOK, 0);
      PostMessageA(window, WM_CLOSE, 0, 0);
      ++closed;
    }
  }
  return closed;
}

Process::Process(const std::string& exe, const std::string& arguments,
                 const std::string& current_dir, const std::string& temp_dir) {
  std::string command_line = "\"" + exe + "\"";
  if (!arguments.empty()) command_line += " " + arguments;
  std::string environment;
  if (!temp_dir.empty()) environment = EnvironmentWithTemp(temp_dir);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(exe.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0,
                     environment.empty() ? nullptr : &environment[0],
                     current_dir.empty() ? nullptr : current_dir.c_str(),
                     &startup, &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
  }
}

Process::~Process() {
  if (process_) {
    if (Running()) {
      TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
}

bool Process::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::Wait(DWORD timeout_ms) {
  if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

Dialog Process::NextDialog(DWORD timeout_ms) {
  for (DWORD waited = 0; waited <= timeout_ms; waited += kPollMs) {
    std::vector<HWND> dialogs = ProcessWindows(pid_, "#32770");
    if (!dialogs.empty()) {
      // A dialog is read once its text is in place.
      Dialog dialog = ReadDialog(dialogs.front());
      if (!dialog.buttons.empty()) return dialog;
    }
    if (!Running()) return Dialog();
    Sleep(kPollMs);
  }
  return Dialog();
}

HWND Process::Find(const std::string& title,
                   const std::string& class_name) const {
  for (HWND window : ProcessWindows(pid_, class_name)) {
    if (WindowText(window) == title) return window;
  }
  return nullptr;
}

HWND Process::WaitForWindow(const std::string& title,
                            const std::string& class_name,
                            DWORD timeout_ms) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Find(title, class_name)) != nullptr; },
            timeout_ms);
  return found;
}

HWND Process::WaitForOwnedDialog(HWND owner, DWORD timeout_ms) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : ProcessWindows(pid_, "#32770")) {
          if (GetWindow(window, GW_OWNER) == owner) {
            found = window;
            break;
          }
        }
        return found != nullptr;
      },
      timeout_ms);
  return found;
}

bool Process::WaitForWindowGone(const std::string& title,
                                DWORD timeout_ms) const {
  return WaitUntil([&] { return Find(title) == nullptr; }, timeout_ms);
}

Dialog Process::WaitForMessageBox(const std::string& caption,
                                  DWORD timeout_ms) const {
  HWND box = WaitForWindow(caption, "#32770", timeout_ms);
  return box ? ReadDialog(box) : Dialog();
}

std::vector<std::string> RunResult::Texts() const {
  std::vector<std::string> texts;
  for (const Dialog& dialog : dialogs) texts.push_back(dialog.text);
  return texts;
}

RunResult RunInstaller(const std::string& exe, const std::string& arguments,
                       const std::function<std::string(const Dialog&)>& answer,
                       const std::string& current_dir) {
  RunResult run;
  Process process(exe, arguments, current_dir);
  if (!process.started()) return run;
  while (true) {
    Dialog dialog = process.NextDialog();
    if (!dialog.window) break;
    run.dialogs.push_back(dialog);
    std::string label = answer ? answer(dialog) : std::string();
    if (label.empty()) {
      const auto& buttons = dialog.buttons;
      label = std::find(buttons.begin(), buttons.end(), "OK") != buttons.end()
                  ? "OK"
                  : "Yes";
    }
    if (!PressButton(dialog.window, label)) break;
    // Wait until this dialog is gone before looking for the next one.
    for (DWORD waited = 0; waited < kPatienceMs && IsWindow(dialog.window) &&
                           IsWindowVisible(dialog.window);
         waited += kPollMs) {
      Sleep(kPollMs);
    }
  }
  run.exit_code = process.Wait();
  return run;
}

}  // namespace sfx::e2e
