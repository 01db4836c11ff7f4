// The build manifest of `sfxtool build`: a TOML file that describes the
// product, its files and the programs to run (docs/manifest.md). Loading
// it gives everything the packer needs but the stub.
#ifndef SFXTOOL_MANIFEST_H_
#define SFXTOOL_MANIFEST_H_

#include <stdexcept>
#include <string>

#include "package/package_writer.h"

namespace sfxtool {

// A manifest that cannot be used. The message names the manifest, the
// line and the field: "hello.toml:12: file[2].target_dir: ...".
class ManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Manifest {
  sfx::PackagePlan plan;  // everything but the stub
};

// Reads the manifest at `path`. Paths inside it are relative to its
// folder; texts are converted from UTF-8 to code page 1252 and checked
// against the 255-byte limit and the chosen format version; the space
// required is the sum of the files' sizes unless the manifest gives it.
Manifest LoadManifest(const std::string& path);

// The version code of a format name ("1.2", "2.1" ... "2.4"), 0 if none.
int FormatCodeOf(const std::string& name);

}  // namespace sfxtool

#endif  // SFXTOOL_MANIFEST_H_
