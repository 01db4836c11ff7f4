// Decoder property: any input decodes without a crash, never writes past the
// target, produces at least the declared length unless it raises
// a failure, and the callback path agrees with the memory path.
//
// Input: the stream itself. Its declared length picks the target size: up
// to kCap bytes, plus 0..63 spare bytes taken from the input's last byte,
// so that both the refused and the accepted ends of a last match get hit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/lzh_decoder.h"

namespace {

constexpr std::uint32_t kCap = 1 << 17;  // about a package block buffer

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::uint8_t> DecodeWithCallbacks(const std::uint8_t* data,
                                              std::size_t size,
                                              std::size_t limit) {
  std::vector<std::uint8_t> out;
  std::size_t pos = 0;
  sfx::LzhDecode(
      [&](std::uint8_t* buffer, std::uint16_t requested,
          std::uint16_t& delivered) {
        std::size_t n = size - pos < requested ? size - pos : requested;
        if (n > 0) std::memcpy(buffer, data + pos, n);
        pos += n;
        delivered = static_cast<std::uint16_t>(n);
      },
      [&](const std::uint8_t* buffer, std::uint16_t count,
          std::uint16_t& written) {
        written = 0;
        while (written < count && out.size() < limit) {
          out.push_back(buffer[written++]);
        }
      });
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size > (1u << 20)) return 0;
  std::int32_t declared = 0;
  if (size >= 4) std::memcpy(&declared, data, 4);  // little-endian host
  std::uint32_t capacity = kCap;
  if (declared > 0 && static_cast<std::uint32_t>(declared) < kCap) {
    capacity = static_cast<std::uint32_t>(declared) +
               (size > 0 ? data[size - 1] % 64u : 0);
  }
  // Exactly `capacity` bytes, so that AddressSanitizer sees any overrun.
  std::unique_ptr<std::uint8_t[]> target(new std::uint8_t[capacity]);
  std::int32_t produced = -1;
  const bool refused =
      !sfx::LzhDecodeBuffer(data, static_cast<std::uint32_t>(size),
                            target.get(), capacity, &produced)
           .ok();
  if (size < 4 || declared <= 0) {
    Check(!refused && produced == 0);
    return 0;
  }
  if (static_cast<std::uint32_t>(declared) > capacity) {
    Check(refused);
    return 0;
  }
  if (refused) {
    // Only a last match that runs past the target may be refused.
    Check(static_cast<std::uint32_t>(declared) + 59 > capacity);
    return 0;
  }
  Check(produced >= declared && produced < declared + 60);
  Check(static_cast<std::uint32_t>(produced) <= capacity);
  if (declared <= 16384) {
    const std::vector<std::uint8_t> slow =
        DecodeWithCallbacks(data, size, capacity);
    Check(slow.size() == static_cast<std::size_t>(produced) &&
          std::memcmp(slow.data(), target.get(), slow.size()) == 0);
  }
  return 0;
}
