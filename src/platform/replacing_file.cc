// Temporary files beside their targets, and their removal on signals (see
// replacing_file.h). The signal handler may only make async-signal-safe
// calls, so the table is a fixed array of paths, each slot claimed and
// released through an atomic state.
#include "platform/replacing_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sfx {
namespace {

constexpr int kSlots = 256;
constexpr std::size_t kPathMax = 4096;

enum SlotState : int { kFree, kFilling, kLive };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathMax];
};

Slot g_slots[kSlots];
std::atomic<pid_t> g_child{0};

void RemoveAndReraise(int signal_number) {
  // A child that writes one of the files would create it after the
  // removal: it ends first.
  if (const pid_t child = g_child.load()) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  for (Slot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) == kLive) {
      ::unlink(slot.path);
    }
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

int TrackTemporary(const std::string& path) {
  if (path.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      g_slots[i].state.store(kLive, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void TrackChildProcess(int pid) { g_child.store(pid); }

void UntrackTemporary(int slot) {
  if (slot >= 0 && slot < kSlots) {
    g_slots[slot].state.store(kFree, std::memory_order_release);
  }
}

void RemoveTemporariesOnSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = RemoveAndReraise;
    sigemptyset(&action.sa_mask);
    // An ignored signal (nohup, a background job's SIGINT) stays ignored.
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 &&
        old.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(signal_number, &action, nullptr);
  }
}

ReplacingFile::~ReplacingFile() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  UntrackTemporary(slot_);
}

int ReplacingFile::Create(const std::string& path) {
  path_ = path;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    // A device or a pipe (/dev/null, /dev/stdout) is written into.
    return ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  }
  // A link to a file: the file it names is replaced, the link stays.
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    path_ = real;
    std::free(real);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = path_ + ".tmp" + std::to_string(::getpid()) + "-" +
                             std::to_string(attempt);
    // Tracked before it exists, so that no signal can leave it behind.
    const int slot = TrackTemporary(name);
    const int fd =
        ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temporary_ = name;
      slot_ = slot;
      return fd;
    }
    const int error = errno;
    UntrackTemporary(slot);
    errno = error;
    if (errno != EEXIST) break;
  }
  return -1;
}

bool ReplacingFile::Commit() {
  if (temporary_.empty()) return true;  // written in place
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    temporary_.clear();
    UntrackTemporary(slot_);
    slot_ = -1;
    errno = error;
    return false;
  }
  temporary_.clear();
  UntrackTemporary(slot_);
  slot_ = -1;
  return true;
}

}  // namespace sfx
