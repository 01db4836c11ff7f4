// The LZH encoder (packer side only; never part of the installer program):
// produces streams that LzhDecodeBuffer decodes back to the input.
#ifndef SFX_CODEC_LZH_ENCODER_H_
#define SFX_CODEC_LZH_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sfx {

// How hard the encoder works (docs/lzh-format.md lists measured figures).
enum class LzhLevel {
  kFast,  // lazy parse, short match search (streams of a few KB as kBest)
  kBest,  // long match search, prices refreshed as the tree adapts
};

// Reads a level's name ("fast" or "best") into `level`; false for any
// other text.
bool ParseLzhLevel(const std::string& name, LzhLevel* level);

// Encodes `size` bytes (0 to 2^31 - 1) into one complete stream: the 4-byte
// little-endian length followed by the bit stream. Raises std::length_error
// for a longer input. Works on a private copy of the input, so it needs
// about twice the input's size in memory besides the stream.
std::vector<std::uint8_t> LzhEncodeBuffer(const std::uint8_t* data,
                                          std::size_t size,
                                          LzhLevel level = LzhLevel::kBest);

}  // namespace sfx

#endif  // SFX_CODEC_LZH_ENCODER_H_
