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

// `value` with exactly one digit after ".", no leading blanks and no
// grouping. The value is first written out to 18 significant decimal digits
// (correctly rounded), and that expansion is rounded to a tenth with halves
// away from zero: 1.25 gives "1.3", 0.15 (stored as 0.1499999...) "0.1".
// A negative value that rounds to zero gives "0.0". NaN and infinities give
// "NAN", "INF" and "-INF".
String FormatOneDecimal(double value);

}  // namespace sfx

#endif  // SFX_UI_FORMAT_H_
