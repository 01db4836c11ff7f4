// A VERSIONINFO resource is a tree of nodes, each: wLength (the node with
// its children), wValueLength, wType (1 text, 0 binary), a NUL-terminated
// UTF-16 key, padding to 4 bytes, the value, padding, then the children.
// Every length is checked against its parent before it is followed.
#include "install/version_info.h"

namespace sfx {
namespace {

std::uint32_t Get16(const Vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
}

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Searches the node at [at, end) and its children for a text node named
// `key`; true with `*value` set when found.
bool Find(const Vector<std::uint8_t>& b, std::size_t at, std::size_t end,
          const char* key, int depth, String* value) {
  if (depth > 4 || at > end || end - at < 6) return false;
  const std::size_t length = Get16(b, at);
  if (length < 6 || length > end - at) return false;
  const std::size_t node_end = at + length;
  const std::size_t value_length = Get16(b, at + 2);
  const bool text = Get16(b, at + 4) == 1;
  // The key, compared as it is read; `i` stops at the end of `key`.
  std::size_t p = at + 6;
  bool same = true;
  std::size_t i = 0;
  for (;; p += 2) {
    if (p + 2 > node_end) return false;
    const std::uint32_t c = Get16(b, p);
    if (c == 0) {
      same = same && key[i] == '\0';
      p += 2;
      break;
    }
    if (key[i] == '\0' || c != static_cast<unsigned char>(key[i])) {
      same = false;
    } else {
      ++i;
    }
  }
  p = Align4(p);
  const std::size_t value_bytes = text ? 2 * value_length : value_length;
  if (p > node_end || value_bytes > node_end - p) return false;
  if (same && text) {
    value->clear();
    for (std::size_t k = 0; k < value_length; ++k) {
      const std::uint32_t c = Get16(b, p + 2 * k);
      if (c == 0) break;
      value->push_back(
          c < 0x100 && (c < 0x80 || c >= 0xA0) ? static_cast<char>(c) : '?');
    }
    return true;
  }
  for (std::size_t child = Align4(p + value_bytes); child < node_end;) {
    if (node_end - child < 6) break;
    const std::size_t child_length = Get16(b, child);
    if (child_length == 0) break;
    if (Find(b, child, node_end, key, depth + 1, value)) return true;
    child = Align4(child + child_length);
  }
  return false;
}

}  // namespace

String VersionString(const Vector<std::uint8_t>& resource, const char* key) {
  String value;
  if (!Find(resource, 0, resource.size(), key, 0, &value)) return {};
  return value;
}

}  // namespace sfx
