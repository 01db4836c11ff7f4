// The Win32 implementation of sfx::Platform: every operation maps onto the
// ANSI system call of the same name. Handles are owned by small RAII
// objects so that no way out of an operation leaks one.
#include <cstring>

#include "base/string.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace sfx {
namespace {

constexpr DWORD kPathBufferSize = 500;

// The shell-link class and its interfaces. Defined here because the
// system's uuid library keeps all its identifiers in one object, which
// would bring tens of kilobytes of unused ones into the installer.
constexpr CLSID kClsidShellLink = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidShellLinkA = {
    0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidPersistFile = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The text that a "fill this buffer" call of the system produced; an empty
// text when the call failed or the buffer was too small. One function for
// every such call rather than one per call.
// `argument` is passed on to the call.
using FillCall = DWORD (*)(char* buffer, DWORD size, const char* argument);
String FillBuffer(FillCall call, const char* argument = nullptr) {
  char buffer[kPathBufferSize + 1];
  DWORD n = call(buffer, kPathBufferSize, argument);
  if (n == 0 || n >= kPathBufferSize) return String();
  return String(buffer, n);
}

// `wide` in the ANSI code page; false when a character has no exact
// counterpart there (the system would put a '?' or a look-alike instead).
bool WideToAnsi(const WCHAR* wide, String* ansi) {
  char buffer[2 * MAX_PATH + 2];
  BOOL defaulted = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1,
                                    buffer, sizeof buffer, nullptr, &defaulted);
  if (n <= 0 || defaulted) return false;
  ansi->assign(buffer, static_cast<std::size_t>(n - 1));
  return true;
}

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { CloseHandle(handle_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
    DWORD done = 0;
    BOOL ok = ReadFile(handle_, buffer, n, &done, nullptr);
    *got = ok ? done : 0;
    return ok != FALSE;
  }

  bool Write(const void* buffer, std::uint32_t n,
             std::uint32_t* written) override {
    DWORD done = 0;
    BOOL ok = WriteFile(handle_, buffer, n, &done, nullptr);
    *written = ok ? done : 0;
    return ok != FALSE;
  }

  bool Seek(std::int64_t offset, Origin origin,
            std::int64_t* position) override {
    DWORD method = origin == Origin::kBegin     ? FILE_BEGIN
                   : origin == Origin::kCurrent ? FILE_CURRENT
                                                : FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    if (!SetFilePointerEx(handle_, distance, &result, method)) return false;
    if (position) *position = result.QuadPart;
    return true;
  }

  bool Size(std::int64_t* size) override {
    LARGE_INTEGER result;
    if (!GetFileSizeEx(handle_, &result)) return false;
    *size = result.QuadPart;
    return true;
  }

  bool SetLastWriteDosTime(std::uint32_t dos_date_time) override {
    FILETIME local;
    FILETIME utc;
    return DosDateTimeToFileTime(static_cast<WORD>(dos_date_time >> 16),
                                 static_cast<WORD>(dos_date_time & 0xFFFF),
                                 &local) &&
           LocalFileTimeToFileTime(&local, &utc) &&
           SetFileTime(handle_, nullptr, nullptr, &utc);
  }

 private:
  HANDLE handle_;
};

class Win32Thread : public Thread {
 public:
  Win32Thread(void (*body)(void*), void* context)
      : body_(body), context_(context) {}
  ~Win32Thread() override {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
  }
  Win32Thread(const Win32Thread&) = delete;
  Win32Thread& operator=(const Win32Thread&) = delete;

  bool Start() {
    handle_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
    return handle_ != nullptr;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    Win32Thread* thread = static_cast<Win32Thread*>(self);
    thread->body_(thread->context_);
    return 0;
  }

