// A scratch folder for host tests, removed with everything in it, and the
// whole-file reads and writes the tests do in it.
#ifndef SFX_TESTS_SUPPORT_TEMP_DIR_H_
#define SFX_TESTS_SUPPORT_TEMP_DIR_H_

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfx_test {

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Writes `bytes` (a string or a byte vector) to `path`.
template <typename Bytes>
void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/sfx-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in '/'.
  std::string path() const { return path_ + "/"; }
  // Writes `bytes` to `name` below the folder, creating the folders on the
  // way; returns the file's path.
  template <typename Bytes>
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = this->path() + name;
    for (std::size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      ::mkdir((this->path() + name.substr(0, slash)).c_str(), 0777);
    }
    WriteBytes(path, bytes);
    return path;
  }

 private:
  std::string path_;
};

}  // namespace sfx_test

#endif  // SFX_TESTS_SUPPORT_TEMP_DIR_H_
