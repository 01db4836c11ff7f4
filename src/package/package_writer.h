// The packer: assembles an installer file from the installer program (the
// stub), an installation record and the files on the build machine. Host
// only. Files are streamed block by block and the blocks are compressed on
// several threads (block_pipeline.h), so memory stays bounded by the block
// size times the blocks in flight whatever the size of the files.
#ifndef SFX_PACKAGE_PACKAGE_WRITER_H_
#define SFX_PACKAGE_PACKAGE_WRITER_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/lzh_encoder.h"
#include "package/record.h"

namespace sfx {

// Any reason why an installer cannot be built; the message says which.
class PackageWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PackagePlan {
  std::vector<std::uint8_t> stub;  // the installer program
  // The header. Entry i of the package is record.Files[i]; its name in the
  // package is the last path component of that entry's FileName.
  TInstalRecord record;
  std::vector<std::string> sources;  // the file for each entry of Files
  int version = kFormat24;
  bool skip_checksum = false;
  // Time stamps newer than this (SOURCE_DATE_EPOCH) are clamped to it.
  std::optional<std::time_t> newest_time;
  // How hard the LZH encoder works on the header and the file blocks.
  LzhLevel level = LzhLevel::kBest;
};

// What was written, for the caller's summary.
struct PackageSummary {
  std::int64_t installer_size = 0;
  std::int64_t header_offset = 0;
  std::int64_t marker_offset = 0;
  std::uint32_t checksum = 0;
  std::int64_t data_size = 0;    // the files' bytes
  std::int64_t packed_size = 0;  // their bytes in the package
};

// The offset of the stub's 23-byte StubSizeBlock: its tag must occur
// exactly once, after the length byte 22 and with the whole block inside
// the stub. Raises PackageWriteError otherwise, and when the stub holds
// the trailer marker (the integrity check would stop there).
std::size_t FindStubSizeBlock(const std::vector<std::uint8_t>& stub);

// The stub as it goes into the installer: a PE program gets a zero
// CheckSum and security entry, the two header fields that signing the
// finished installer rewrites (package/signature.h). Raises
// PackageWriteError for a stub that is itself signed.
std::vector<std::uint8_t> PrepareStubForSigning(
    const std::vector<std::uint8_t>& stub);

// The DOS date and time (local time zone, honouring TZ) of `t`, after
// clamping `t` to `newest` when given; times outside the DOS range of
// 1980 to 2107 are clamped to its ends. Seconds round down to even.
std::uint32_t DosDateTimeOf(std::time_t t, std::optional<std::time_t> newest);

// One file as it went into the package, for a caller that lists them.
struct PackedFileInfo {
  std::size_t index = 0;  // in record.Files
  std::string name;       // the name in the package
  std::int64_t size = 0;
  std::int64_t entry_size = 0;  // the whole entry in the package
  bool packed = false;          // compressed rather than stored
};

// How WritePackage works, as opposed to what it writes: the bytes written
// are the same for every value of these options.
struct PackageWriteOptions {
  // Threads that compress blocks; 1 compresses on the calling thread. At
  // most jobs * kJobsInFlightPerWorker blocks are in memory at once.
  unsigned jobs = 1;
  // Files that the output must not be (the stub, the manifest), besides
  // the sources, which are always checked.
  std::vector<std::string> other_inputs;
  // Called on the calling thread with the bytes of the sources packed so
  // far, after every block.
  std::function<void(std::int64_t bytes)> on_progress;
  // Called on the calling thread after each file's entry is written.
  std::function<void(const PackedFileInfo&)> on_file;
  // Called with the path of the finished installer, still under its
  // temporary name, before it takes the output's name (code signing
  // rewrites it there); raises to fail the build, which then leaves the
  // output as it was.
  std::function<void(const std::string& temporary)> finish;
};

// Writes the installer file at `output_path`: into a temporary file beside
// it, renamed over `output_path` once complete, so a failed build leaves an
// existing file as it was. Refuses, before writing anything, an output
// that is one of the inputs (the same file by device and inode, whatever
// its name). On failure the temporary file is removed and
// PackageWriteError raised.
PackageSummary WritePackage(const PackagePlan& plan,
                            const std::string& output_path,
                            const PackageWriteOptions& options = {});

}  // namespace sfx

#endif  // SFX_PACKAGE_PACKAGE_WRITER_H_
