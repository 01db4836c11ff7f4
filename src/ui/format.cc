// Integer and one-decimal number texts. FormatOneDecimal works on the exact
// binary value of the double: it expands it to a decimal digit string by
// doubling (or multiplying by five) digit by digit, rounds that to 18
// significant digits and then to one decimal. It reads the double's fields
// from its bits, so that no maths library is needed. This keeps the result
// independent of the C library's printf and locale and small enough for
// the installer.
#include "ui/format.h"

#include <cstring>

#include "base/decimal.h"

namespace sfx {

namespace {

constexpr int kSignificantDigits = 18;

// Multiplies the decimal digit string `digits` by `factor` (2 or 5),
// `count` times, digit by digit from the end.
void MultiplyDigits(String* digits, int factor, int count) {
  for (; count > 0; --count) {
    int carry = 0;
    for (std::size_t i = digits->size(); i-- > 0;) {
      const int product = ((*digits)[i] - '0') * factor + carry;
      (*digits)[i] = static_cast<char>('0' + product % 10);
      carry = product / 10;
    }
    if (carry != 0) digits->insert(0, 1, static_cast<char>('0' + carry));
  }
}

// Adds one unit in the last place of a digit string; returns false when the
// carry ran out of the front (the string was all nines and is now zeros).
bool IncrementDigits(String& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return true;
    }
    digits[i] = '0';
  }
  return false;
}

// A finite value's magnitude, from the IEEE 754 fields of its bits (biased
// exponent and 52-bit fraction), as digits * 10^-scale, exactly.
void ExactDecimal(int biased_exponent, std::uint64_t fraction, String* digits,
                  int* scale) {
  // magnitude = mantissa * 2^binary_exponent, with the implicit leading bit
  // of a normal number; a subnormal one has the smallest exponent.
  std::uint64_t mantissa = fraction;
  if (biased_exponent != 0) {
    mantissa |= std::uint64_t{1} << 52;
  } else {
    biased_exponent = 1;
  }
  int binary_exponent = biased_exponent - 1075;
  // The mantissa has at most 16 digits, and each doubling or multiplying
  // by five stays exact in decimal.
  *digits = DecimalText(static_cast<std::int64_t>(mantissa));
  if (binary_exponent >= 0) {
    MultiplyDigits(digits, 2, binary_exponent);
    *scale = 0;
  } else {
    // m * 2^-k = m * 5^k / 10^k.
    MultiplyDigits(digits, 5, -binary_exponent);
    *scale = -binary_exponent;
  }
}

// Rounds digits * 10^-scale to at most 18 significant digits, halves to
// even (the rounding of a correct binary-to-decimal conversion).
void RoundToSignificant(String* digits, int* scale) {
  if (digits->size() <= static_cast<std::size_t>(kSignificantDigits)) return;
  std::size_t drop = digits->size() - kSignificantDigits;
  char first_dropped = (*digits)[kSignificantDigits];
  bool rest_nonzero =
      digits->find_first_not_of('0', kSignificantDigits + 1) != String::npos;
  digits->resize(kSignificantDigits);
  *scale -= static_cast<int>(drop);
  bool round_up = first_dropped > '5' ||
                  (first_dropped == '5' &&
                   (rest_nonzero || ((digits->back() - '0') % 2 == 1)));
  if (round_up && !IncrementDigits(*digits)) {
    digits->insert(digits->begin(), '1');
    digits->pop_back();
    *scale -= 1;
  }
}

}  // namespace

String FormatInteger(std::int32_t value) { return DecimalText(value); }

String FormatOneDecimal(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>(bits >> 52) & 0x7FF;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased_exponent == 0x7FF) {
    if (fraction != 0) return "NAN";
    return negative ? "-INF" : "INF";
  }
  String digits = "0";
  int scale = 0;
  if (biased_exponent != 0 || fraction != 0) {
    ExactDecimal(biased_exponent, fraction, &digits, &scale);
    RoundToSignificant(&digits, &scale);
  }
  // Now value = digits * 10^-scale; bring it to exactly one decimal.
  if (scale <= 1) {
    digits.append(static_cast<std::size_t>(1 - scale), '0');
  } else {
    std::size_t drop = static_cast<std::size_t>(scale - 1);
    if (digits.size() < drop + 1) {
      digits.insert(0, drop + 1 - digits.size(), '0');
    }
    bool round_up = digits[digits.size() - drop] >= '5';  // halves away
    digits.resize(digits.size() - drop);
    if (round_up && !IncrementDigits(digits)) digits.insert(0, "1");
  }
  // digits now holds the value in tenths.
  if (digits.size() < 2) digits.insert(0, "0");
  std::size_t first = digits.find_first_not_of('0');
  bool zero = first == String::npos;
  std::size_t integer_start =
      zero || first >= digits.size() - 1 ? digits.size() - 2 : first;
  String text = negative && !zero ? "-" : "";
  text.append(digits, integer_start, digits.size() - 1 - integer_start);
  text += '.';
  text += digits.back();
  return text;
}

}  // namespace sfx
