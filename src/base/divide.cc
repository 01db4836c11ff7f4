// The one 64-bit division routine (see divide.h). The compiler's own 64-bit
// division is a runtime helper several times this size; shifting and
// subtracting one bit at a time is plenty for the few divisions the
// programs make (number texts, progress, the entries' room).
#include "base/divide.h"

namespace sfx {

Division64 DivideUint64(std::uint64_t n, std::uint64_t d) {
  if ((n >> 32) == 0 && (d >> 32) == 0) {
    const auto n32 = static_cast<std::uint32_t>(n);
    const auto d32 = static_cast<std::uint32_t>(d);
    return {n32 / d32, n32 % d32};
  }
  // n's bits move into the remainder from the top while the quotient's bits
  // fill n from the bottom.
  std::uint64_t remainder = 0;
  for (int bit = 0; bit < 64; ++bit) {
    const bool carry = (remainder >> 63) != 0;
    remainder = (remainder << 1) | (n >> 63);
    n <<= 1;
    if (carry || remainder >= d) {
      remainder -= d;
      n |= 1;
    }
  }
  return {n, remainder};
}

}  // namespace sfx
