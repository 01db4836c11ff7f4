#include "base/decimal.h"

#include "base/divide.h"

namespace sfx {

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
  return String(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

String GroupedDecimalText(std::int64_t n, const String& separator) {
  const String digits = DecimalText(n);
  const std::size_t sign = n < 0 ? 1 : 0;
  String text = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) text += separator;
    text += digits[i];
  }
  return text;
}

}  // namespace sfx
