// The one 64-bit division routine (see divide.h).
#include "base/divide.h"

namespace sfx {

Division64 DivideUint64(std::uint64_t n, std::uint64_t d) {
  return {n / d, n % d};
}

}  // namespace sfx
