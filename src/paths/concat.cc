// Joining texts in one allocation.
#include "paths/concat.h"

namespace sfx {

String Concat(std::initializer_list<TextPart> parts) {
  std::size_t size = 0;
  for (const TextPart& part : parts) size += part.size();
  String text;
  text.reserve(size);
  for (const TextPart& part : parts) text.append(part.data(), part.size());
  return text;
}

}  // namespace sfx
