// The installer file's layout: program image, header block, file count, file
// entries, header offset, the 16-byte marker and the stored checksum. Holds
// the integrity check and the readers that get from the trailer to the
// header and to the first file entry.
#ifndef SFX_PACKAGE_CONTAINER_H_
#define SFX_PACKAGE_CONTAINER_H_

#include <cstdint>
#include <memory>

#include "base/string.h"
#include "base/vector.h"
#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Full path of the running installer file.
extern String ExePath;
// File offset of the trailer marker, set by VerifyPackage.
extern std::int32_t MarkerOffset;

constexpr std::uint32_t kChecksumBlockSize = 65000;
constexpr std::uint32_t kMaxChecksumBlocks = 16001;
inline constexpr char kMarkerHalf[] =
    "File CRC";  // the marker is this text twice
constexpr std::size_t kMarkerSize = 16;
// The marker's bytes, formed from its two halves at run time so that a
// program's own image never holds them.
struct TrailerMarker {
  TrailerMarker();
  std::uint8_t bytes[kMarkerSize];
};

// The 23-byte block in the program's data that the packer fills: length
// byte 22, the tag "RealFileSize=", ExpectedSize twice, SkipChecksum.
constexpr std::size_t kStubSizeBlockSize = 23;
inline constexpr char kStubSizeTag[] = "RealFileSize=";
struct StubSizeValues {
  std::int32_t expected_size1 = 0;
  std::int32_t expected_size2 = 0;
  std::uint8_t skip_checksum = 0;
};
// The values of a StubSizeBlock image (23 bytes).
StubSizeValues ParseStubSizeBlock(const std::uint8_t* block);

// Sum of b[i] * (i mod 256) (16 bits) and the XOR of all bytes (8 bits),
// as X * 65536 + S. `n` is 0 to 65535.
std::uint32_t BlockChecksum(const std::uint8_t* bytes, std::uint32_t n);

// How loading the installer's header block ended.
enum class HeaderLoad {
  kOk,
  kCannotOpen,  // the installer file cannot be opened
  kCorrupted,   // the walk to the header or its decoding failed
};
// Opens ExePath and reads the header block at MarkerOffset, decoded, into
// `decoded`; on kOk `*file_count` holds FileCount. Shows nothing
// (ReadPackageHeader in install/package_reports.h does).
HeaderLoad LoadInstallerHeader(Vector<std::uint8_t>* decoded,
                               std::int32_t* file_count);

// How a walk from the trailer to the first file entry ended.
enum class PackageWalk {
  kOk,
  kCannotOpen,       // the installer file cannot be opened
  kNoHeaderOffset,   // the header offset before the marker is unreadable
  kBadHeaderOffset,  // positioning at the header offset fails
  kNoFileCount,      // the file count is unreadable
};

// Opens ExePath and walks from MarkerOffset to the first file entry: on
// kOk `*file` is positioned there and `*file_count` holds FileCount.
PackageWalk OpenPackageAtFirstEntry(std::unique_ptr<File>* file,
                                    std::int32_t* file_count);

// --- The readers behind them, also for sfxtool, tests and fuzzing.

// The largest compressed or decoded header that a reader accepts.
constexpr std::uint32_t kMaxHeaderSize = 64u << 20;
// The largest marker offset that the checksum table can cover.
constexpr std::int64_t kMaxChecksummedSize =
    std::int64_t{kChecksumBlockSize} * kMaxChecksumBlocks;

// The file checksum: the file is cut into kChecksumBlockSize-byte blocks
// from offset 0, each block gets its BlockChecksum, and the table of those
// values (4 bytes each, little-endian) is checksummed once more.
class PackageChecksum {
 public:
  // Adds the next block (every block but the last is kChecksumBlockSize
  // bytes). False, and nothing added, when the table is full.
  bool AddBlock(const std::uint8_t* bytes, std::uint32_t n);
  std::uint32_t BlockCount() const;
  std::uint32_t Total() const;

 private:
  Vector<std::uint8_t> table_;  // 4 bytes per block, little-endian
};

// The checksum of the first `length` bytes of `file` (0 gives one empty
// block). False when a read fails or falls short, or when `length` is
// beyond kMaxChecksummedSize.
bool ComputePackageChecksum(File& file, std::int64_t length,
                            std::uint32_t* checksum);

enum class PackageCheck {
  kOk,
  kReadFailed,        // a read or a seek failed
  kNoMarker,          // the marker is not in the file
  kTooLarge,          // the marker lies beyond what the table covers
  kNoStoredChecksum,  // the file ends inside the stored checksum
  kChecksumMismatch,
};
struct PackageCheckResult {
  PackageCheck status = PackageCheck::kReadFailed;
  std::int64_t marker_offset = -1;  // -1 until the marker is found
  std::uint32_t stored_checksum = 0;
  std::uint32_t computed_checksum = 0;
  // The certificate table's offset when the file is signed (a table that
  // follows the trailer, see package/signature.h), else -1.
  std::int64_t signature_offset = -1;
};
// One pass over `file` with bounded memory: finds the first marker (also
// one that straddles two reads) and, unless `skip_checksum`, compares the
// checksum of the bytes before it with the stored one. A signed file is
// checked with its signing fields read as zero (package/signature.h).
PackageCheckResult CheckPackageFile(File& file, bool skip_checksum);

// Opens `path`, finds the marker (first occurrence) and checks the stored
// checksum unless `skip_checksum` (CheckPackageFile). Sets MarkerOffset
// when the marker was found and nothing failed to read. kReadFailed also
// when the file cannot be opened. Shows nothing (VerifyPackage in
// install/package_reports.h does).
PackageCheck CheckInstallerFile(const String& path, bool skip_checksum);

// The fields between the header offset and the first file entry.
struct PackageLayout {
  std::int64_t header_offset = 0;        // H, the offset of P
  std::uint32_t packed_header_size = 0;  // P
  std::uint32_t header_size = 0;         // HeaderSize
  std::int32_t file_count = 0;           // FileCount
  std::int64_t first_entry = 0;          // offset of the first file entry
  std::int64_t entries_end = 0;          // offset of the HeaderOffset field
};
// Walks from the marker at `marker_offset` to the first file entry,
// checking every field against the file: a header offset outside the
// package is kBadHeaderOffset; a compressed header that overruns the
// package, or a file count that is negative or larger than the rest could
// hold, is kNoFileCount. On kOk the file is at the first entry. `reason`
// (optional) receives a short explanation of a failure.
PackageWalk ReadPackageLayout(File& file, std::int64_t marker_offset,
                              PackageLayout* layout, String* reason);

// Reads and decodes the header block into `decoded`. False, with
// `reason`, when the layout is bad, a size exceeds kMaxHeaderSize, the
// stream claims more than HeaderSize bytes or cannot be decoded.
bool LoadPackageHeader(File& file, std::int64_t marker_offset,
                       PackageLayout* layout, Vector<std::uint8_t>* decoded,
                       String* reason);

}  // namespace sfx

#endif  // SFX_PACKAGE_CONTAINER_H_
