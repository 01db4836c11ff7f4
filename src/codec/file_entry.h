// File entries of the package: the name, the 21-byte entry header, the block
// table and the blocks. ExtractPackedEntry writes one entry into a directory
// (or passes over it) and leaves the package at the next entry; it returns
// what went wrong and shows nothing (install/package_reports.h reports it).
#ifndef SFX_CODEC_FILE_ENTRY_H_
#define SFX_CODEC_FILE_ENTRY_H_

#include <cstdint>

#include "base/string.h"
#include "base/vector.h"
#include "platform/platform.h"

namespace sfx {

constexpr std::uint32_t kFileBlockSize = 65000;  // decoded size of a full block
constexpr std::uint32_t kMaxBlockBufferSize = 130000;  // packed or decoded
constexpr std::size_t kPackedFileHeaderSize = 21;

// Path of the entry the latest call handled: directory + name, or the bare
// name of a skipped entry. Callers clear it after a failed call.
extern String LastExtractedPath;
// After a call that returned kDone: whether it wrote a file where there
// was none (false when it replaced one, kept a newer one or skipped it).
extern bool LastExtractedWasNew;

enum class ExtractStatus {
  kDone,          // written, kept (keep_newer) or skipped
  kCannotCreate,  // the file cannot be created or cannot replace the target
  kBadName,       // the entry's name breaks the name rules
  kCannotRead,    // a read of the package failed or gave nothing
  kCannotWrite,   // the file took fewer bytes than given (a full disk)
  kDamaged,       // a block cannot be decoded, or the sizes disagree
};

class EntrySource;

// Extracts the entry at the package's position into `directory` (empty:
// skip it) and sets LastExtractedPath. With `keep_newer`, an existing file
// newer than the entry stays. The entry is written to a temporary file
// beside the target, given its time stamp, and only then moved over the
// target in one step: whatever the status, a file that existed at the
// target keeps its bytes unless the status is kDone, and the temporary file
// is gone. After kCannotCreate and kBadName the package is at the next
// entry; after the other failures its position is undefined. Shows nothing.
ExtractStatus ExtractPackedEntry(File& package, const String& directory,
                                 bool keep_newer);
// The same with the entry taken from `source`; after a failure other than
// kCannotCreate and kBadName, `source` gives nothing more that is usable.
ExtractStatus ExtractPackedEntry(EntrySource& source, const String& directory,
                                 bool keep_newer);

// The message for a failed extraction of `path` (empty for kDone).
String ExtractFailureMessage(ExtractStatus status, const String& path);

// --- The entry's parts, for sfxtool, tests and the packer. ---

// The 21-byte header that follows an entry's name.
struct TPackedFileHeader {
  std::uint32_t FileSize = 0;   // sum of the decoded block sizes
  std::uint32_t Reserved1 = 0;  // 0
  std::uint32_t BlockCount = 0;
  std::uint32_t Reserved2 = 0;    // arbitrary; written as 0
  std::uint32_t DosDateTime = 0;  // local time: date high, time low
  std::uint8_t Packed = 0;        // nonzero: every block is an LZH stream
};

struct TPackedBlock {
  std::uint32_t BlockSize = 0;
  std::uint32_t BlockOffset = 0;  // absolute offset in the installer file
};

struct PackedFileEntry {
  String name;
  TPackedFileHeader header;
  Vector<TPackedBlock> blocks;
};

// The 21 bytes of `header` as they stand in the package.
void EncodePackedFileHeader(const TPackedFileHeader& header,
                            std::uint8_t out[kPackedFileHeaderSize]);
TPackedFileHeader DecodePackedFileHeader(
    const std::uint8_t bytes[kPackedFileHeaderSize]);

// Reads the name, the entry header and the block table at the package's
// position and leaves it at the first block. False on a short read or a
// block table larger than the rest of the file could hold.
bool ReadPackedFileEntry(File& package, PackedFileEntry* entry);

enum class BlockRead {
  kOk,
  kReadFailed,   // the read failed, gave 0 bytes, or the block is too large
  kBadStream,    // the stream claims more than kMaxBlockBufferSize bytes
  kUndecodable,  // the stream does not decode into kMaxBlockBufferSize bytes
};
// Reads one block of `block_size` bytes into `input` (kMaxBlockBufferSize
// bytes) and, when `packed`, decodes it into `output` (the same size).
// `*data` and `*length` then describe the block's file bytes. A short read
// is accepted.
BlockRead ReadFileBlock(File& package, std::uint32_t block_size, bool packed,
                        std::uint8_t* input, std::uint8_t* output,
                        const std::uint8_t** data, std::uint32_t* length);
// The decoding half of ReadFileBlock: decodes the `got` packed bytes of
// `input` into `output`.
BlockRead DecodeFileBlock(const std::uint8_t* input, std::uint32_t got,
                          std::uint8_t* output, const std::uint8_t** data,
                          std::uint32_t* length);

// Where an extraction takes the entries' parts from, in package order: the
// package read in place (PackageEntrySource) or blocks decoded ahead on
// another thread (codec/decode_ahead.h).
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // The next entry's name, header and block table; false when they cannot
  // be read (ReadPackedFileEntry).
  virtual bool NextEntry(PackedFileEntry* entry) = 0;
  // The entry's next block (`block`, stored or packed) as ReadFileBlock
  // gives it; `*data` stays valid until the next call.
  virtual BlockRead NextBlock(const TPackedBlock& block, bool packed,
                              const std::uint8_t** data,
                              std::uint32_t* length) = 0;
  // Passes over all blocks of the entry just read; false when that fails.
  virtual bool SkipBlocks(const PackedFileEntry& entry) = 0;
};

// The package read in place, one block at a time, through two buffers of
// kMaxBlockBufferSize bytes.
class PackageEntrySource : public EntrySource {
 public:
  explicit PackageEntrySource(File& package) : package_(package) {}
  bool NextEntry(PackedFileEntry* entry) override;
  BlockRead NextBlock(const TPackedBlock& block, bool packed,
                      const std::uint8_t** data,
                      std::uint32_t* length) override;
  bool SkipBlocks(const PackedFileEntry& entry) override;

 private:
  File& package_;
  Vector<std::uint8_t> buffers_;  // input, then output
};

}  // namespace sfx

#endif  // SFX_CODEC_FILE_ENTRY_H_
