// The size block itself: length byte 22, the tag "RealFileSize=", the
// expected file length twice and the skip-checksum flag. Before a package
// builder fills it, both lengths are 0 (no size sentence in the corruption
// message) and the checksum is verified. The tag must occur once in the
// program file, so it exists only here, spelled out byte by byte.
#include "app/stub_size_block.h"

#include <cstdint>

extern "C" {
__attribute__((
    used)) volatile const unsigned char StubSizeBlock[sfx::kStubSizeBlockSize] =
    {22,  'R', 'e', 'a', 'l', 'F', 'i', 'l', 'e', 'S', 'i', 'z',
     'e', '=', 0,   0,   0,   0,   0,   0,   0,   0,   0};
}

namespace sfx {

StubSizeValues ReadStubSizeBlock() {
  std::uint8_t copy[kStubSizeBlockSize];
  for (std::size_t i = 0; i < kStubSizeBlockSize; ++i)
    copy[i] = StubSizeBlock[i];
  return ParseStubSizeBlock(copy);
}

}  // namespace sfx
