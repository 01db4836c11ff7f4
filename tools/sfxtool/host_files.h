// The host's files as sfxtool reads them whole and the folders it creates:
// one copy of each for every command and the manifest.
#ifndef SFXTOOL_HOST_FILES_H_
#define SFXTOOL_HOST_FILES_H_

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace sfxtool {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// Appends what is left of `file` (a file or a pipe) to `*bytes`, stopping
// once more than `limit` bytes are in (so that size() > limit says the
// file is too large). False on a read error (errno says which).
bool ReadStream(std::FILE* file, std::vector<std::uint8_t>* bytes,
                std::size_t limit = kNoLimit);

// The same for the file at `path`; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes,
                   std::size_t limit = kNoLimit);

// Creates the folder `path` and every missing parent ("mkdir -p"). False,
// with errno set and `*failed` naming the folder that could not be made,
// on failure.
bool MakeDirectories(const std::string& path, std::string* failed);

// The folder for the build's temporary files (a converted licence, the
// uninstaller's copy): $TMPDIR, else /tmp.
std::string TempFolder();

// An existing file that a command replaces through a temporary file (the
// installer of build, the output of lzh): it is refused when the user may
// not write it, as writing it in place would be, and its replacement gets
// its permission bits, so a rebuilt setup.exe stays as executable or as
// private as it was.
class ReplacedOutput {
 public:
  // Looks at `path` (at the file a link names). False, with the reason,
  // when it is a regular file the user may not write.
  bool Check(const std::string& path, std::string* problem);
  // Gives `temporary` the permission bits of the file Check found; true
  // when there was none. False, with errno set, when it cannot.
  bool KeepMode(const std::string& temporary) const;

 private:
  bool exists_ = false;
  unsigned mode_ = 0;
};

}  // namespace sfxtool

#endif  // SFXTOOL_HOST_FILES_H_
