// sfx::File over a POSIX file descriptor; see posix_file.h.
#include "platform/posix_file.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "base/dos_time.h"

namespace sfx {

PosixFile::~PosixFile() { ::close(fd_); }

bool PosixFile::Read(void* buffer, std::uint32_t n, std::uint32_t* got) {
  *got = 0;
  char* out = static_cast<char*>(buffer);
  // A regular file delivers everything but at its end; the loop only
  // covers interrupted calls.
  while (*got < n) {
    const ssize_t r = ::read(fd_, out + *got, n - *got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    *got += static_cast<std::uint32_t>(r);
  }
  return true;
}

bool PosixFile::Write(const void* buffer, std::uint32_t n,
                      std::uint32_t* written) {
  *written = 0;
  const char* in = static_cast<const char*>(buffer);
  while (*written < n) {
    const ssize_t w = ::write(fd_, in + *written, n - *written);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) break;
    *written += static_cast<std::uint32_t>(w);
  }
  return true;
}

bool PosixFile::Seek(std::int64_t offset, Origin origin,
                     std::int64_t* position) {
  const int whence = origin == Origin::kBegin     ? SEEK_SET
                     : origin == Origin::kCurrent ? SEEK_CUR
                                                  : SEEK_END;
  const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) return false;
  if (position) *position = result;
  return true;
}

bool PosixFile::Size(std::int64_t* size) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  *size = st.st_size;
  return true;
}

bool PosixFile::SetLastWriteDosTime(std::uint32_t dos_date_time) {
  std::time_t t;
  if (!LocalTimeOfDos(dos_date_time, &t)) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = t;
  times[1].tv_nsec = 0;
  return ::futimens(fd_, times) == 0;
}

}  // namespace sfx
