// Whole reads through the platform's File and the little-endian 32-bit
// loads and stores of the package's numbers. Every reader of the installer
// file (the integrity check, the walk to the file entries, the entries
// themselves) goes through these, so a short read means the same thing
// everywhere.
#ifndef SFX_PLATFORM_FILE_IO_H_
#define SFX_PLATFORM_FILE_IO_H_

#include <cstdint>

#include "platform/platform.h"

namespace sfx {

// Reads up to `n` bytes, repeating short reads; `*got` receives the count,
// less than `n` only at the end of the file. False when a read fails.
bool ReadFull(File& file, void* buffer, std::uint32_t n, std::uint32_t* got);

// Reads exactly `n` bytes; false when a read fails or the file ends first.
bool ReadExact(File& file, void* buffer, std::uint32_t n);

// Reads a little-endian 32-bit value; false as ReadExact.
bool ReadUint32(File& file, std::uint32_t* value);

// The little-endian 32-bit value at `p`.
inline std::uint32_t LoadUint32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

// The same read as a signed value (two's complement).
inline std::int32_t LoadInt32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(LoadUint32(p));
}

// Stores `value` at `p` as 4 little-endian bytes.
inline void StoreUint32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace sfx

#endif  // SFX_PLATFORM_FILE_IO_H_
