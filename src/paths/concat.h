// Building texts: joining parts, and numbers in decimal. A chain of '+' on
// std::string builds and destroys one temporary per step, each with its own
// clean-up code; the installer builds many messages and paths, and joining them
// in one call keeps the program small.
#ifndef SFX_PATHS_CONCAT_H_
#define SFX_PATHS_CONCAT_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace sfx {

// The parts, one after another.
std::string Concat(std::initializer_list<std::string_view> parts);

// `n` in decimal, with a leading '-' when negative.
std::string DecimalText(std::int64_t n);

}  // namespace sfx

#endif  // SFX_PATHS_CONCAT_H_
