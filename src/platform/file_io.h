// Whole reads through the platform's File (the little-endian loads and
// stores of the package's numbers are in base/bytes.h). Every reader of the
// installer file (the integrity check, the walk to the file entries, the
// entries themselves) goes through these, so a short read means the same thing
// everywhere.
#ifndef SFX_PLATFORM_FILE_IO_H_
#define SFX_PLATFORM_FILE_IO_H_

#include <cstdint>

#include "base/bytes.h"
#include "platform/platform.h"

namespace sfx {

// Reads up to `n` bytes, repeating short reads; `*got` receives the count,
// less than `n` only at the end of the file. False when a read fails.
bool ReadFull(File& file, void* buffer, std::uint32_t n, std::uint32_t* got);

// Reads exactly `n` bytes; false when a read fails or the file ends first.
bool ReadExact(File& file, void* buffer, std::uint32_t n);

// Reads a little-endian 32-bit value; false as ReadExact.
bool ReadUint32(File& file, std::uint32_t* value);

}  // namespace sfx

#endif  // SFX_PLATFORM_FILE_IO_H_
