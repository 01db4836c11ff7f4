// The build manifest of `sfxtool build`: a TOML file that describes the
// product, its files and folder trees and the programs to run
// (docs/manifest.md). Loading it gives everything the packer needs but the
// stub, after every rule that can be checked before packing.
#ifndef SFXTOOL_MANIFEST_H_
#define SFXTOOL_MANIFEST_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "package/package_writer.h"

namespace sfxtool {

// A manifest that cannot be used. The message names the manifest, the
// line and the field: "hello.toml:12: file[2].target_dir: ...".
class ManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that the build made (a converted licence), removed with its owner.
class TempFile {
 public:
  explicit TempFile(std::string path);
  TempFile(TempFile&& other) noexcept
      : path_(std::move(other.path_)), slot_(other.slot_) {
    other.path_.clear();
    other.slot_ = -1;
  }
  TempFile& operator=(TempFile&&) = delete;
  ~TempFile();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int slot_ = -1;  // in the table of files removed on a signal
};

struct Manifest {
  sfx::PackagePlan plan;  // everything but the stub
  // What may be a mistake but still builds, as "hello.toml:12: field: ...".
  std::vector<std::string> warnings;
  std::string path;                  // of the manifest, for messages
  std::vector<std::int64_t> sizes;   // the bytes of each entry's source
  std::vector<TempFile> temp_files;  // sources the build made
  // Files read that the sources stand in for (a converted licence's
  // original): the output must not be one of them either.
  std::vector<std::string> other_inputs;
};

// Reads the manifest at `path`. Paths inside it are relative to its
// folder; texts are converted from UTF-8 to code page 1252 and checked
// against the 255-byte limit, the name rules and the chosen format
// version; folder trees and patterns are expanded, the licence converted,
// and the folders that files need added to the directories. The space
// required is the sum of the files' sizes unless the manifest gives it.
Manifest LoadManifest(const std::string& path);

// The limits of the format that are known before anything is compressed:
// the header's size and texts, the 2 GiB of the 32-bit offsets and, unless
// the checksum is skipped, the size the checksum can cover. Call it once
// the plan holds its stub and its final options. Raises ManifestError when
// the installer cannot fit whatever the compression achieves; adds a
// warning when it fits only if the files compress.
void CheckLimits(Manifest* manifest);

// The version code of a format name ("1.2", "2.1" ... "2.4"), 0 if none.
int FormatCodeOf(const std::string& name);

}  // namespace sfxtool

#endif  // SFXTOOL_MANIFEST_H_
