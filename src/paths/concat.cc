// Joining texts in one allocation.
#include "paths/concat.h"

namespace sfx {

String Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  String text;
  text.reserve(size);
  for (std::string_view part : parts) text.append(part.data(), part.size());
  return text;
}

}  // namespace sfx
