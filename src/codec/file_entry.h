// File entries of the package: the name, the 21-byte entry header, the block
// table and the blocks. ExtractPackedFile writes one entry into a directory
// (or passes over it) and leaves the package at the next entry.
#ifndef SFX_CODEC_FILE_ENTRY_H_
#define SFX_CODEC_FILE_ENTRY_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace sfx {

constexpr std::uint32_t kFileBlockSize = 65000;     // decoded size of a full block
constexpr std::uint32_t kMaxBlockBufferSize = 130000;  // packed or decoded
constexpr std::size_t kPackedFileHeaderSize = 21;

// Path of the entry the latest call handled: directory + name, or the bare
// name of a skipped entry. Callers clear it after a failed call.
extern std::string LastExtractedPath;

// Extracts the entry at the package's position into `directory` (empty:
// skip it). With `keep_newer`, an existing file newer than the entry stays.
// Returns false when the target file cannot be created (after the "Cannot
// create ..." box); the package is then at the next entry. Raises
// EInOutError after "Cannot read the data block." / "Cannot write the data
// block." or when a block cannot be decoded.
bool ExtractPackedFile(File& package, const std::string& directory,
                       bool keep_newer);

}  // namespace sfx

#endif  // SFX_CODEC_FILE_ENTRY_H_
