// Integer and one-decimal number texts, in integer arithmetic only: the
// installer has no maths library and no printf.
#include "ui/format.h"

#include "base/decimal.h"

namespace sfx {

String FormatInteger(std::int32_t value) { return DecimalText(value); }

String FormatOneDecimal(std::uint64_t numerator, unsigned shift) {
  std::uint64_t whole = numerator >> shift;
  const std::uint64_t part = numerator - (whole << shift);  // below 2^shift
  // The fraction in tenths, rounded: 0 to 10. part * 10 stays below 2^63.
  const std::uint64_t half = (std::uint64_t{1} << shift) >> 1;
  unsigned tenths = static_cast<unsigned>((part * 10 + half) >> shift);
  if (tenths == 10) {
    ++whole;
    tenths = 0;
  }
  String text = DecimalText(static_cast<std::int64_t>(whole));
  text += '.';
  text += static_cast<char>('0' + tenths);
  return text;
}

}  // namespace sfx
