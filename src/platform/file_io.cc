// Whole reads through sfx::File; see file_io.h.
#include "platform/file_io.h"

namespace sfx {

bool ReadFull(File& file, void* buffer, std::uint32_t n, std::uint32_t* got) {
  std::uint8_t* out = static_cast<std::uint8_t*>(buffer);
  *got = 0;
  while (*got < n) {
    std::uint32_t r = 0;
    if (!file.Read(out + *got, n - *got, &r)) return false;
    if (r == 0) break;
    *got += r;
  }
  return true;
}

bool ReadExact(File& file, void* buffer, std::uint32_t n) {
  std::uint32_t got = 0;
  return ReadFull(file, buffer, n, &got) && got == n;
}

bool ReadUint32(File& file, std::uint32_t* value) {
  std::uint8_t bytes[4];
  if (!ReadExact(file, bytes, 4)) return false;
  *value = LoadUint32(bytes);
  return true;
}

}  // namespace sfx
