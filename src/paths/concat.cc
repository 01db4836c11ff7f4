// Joining texts in one allocation; decimal numbers without the standard
// library's formatting machinery.
#include "paths/concat.h"

#include "platform/divide.h"

namespace sfx {

String Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  String text;
  text.reserve(size);
  for (std::string_view part : parts) text.append(part.data(), part.size());
  return text;
}

String DecimalText(std::int64_t n) {
  char digits[24];
  char* p = digits + sizeof digits;
  std::uint64_t rest = Magnitude(n);
  do {
    const Division64 step = DivideUint64(rest, 10);
    *--p = static_cast<char>('0' + step.remainder);
    rest = step.quotient;
  } while (rest != 0);
  if (n < 0) *--p = '-';
  return String(p, digits + sizeof digits);
}

}  // namespace sfx
