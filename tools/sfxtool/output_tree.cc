// Writes below the output directory through directory descriptors only.
#include "output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/dos_time.h"
#include "host_files.h"
#include "platform/replacing_file.h"

namespace sfxtool {
namespace {

// A host name for messages: control characters (C0, DEL and, in UTF-8,
// C1) shown as \xNN so that no name can drive the terminal.
std::string Shown(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                    static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
    if (c < 0x20 || c == 0x7F || c1) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X",
                    c1 ? static_cast<unsigned char>(utf8[++i]) : c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The path of `name` in `folder` below `root`, as shown in messages.
std::string Joined(const std::string& root,
                   const std::vector<std::string>& folder,
                   const std::string& name) {
  std::string path = Shown(root);
  for (const std::string& part : folder) path += "/" + Shown(part);
  if (!name.empty()) path += "/" + Shown(name);
  return path;
}

}  // namespace

OutputTree::~OutputTree() {
  AbortFile();
  if (root_ >= 0) ::close(root_);
}

bool OutputTree::Fail(const std::string& what, std::string* problem) {
  *problem = what + ": " + std::strerror(errno);
  return false;
}

bool OutputTree::OpenRoot(const std::string& root, std::string* problem) {
  root_path_ = root;
  while (root_path_.size() > 1 && root_path_.back() == '/') {
    root_path_.pop_back();
  }
  std::string failed;
  if (!MakeDirectories(root, &failed)) {
    return Fail("cannot create " + failed, problem);
  }
  root_ = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return root_ >= 0 || Fail("cannot open the folder " + root, problem);
}

int OutputTree::OpenFolder(const std::vector<std::string>& folder, bool create,
                           std::string* failed_at) {
  int fd = ::dup(root_);
  std::vector<std::string> done;
  for (const std::string& part : folder) {
    done.push_back(part);
    if (create && ::mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
      const int error = errno;
      ::close(fd);
      *failed_at = Joined(root_path_, done, "");
      errno = error;
      return -1;
    }
    const int next = ::openat(fd, part.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    if (next < 0) {
      struct stat st;
      if (::fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(st.st_mode)) {
        error = ELOOP;
      }
    }
    ::close(fd);
    if (next < 0) {
      *failed_at = Joined(root_path_, done, "");
      errno = error;
      return -1;
    }
    fd = next;
  }
  return fd;
}

bool OutputTree::IsInstaller(const std::vector<std::string>& folder,
                             const std::string& name) {
  std::string ignored;
  const int fd = OpenFolder(folder, false, &ignored);
  if (fd < 0) return false;
  struct stat st;
  const bool same =
      ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      st.st_dev == installer_device_ && st.st_ino == installer_inode_;
  ::close(fd);
  return same;
}

bool OutputTree::BeginFile(const std::vector<std::string>& folder,
                           const std::string& name, std::string* problem) {
  AbortFile();
  path_ = Joined(root_path_, folder, name);
  name_ = name;
  folder_ = CreateFolder(folder, problem);
  if (folder_ < 0) return false;
  for (int attempt = 0; file_ < 0 && attempt < 100; ++attempt) {
    temporary_ = ".sfxtool-" + std::to_string(::getpid()) + "-" +
                 std::to_string(attempt) + ".tmp";
    file_ =
        ::openat(folder_, temporary_.c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file_ < 0 && errno != EEXIST) break;
  }
  if (file_ < 0) {
    temporary_.clear();
    return Fail("cannot create " + path_, problem);
  }
  std::string raw = root_path_;
  for (const std::string& part : folder) raw += "/" + part;
  temporary_slot_ = sfx::TrackTemporary(raw + "/" + temporary_);
  return true;
}

int OutputTree::CreateFolder(const std::vector<std::string>& folder,
                             std::string* problem) {
  std::string failed_at;
  const int fd = OpenFolder(folder, true, &failed_at);
  if (fd < 0) {
    if (errno == ELOOP) {
      *problem = failed_at +
                 " is a symbolic link; extract does not follow "
                 "links inside the output folder";
    } else {
      Fail("cannot create the folder " + failed_at, problem);
    }
  }
  return fd;
}

bool OutputTree::MakeFolder(const std::vector<std::string>& folder,
                            std::string* problem) {
  const int fd = CreateFolder(folder, problem);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

bool OutputTree::Write(const std::uint8_t* data, std::size_t size,
                       std::string* problem) {
  while (size > 0) {
    const ssize_t w = ::write(file_, data, size);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      return Fail("cannot write " + path_, problem);
    }
    data += w;
    size -= static_cast<std::size_t>(w);
  }
  return true;
}

bool OutputTree::CommitFile(std::uint32_t dos_date_time, std::string* problem) {
  std::time_t t;
  if (sfx::LocalTimeOfDos(dos_date_time, &t)) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    ::futimens(file_, times);
  }
  const int fd = file_;
  file_ = -1;
  if (::close(fd) != 0) return Fail("cannot write " + path_, problem);
  struct stat st;
  if (::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      st.st_dev == installer_device_ && st.st_ino == installer_inode_) {
    *problem = path_ + " is the installer being extracted; not replaced";
    return false;
  }
  if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
    return Fail("cannot write " + path_, problem);
  }
  temporary_.clear();
  sfx::UntrackTemporary(temporary_slot_);
  temporary_slot_ = -1;
  ::close(folder_);
  folder_ = -1;
  return true;
}

void OutputTree::AbortFile() {
  if (file_ >= 0) ::close(file_);
  file_ = -1;
  if (folder_ >= 0) {
    if (!temporary_.empty()) ::unlinkat(folder_, temporary_.c_str(), 0);
    ::close(folder_);
  }
  folder_ = -1;
  temporary_.clear();
  sfx::UntrackTemporary(temporary_slot_);
  temporary_slot_ = -1;
}

}  // namespace sfxtool
