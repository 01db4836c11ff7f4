// Decimal text of integers, without the standard library's formatting
// machinery (and, in the installer, with one 64-bit division routine).
#ifndef SFX_BASE_DECIMAL_H_
#define SFX_BASE_DECIMAL_H_

#include <cstdint>

#include "base/string.h"

namespace sfx {

// "-1234" style: a minus sign for negative numbers, no grouping.
String DecimalText(std::int64_t n);

// The same with `separator` between groups of three digits, counted from
// the right: "12,345,678".
String GroupedDecimalText(std::int64_t n, const String& separator);

}  // namespace sfx

#endif  // SFX_BASE_DECIMAL_H_