  void (*body_)(void*);
  void* context_;
  HANDLE handle_ = nullptr;
};

// WaitOnAddress and WakeByAddressSingle (Windows 8 and later; null before).
using WaitOnAddressFunction = BOOL(WINAPI*)(volatile void*, void*, SIZE_T,
                                            DWORD);
using WakeByAddressFunction = void(WINAPI*)(void*);
WaitOnAddressFunction g_wait_on_address = nullptr;
WakeByAddressFunction g_wake_by_address = nullptr;

// Where the system has WaitOnAddress, the semaphore is a count of its own:
// a thread that must sleep waits for the count's address to change, and a
// raise wakes it. Neither goes through Wine's server, where the waits and
// releases of a system semaphore (`handle_`, used otherwise) each take a
// round trip.
class Win32Semaphore : public Semaphore {
 public:
  Win32Semaphore(HANDLE handle, int count) : count_(count), handle_(handle) {}
  ~Win32Semaphore() override {
    if (handle_) CloseHandle(handle_);
  }
  Win32Semaphore(const Win32Semaphore&) = delete;
  Win32Semaphore& operator=(const Win32Semaphore&) = delete;

  void Wait() override {
    if (handle_) {
      WaitForSingleObject(handle_, INFINITE);
      return;
    }
    for (;;) {
      LONG seen = count_;
      if (seen <= 0) {
        g_wait_on_address(&count_, &seen, sizeof seen, INFINITE);
      } else if (InterlockedCompareExchange(&count_, seen - 1, seen) == seen) {
        return;
      }
    }
  }
  void Signal() override {
    if (handle_) {
      ReleaseSemaphore(handle_, 1, nullptr);
      return;
    }
    InterlockedIncrement(&count_);
    g_wake_by_address(const_cast<LONG*>(&count_));
  }

 private:
  volatile LONG count_;
  HANDLE handle_;
};

std::unique_ptr<File> OpenFile(const String& path, DWORD access, DWORD share,
                               DWORD disposition) {
  HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<File>(new Win32File(handle));
}

class Win32Process : public Process {
 public:
  explicit Win32Process(HANDLE handle) : handle_(handle) {}
  ~Win32Process() override { CloseHandle(handle_); }
  Win32Process(const Win32Process&) = delete;
  Win32Process& operator=(const Win32Process&) = delete;

  bool GetExitCode(std::uint32_t* code) override {
    DWORD value = 0;
    if (!GetExitCodeProcess(handle_, &value)) return false;
    *code = value;
    return true;
  }

  bool WaitForEnd(std::uint32_t timeout_ms) override {
    return WaitForSingleObject(handle_, timeout_ms) != WAIT_TIMEOUT;
  }

 private:
  HANDLE handle_;
};

class Win32RegistryKey : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY key) : key_(key) {}
  ~Win32RegistryKey() override { RegCloseKey(key_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  bool SetString(const String& name, const String& value) override {
    return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) ==
           ERROR_SUCCESS;
  }
  bool SetDword(const String& name, std::uint32_t value) override {
    const DWORD dword = value;
    return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&dword),
                          sizeof dword) == ERROR_SUCCESS;
  }

  bool DeleteAllValues() override {
    // Each deletion renumbers the rest, so the first value is taken until
    // none is left.
    char name[256];
    DWORD length = sizeof name;
    while (RegEnumValueA(key_, 0, name, &length, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS) {
      if (RegDeleteValueA(key_, name) != ERROR_SUCCESS) return false;
      length = sizeof name;
    }
    return true;
  }

 private:
  HKEY key_;
};

// Releases a COM interface on every way out.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (ptr_) ptr_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* get() const { return ptr_; }
  T** out() { return &ptr_; }
  T* operator->() const { return ptr_; }

 private:
  T* ptr_ = nullptr;
};

class Win32Platform : public Platform {
  static HKEY Base(os::RegistryRoot root) {
    return root == os::RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE
                                                   : HKEY_CURRENT_USER;
  }

 public:
  std::unique_ptr<File> OpenRead(const String& path) override {
    return OpenFile(path, GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING);
  }

  std::unique_ptr<File> CreateWrite(const String& path) override {
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  }

  std::unique_ptr<File> CreateNew(const String& path) override {
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  }

  bool DeleteFile(const String& path) override {
    return DeleteFileA(path.c_str()) != FALSE;
  }

