// 64-bit quotient and remainder in one routine. On the 32-bit installer
// each kind of 64-bit division (signed or not, quotient, remainder or
// both) links its own runtime helper of a few hundred bytes; code that
// divides 64-bit numbers goes through this one instead.
#ifndef SFX_BASE_DIVIDE_H_
#define SFX_BASE_DIVIDE_H_

#include <cstdint>

namespace sfx {

struct Division64 {
  std::uint64_t quotient;
  std::uint64_t remainder;
};

// n / d and n % d; d must not be 0.
Division64 DivideUint64(std::uint64_t n, std::uint64_t d);

// The magnitude of n, exact for the most negative value too.
inline std::uint64_t Magnitude(std::int64_t n) {
  return n < 0 ? 0 - static_cast<std::uint64_t>(n)
               : static_cast<std::uint64_t>(n);
}

}  // namespace sfx

#endif  // SFX_BASE_DIVIDE_H_
