// The installer file's layout: program image, header block, file count, file
// entries, header offset, the 16-byte marker and the stored checksum. Holds
// the integrity check and the readers that get from the trailer to the
// header and to the first file entry.
#ifndef SFX_PACKAGE_CONTAINER_H_
#define SFX_PACKAGE_CONTAINER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Full path of the running installer file.
extern std::string ExePath;
// File offset of the trailer marker, set by VerifyPackage.
extern std::int32_t MarkerOffset;

constexpr std::uint32_t kChecksumBlockSize = 65000;
constexpr std::uint32_t kMaxChecksumBlocks = 16001;
constexpr char kMarkerHalf[] = "File CRC";  // the marker is this text twice
constexpr std::size_t kMarkerSize = 16;

// The 23-byte block in the program's data that the packer fills: length
// byte 22, the tag "RealFileSize=", ExpectedSize twice, SkipChecksum.
constexpr std::size_t kStubSizeBlockSize = 23;
constexpr char kStubSizeTag[] = "RealFileSize=";
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

// Finds the marker (first occurrence) and checks the stored checksum unless
// `skip_checksum`. Sets MarkerOffset when the marker was found. Shows
// "Cannot open <path> file." when the file cannot be opened or read.
bool VerifyPackage(const std::string& path, bool skip_checksum);

// Reads and decodes the header block into `record`. On any failure shows
// its message and ends the process with exit code 1.
void ReadPackageHeader(TInstalRecord& record);

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

}  // namespace sfx

#endif  // SFX_PACKAGE_CONTAINER_H_
