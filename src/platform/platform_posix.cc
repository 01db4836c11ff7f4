// The host implementation of the platform seam, used by sfxtool and by the
// native unit tests. Files and directories map onto POSIX calls; paths are
// written the Windows way by the logic, so every backslash is taken as a
// directory separator here. DOS time stamps are read and written in the
// local time zone (TZ is honoured). Message boxes print "Caption: text" to
// standard error, with each CR shown as a new line, and answer OK; a Yes/No
// question is answered No unless SFX_MESSAGEBOX_ANSWER=yes is set. The
// registry, the shell, processes and windows do not exist on the host:
// their operations fail or do nothing.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "base/dos_time.h"
#include "platform/platform.h"
#include "platform/posix_file.h"

namespace sfx {
namespace {

std::string HostPath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
  return result;
}

std::unique_ptr<File> OpenFile(const std::string& path, int flags) {
  const int fd = ::open(HostPath(path).c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  // Windows cannot open a directory as a file; neither does the host.
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd);
}

class PosixThread : public Thread {
 public:
  PosixThread(void (*body)(void*), void* context) : thread_(body, context) {}
  ~PosixThread() override { thread_.join(); }

 private:
  std::thread thread_;
};

class PosixSemaphore : public Semaphore {
 public:
  explicit PosixSemaphore(int initial) : count_(initial) {}
  void Wait() override {
    std::unique_lock<std::mutex> lock(mutex_);
    raised_.wait(lock, [this] { return count_ > 0; });
    --count_;
  }
  void Signal() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    raised_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable raised_;
  int count_;
};

class PosixPlatform : public Platform {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return OpenFile(path, O_RDONLY);
  }
  std::unique_ptr<File> CreateWrite(const std::string& path) override {
    return OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    return OpenFile(path, O_WRONLY | O_CREAT | O_EXCL);
  }
  bool DeleteFile(const std::string& path) override {
    return ::unlink(HostPath(path).c_str()) == 0;
  }
  bool MoveFileReplace(const std::string& from,
                       const std::string& to) override {
    return ::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
  }
  bool GetLastWriteDosTime(const std::string& path,
                           std::uint32_t* dos_date_time) override {
    struct stat st;
    if (::stat(HostPath(path).c_str(), &st) != 0) return false;
    return LocalDosTimeOf(st.st_mtime, dos_date_time);
  }
  std::uint32_t GetFileAttributes(const std::string& path) override {
    struct stat st;
    if (::stat(HostPath(path).c_str(), &st) != 0) {
      return os::kInvalidAttributes;
    }
    if (S_ISDIR(st.st_mode)) return os::kAttributeDirectory;
    constexpr std::uint32_t kReadOnly = 0x01;
    constexpr std::uint32_t kArchive = 0x20;
    return (st.st_mode & S_IWUSR) ? kArchive : (kArchive | kReadOnly);
  }
  bool CreateDirectory(const std::string& path) override {
    return ::mkdir(HostPath(path).c_str(), 0777) == 0;
  }
  bool SetCurrentDirectory(const std::string& path) override {
    return ::chdir(HostPath(path).c_str()) == 0;
  }
  std::string GetCurrentDirectory() override {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer)
                                           : std::string();
  }
  std::string GetFullPathName(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return path;
    const std::string dir = GetCurrentDirectory();
    return dir.empty() ? std::string() : dir + "/" + path;
  }
  std::string GetSystemDirectory() override { return std::string(); }
  std::string GetWindowsDirectory() override { return std::string(); }
  std::string GetTempPath() override {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
  }
  std::string GetSpecialFolderPath(int, WindowHandle) override {
    return std::string();
  }
  bool GetDiskFreeSpace(char drive, std::int64_t* free_bytes) override {
    struct statvfs st;
    const std::string root = {drive, ':', '\\'};
    if (::statvfs(HostPath(root).c_str(), &st) != 0) return false;
    *free_bytes = static_cast<std::int64_t>(st.f_bavail) *
                  static_cast<std::int64_t>(st.f_frsize);
    return true;
  }

  std::string GetModuleFileName() override {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n))
                 : std::string();
  }
  std::string GetCommandLine() override {
    // /proc/self/cmdline holds the arguments NUL-separated; they are joined
    // the way a Windows command line would show them.
    std::string line;
    std::FILE* f = std::fopen("/proc/self/cmdline", "rb");
    if (!f) return line;
    std::string arg;
    int c;
    auto flush = [&line, &arg]() {
      if (!line.empty()) line += ' ';
      const bool quote = arg.empty() || arg.find(' ') != std::string::npos;
      line += quote ? '"' + arg + '"' : arg;
      arg.clear();
    };
    while ((c = std::fgetc(f)) != EOF) {
      if (c == 0) {
        flush();
      } else {
        arg += static_cast<char>(c);
      }
    }
    if (!arg.empty()) flush();
    std::fclose(f);
    return line;
  }
  [[noreturn]] void ExitProcess(std::uint32_t code) override {
    std::fflush(nullptr);
    std::exit(static_cast<int>(code));
  }
  std::unique_ptr<Process> StartProcess(const std::string&) override {
    return nullptr;
  }
  void Sleep(std::uint32_t milliseconds) override {
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
  std::uint32_t WinExec(const std::string&, int) override {
    return 2;  // ERROR_FILE_NOT_FOUND: nothing can be started here
  }
  bool KeepSystemAwake(std::uint32_t) override { return false; }

  int ProcessorCount() override {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 1 ? static_cast<int>(n) : 1;
  }
  std::unique_ptr<Thread> StartThread(void (*body)(void*),
                                      void* context) override {
    return std::make_unique<PosixThread>(body, context);
  }
  std::unique_ptr<Semaphore> CreateSemaphore(int initial) override {
    return std::make_unique<PosixSemaphore>(initial);
  }

  std::unique_ptr<RegistryKey> CreateKey(os::RegistryRoot,
                                         const std::string&) override {
    return nullptr;
  }
  bool DeleteKey(os::RegistryRoot, const std::string&) override {
    return false;
  }
  os::KeyCopy CopyKeyOnce(os::RegistryRoot, const std::string&,
                          const std::string&) override {
    return os::KeyCopy::kNoSource;
  }

  void CoInitialize() override {}
  void CoUninitialize() override {}
  std::int32_t CreateShellLink(const std::string&, const std::string&,
                               const std::string&, const std::string&,
                               const std::string&) override {
    return static_cast<std::int32_t>(0x80004001u);  // E_NOTIMPL
  }

  int MessageBox(WindowHandle, const std::string& text,
                 const std::string& caption, std::uint32_t flags) override {
    std::string shown = text;
    for (char& c : shown) {
      if (c == '\r') c = '\n';
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), shown.c_str());
    if ((flags & 0x0F) == os::kMbYesNo) {
      const char* answer = std::getenv("SFX_MESSAGEBOX_ANSWER");
      const bool yes = answer && (std::string(answer) == "yes");
      return yes ? os::kIdYes : os::kIdNo;
    }
    return os::kIdOk;
  }
  std::string GetThousandsSeparator() override { return ","; }
  void AnnounceSettingsChange() override {}

  // The host tools are no Windows programs: no version resource.
  std::vector<std::uint8_t> LoadOwnVersionInfo() override { return {}; }
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace sfx
