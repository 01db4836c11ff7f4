// Building texts: joining parts, and numbers in decimal. A chain of '+' on
// String builds and destroys one temporary per step, each with its own
// clean-up code; the installer builds many messages and paths, and joining them
// in one call keeps the program small.
#ifndef SFX_PATHS_CONCAT_H_
#define SFX_PATHS_CONCAT_H_

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/decimal.h"  // DecimalText, used with Concat throughout
#include "base/string.h"

namespace sfx {

// The parts, one after another.
String Concat(std::initializer_list<std::string_view> parts);

}  // namespace sfx

#endif  // SFX_PATHS_CONCAT_H_
