// Joining texts in one allocation; decimal numbers without the standard
// library's formatting machinery.
#include "paths/concat.h"

namespace sfx {

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string text;
  text.reserve(size);
  for (std::string_view part : parts) text.append(part.data(), part.size());
  return text;
}

std::string DecimalText(std::int64_t n) {
  char digits[24];
  char* p = digits + sizeof digits;
  // Digit by digit from the right; the magnitude is never formed, so the
  // most negative value needs no special case.
  std::int64_t rest = n;
  do {
    const int digit = static_cast<int>(rest % 10);
    *--p = static_cast<char>('0' + (digit < 0 ? -digit : digit));
    rest /= 10;
  } while (rest != 0);
  if (n < 0) *--p = '-';
  return std::string(p, digits + sizeof digits);
}

}  // namespace sfx