  bool MoveFileReplace(const String& from, const String& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) !=
           FALSE;
  }

  bool GetLastWriteDosTime(const String& path,
                           std::uint32_t* dos_date_time) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      return false;
    }
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time)) {
      return false;
    }
    *dos_date_time = (static_cast<std::uint32_t>(date) << 16) | time;
    return true;
  }

  std::uint32_t GetFileAttributes(const String& path) override {
    return GetFileAttributesA(path.c_str());
  }

  bool CreateDirectory(const String& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  }

  bool SetCurrentDirectory(const String& path) override {
    return SetCurrentDirectoryA(path.c_str()) != FALSE;
  }

  String GetCurrentDirectory() override {
    return FillBuffer([](char* b, DWORD n, const char*) -> DWORD {
      return GetCurrentDirectoryA(n, b);
    });
  }

  String GetFullPathName(const String& path) override {
    return FillBuffer(
        [](char* b, DWORD n, const char* p) -> DWORD {
          return GetFullPathNameA(p, n, b, nullptr);
        },
        path.c_str());
  }

  String GetSystemDirectory() override {
    return FillBuffer([](char* b, DWORD n, const char*) -> DWORD {
      return GetSystemDirectoryA(b, n);
    });
  }

  String GetWindowsDirectory() override {
    return FillBuffer([](char* b, DWORD n, const char*) -> DWORD {
      return GetWindowsDirectoryA(b, n);
    });
  }

  String GetTempPath() override {
    return FillBuffer([](char* b, DWORD n, const char*) -> DWORD {
      return GetTempPathA(n, b);
    });
  }

  String GetSpecialFolderPath(int csidl, WindowHandle owner) override {
    // The shell's folder functions need COM on this thread; one
    // initialisation serves the whole (single-threaded) process.
    if (!com_initialised_) {
      ::CoInitialize(nullptr);
      com_initialised_ = true;
    }
    LPITEMIDLIST list = nullptr;
    char buffer[MAX_PATH + 1];
    buffer[0] = '\0';
    if (SUCCEEDED(SHGetSpecialFolderLocation(ToHwnd(owner), csidl, &list)) &&
        list) {
      if (!SHGetPathFromIDListA(list, buffer)) buffer[0] = '\0';
    }
    if (list) CoTaskMemFree(list);
    return String(buffer);
  }

  bool GetDiskFreeSpace(char drive, std::int64_t* free_bytes) override {
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;
    const char root[] = {drive, ':', '\\', '\0'};
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector,
                           &free_clusters, &total_clusters)) {
      return false;
    }
    *free_bytes = static_cast<std::int64_t>(sectors_per_cluster) *
                  bytes_per_sector * free_clusters;
    return true;
  }

  // The ANSI calls cannot open a file whose path the code page cannot
  // hold; the path is then given by the folder's short name (always ASCII
  // where the volume keeps short names), or empty when there is none.
  String GetModuleFileName() override {
    WCHAR wide[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, wide, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return String();
    wide[n] = 0;
    String path;
    if (WideToAnsi(wide, &path)) return path;
    WCHAR short_path[MAX_PATH + 1];
    n = GetShortPathNameW(wide, short_path, MAX_PATH);
    if (n > 0 && n < MAX_PATH && WideToAnsi(short_path, &path)) return path;
    return String();
  }

  String GetCommandLine() override {
    const char* line = GetCommandLineA();
    return line ? String(line) : String();
  }

  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    ::ExitProcess(code);
  }

  std::unique_ptr<Process> StartProcess(const String& path) override {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
      return nullptr;
    }
    // Only the process handle is needed to wait; the thread handle would
    // otherwise stay open for the installer's lifetime.
    CloseHandle(info.hThread);
    return std::unique_ptr<Process>(new Win32Process(info.hProcess));
  }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  std::uint32_t WinExec(const String& command_line, int show) override {
    return ::WinExec(command_line.c_str(), static_cast<UINT>(show));
  }

  bool KeepSystemAwake(std::uint32_t flags) override {
    return SetThreadExecutionState(flags) != 0;
  }

  int ProcessorCount() override {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 1
               ? static_cast<int>(info.dwNumberOfProcessors)
               : 1;
  }

  std::unique_ptr<Thread> StartThread(void (*body)(void*),
                                      void* context) override {
    std::unique_ptr<Win32Thread> thread(new Win32Thread(body, context));
    if (!thread->Start()) return nullptr;
    return thread;
  }

  std::unique_ptr<Semaphore> CreateSemaphore(int initial) override {
    // Both calls come with Windows 8.
    const HMODULE base = GetModuleHandleA("kernelbase.dll");
    g_wake_by_address = reinterpret_cast<WakeByAddressFunction>(
        reinterpret_cast<void*>(GetProcAddress(base, "WakeByAddressSingle")));
    g_wait_on_address = reinterpret_cast<WaitOnAddressFunction>(
        reinterpret_cast<void*>(GetProcAddress(base, "WaitOnAddress")));
    HANDLE handle = nullptr;
    if (!g_wait_on_address &&
        !(handle = CreateSemaphoreA(nullptr, initial, 0x7FFFFFFF, nullptr))) {
      return nullptr;
    }
    return std::unique_ptr<Semaphore>(new Win32Semaphore(handle, initial));
  }

  std::unique_ptr<RegistryKey> CreateKey(os::RegistryRoot root,
                                         const String& path) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(Base(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::unique_ptr<RegistryKey>(new Win32RegistryKey(key));
  }

  bool DeleteKey(os::RegistryRoot root, const String& path) override {
    return RegDeleteKeyA(Base(root), path.c_str()) == ERROR_SUCCESS;
  }

  os::KeyCopy CopyKeyOnce(os::RegistryRoot root, const String& from,
                          const String& to) override {
    HKEY source = nullptr;
    if (RegOpenKeyExA(Base(root), from.c_str(), 0, KEY_READ, &source) !=
        ERROR_SUCCESS) {
      return os::KeyCopy::kNoSource;
    }
    HKEY target = nullptr;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (RegCreateKeyExA(Base(root), to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &target, &disposition) == ERROR_SUCCESS) {
      if (disposition == REG_CREATED_NEW_KEY) {
        RegCopyTreeA(source, nullptr, target);
      }
      RegCloseKey(target);
    }
    RegCloseKey(source);
    return disposition == REG_CREATED_NEW_KEY ? os::KeyCopy::kCopied
                                              : os::KeyCopy::kTargetExists;
  }

  void CoInitialize() override { ::CoInitialize(nullptr); }
  void CoUninitialize() override { ::CoUninitialize(); }

  std::int32_t CreateShellLink(const String& target, const String& link_path,
                               const String& description,
                               const String& arguments,
                               const String& working_dir) override {
    ComPtr<IShellLinkA> link;
    HRESULT status =
        CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER,
                         kIidShellLinkA, reinterpret_cast<void**>(link.out()));
    if (FAILED(status)) return status;
    link->SetPath(target.c_str());
    link->SetDescription(description.c_str());
    link->SetArguments(arguments.c_str());
    link->SetWorkingDirectory(working_dir.c_str());
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(kIidPersistFile,
                                       reinterpret_cast<void**>(file.out())))) {
      WCHAR wide[MAX_PATH];
      if (MultiByteToWideChar(CP_ACP, 0, link_path.c_str(), -1, wide,
                              MAX_PATH) == 0) {
        // A path that does not fit is refused rather than cut.
        return E_INVALIDARG;
      }
      status = file->Save(wide, TRUE);
    }
    return status;
  }

  int MessageBox(WindowHandle owner, const String& text, const String& caption,
                 std::uint32_t flags) override {
    return MessageBoxA(ToHwnd(owner), text.c_str(), caption.c_str(), flags);
  }

  String GetThousandsSeparator() override {
    char buffer[8];
    int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer,
                           sizeof buffer);
    if (n <= 0) return ",";
    return String(buffer);
  }

  void AnnounceSettingsChange() override {
    PostMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0);
  }

  Vector<std::uint8_t> LoadOwnVersionInfo() override {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1),
                                MAKEINTRESOURCEA(16));  // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const std::uint8_t* bytes =
        loaded ? static_cast<const std::uint8_t*>(LockResource(loaded))
               : nullptr;
    if (!bytes) return {};
    return Vector<std::uint8_t>(bytes, bytes + SizeofResource(nullptr, found));
  }

 private:
  bool com_initialised_ = false;
};

// A plain global rather than a function-local static: no guard variable,
// and nothing to construct beyond the vtable pointer.
Win32Platform g_platform;

}  // namespace

Platform& SystemPlatform() { return g_platform; }

}  // namespace sfx
