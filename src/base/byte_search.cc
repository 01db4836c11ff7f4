#include "base/byte_search.h"

#include <cstring>

namespace sfx {

std::int64_t FindBytes(const std::uint8_t* data, std::size_t size,
                       const std::uint8_t* pattern, std::size_t pattern_size,
                       std::size_t from) {
  if (pattern_size == 0 || size < pattern_size) return -1;
  const std::size_t last = size - pattern_size;
  std::size_t i = from;
  while (i <= last) {
    const void* hit = std::memchr(data + i, pattern[0], last - i + 1);
    if (!hit) return -1;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (std::memcmp(data + i, pattern, pattern_size) == 0) {
      return static_cast<std::int64_t>(i);
    }
    ++i;
  }
  return -1;
}

std::int64_t StreamSearch::Feed(const std::uint8_t* data, std::size_t n) {
  if (found_ >= 0 || n == 0) return found_;
  const std::size_t keep = size_ - 1;
  // A match across the seam: the kept tail followed by the head of `data`;
  // only one that starts in the tail counts here.
  if (tail_size_ > 0) {
    std::uint8_t seam[2 * (kMaxPattern - 1)];
    const std::size_t head = n < keep ? n : keep;
    std::memcpy(seam, tail_, tail_size_);
    std::memcpy(seam + tail_size_, data, head);
    const std::int64_t at = FindBytes(seam, tail_size_ + head, pattern_, size_);
    if (at >= 0 && static_cast<std::size_t>(at) < tail_size_) {
      found_ = fed_ - static_cast<std::int64_t>(tail_size_) + at;
      return found_;
    }
  }
  const std::int64_t at = FindBytes(data, n, pattern_, size_);
  if (at >= 0) {
    found_ = fed_ + at;
    return found_;
  }
  // Keep the last `keep` bytes of the tail followed by `data`.
  if (n >= keep) {
    std::memcpy(tail_, data + n - keep, keep);
    tail_size_ = keep;
  } else {
    const std::size_t from_tail = tail_size_ + n > keep ? keep - n : tail_size_;
    std::memmove(tail_, tail_ + tail_size_ - from_tail, from_tail);
    std::memcpy(tail_ + from_tail, data, n);
    tail_size_ = from_tail + n;
  }
  fed_ += static_cast<std::int64_t>(n);
  return found_;
}

}  // namespace sfx
