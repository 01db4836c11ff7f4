#include "host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sfxtool {

bool ReadStream(std::FILE* file, std::vector<std::uint8_t>* bytes,
                std::size_t limit) {
  // Regular files are read in one piece; pipes in chunks.
  struct stat info;
  if (::fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size > 0 && static_cast<std::size_t>(info.st_size) <= limit) {
    bytes->reserve(bytes->size() + static_cast<std::size_t>(info.st_size));
  }
  std::uint8_t buffer[1 << 16];
  const std::size_t start = bytes->size();
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    bytes->insert(bytes->end(), buffer, buffer + got);
    if (got < sizeof buffer) return !std::ferror(file);
    if (bytes->size() - start > limit) return true;
  }
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes,
                   std::size_t limit) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool ok = ReadStream(file, bytes, limit);
  std::fclose(file);
  return ok;
}

bool MakeDirectories(const std::string& path, std::string* failed) {
  for (std::size_t slash = 0; slash != std::string::npos;) {
    slash = path.find('/', slash + 1);
    const std::string partial = path.substr(0, slash);
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
      *failed = partial;
      return false;
    }
  }
  return true;
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

bool ReplacedOutput::Check(const std::string& path, std::string* problem) {
  struct stat st;
  exists_ = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (!exists_) return true;
  mode_ = st.st_mode & 07777;
  // The rename that replaces it needs the folder's permission only.
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    *problem = "the output " + path + " cannot be replaced: " +
               (errno == EACCES ? std::string("it is read-only")
                                : std::string(std::strerror(errno)));
    return false;
  }
  return true;
}

bool ReplacedOutput::KeepMode(const std::string& temporary) const {
  return !exists_ || ::chmod(temporary.c_str(), mode_) == 0;
}

}  // namespace sfxtool
