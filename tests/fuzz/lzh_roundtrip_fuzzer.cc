// Encoder property: every input encodes, at either level, to a stream that
// decodes back to exactly the input, through the memory path and the
// callback path.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/lzh_decoder.h"
#include "codec/lzh_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size > (1u << 18)) return 0;
  // The last byte picks the level, so that the corpus reaches both, and
  // whether the input is repeated past 16 KB, below which the fast level
  // parses as the best level does.
  const sfx::LzhLevel level = size > 0 && (data[size - 1] & 1)
                                  ? sfx::LzhLevel::kFast
                                  : sfx::LzhLevel::kBest;
  std::vector<std::uint8_t> repeated;
  if (size > 0 && (data[size - 1] & 2)) {
    while (repeated.size() <= 16384) {
      repeated.insert(repeated.end(), data, data + size);
    }
    data = repeated.data();
    size = repeated.size();
  }
  const std::vector<std::uint8_t> stream =
      sfx::LzhEncodeBuffer(data, size, level);
  std::vector<std::uint8_t> back(size + 1);
  std::int32_t produced = -1;
  const bool decoded =
      sfx::LzhDecodeBuffer(
          stream.data(), static_cast<std::uint32_t>(stream.size()), back.data(),
          static_cast<std::uint32_t>(size), &produced)
          .ok();
  if (!decoded || produced != static_cast<std::int32_t>(size) ||
      (size > 0 && std::memcmp(back.data(), data, size) != 0)) {
    std::abort();
  }
  std::vector<std::uint8_t> slow;
  std::size_t pos = 0;
  sfx::LzhDecode(
      [&](std::uint8_t* buffer, std::uint16_t requested,
          std::uint16_t& delivered) {
        std::size_t n =
            stream.size() - pos < requested ? stream.size() - pos : requested;
        std::memcpy(buffer, stream.data() + pos, n);
        pos += n;
        delivered = static_cast<std::uint16_t>(n);
      },
      [&](const std::uint8_t* buffer, std::uint16_t count,
          std::uint16_t& written) {
        slow.insert(slow.end(), buffer, buffer + count);
        written = count;
      });
  if (slow.size() != size ||
      (size > 0 && std::memcmp(slow.data(), data, size) != 0)) {
    std::abort();
  }
  return 0;
}
