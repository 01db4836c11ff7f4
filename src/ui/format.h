// Number texts painted by the installer window: plain integers and
// one-decimal figures. Both use "." and no digit grouping whatever the
// user's locale, and neither touches printf or the C locale.
#ifndef SFX_UI_FORMAT_H_
#define SFX_UI_FORMAT_H_

#include <cstdint>

#include "base/string.h"

namespace sfx {

// Decimal digits of `value`, with a leading "-" when it is negative.
String FormatInteger(std::int32_t value);

// The value `numerator` / 2^`shift` (shift <= 59) with exactly one digit
// after ".", no leading blanks and no grouping, rounded to the nearest tenth
// with halves going up: 5 / 2^2 = 1.25 gives "1.3".
//
// The window only shows byte counts in KB, MB and GB, so every value it
// formats is such a quotient, and one whose decimal expansion ends within
// `shift` places. Rounding that expansion to 18 significant digits first (as
// a formatter of real numbers would) changes no tenth below 10^17 / 2^shift
// (over 10^7 GB), so the exact rounding here gives the same texts.
String FormatOneDecimal(std::uint64_t numerator, unsigned shift);

}  // namespace sfx

#endif  // SFX_UI_FORMAT_H_
