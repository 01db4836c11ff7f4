// Building texts: joining parts, and numbers in decimal. A chain of '+' on
// String builds and destroys one temporary per step, each with its own
// clean-up code; the installer builds many messages and paths, and joining them
// in one call keeps the program small.
#ifndef SFX_PATHS_CONCAT_H_
#define SFX_PATHS_CONCAT_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/decimal.h"  // DecimalText, used with Concat throughout
#include "base/string.h"

namespace sfx {

// One part of a Concat. A literal's length comes from its type, so a call
// site stores two constants for it instead of calling a length routine,
// as a std::string_view made from the pointer would (one call per literal
// and call site, some 70 in the installer). A character buffer, whose
// text may end before its size, is passed as a std::string_view.
class TextPart {
 public:
  template <std::size_t N>
  constexpr TextPart(const char (&literal)[N])  // NOLINT: implicit
      : data_(literal), size_(N - 1) {}
  template <std::size_t N>
  TextPart(char (&buffer)[N]) = delete;
  constexpr TextPart(std::string_view view)  // NOLINT: implicit
      : data_(view.data()), size_(view.size()) {}
  TextPart(const String& text)  // NOLINT: implicit
      : data_(text.data()), size_(text.size()) {}

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const char* data_;
  std::size_t size_;
};

// The parts, one after another.
String Concat(std::initializer_list<TextPart> parts);

}  // namespace sfx

#endif  // SFX_PATHS_CONCAT_H_
