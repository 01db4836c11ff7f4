// Hash chains over the window (lzh_match_finder.h). Positions are offsets in
// a copy of the data behind 4096 spaces; each chain links, newest first, the
// positions whose next three bytes hash alike. Only the last 4096 positions
// matter, so the links live in a ring indexed by position & 4095.
#include "codec/lzh_match_finder.h"

#include <cstring>

#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

namespace {
constexpr int kHashBits = 15;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Length of the common prefix of `a` and `b`, at most `limit`; compares
// eight bytes at a time and may read up to 7 bytes past `b + limit`, which
// the slack behind the data allows.
int MatchLength(const std::uint8_t* a, const std::uint8_t* b, int limit) {
  int length = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (length < limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    const std::uint64_t diff = x ^ y;
    if (diff != 0) {
      length += __builtin_ctzll(diff) >> 3;  // little-endian: first byte
      return length < limit ? length : limit;
    }
    length += 8;
  }
  return limit;
#else
  while (length < limit && a[length] == b[length]) ++length;
  return length;
#endif
}
}  // namespace

LzhMatchFinder::LzhMatchFinder(const std::uint8_t* data, std::size_t size,
                               int max_chain)
    : padded_(kRingSize + size + 8, kRingFill),
      end_(kRingSize + size),
      max_chain_(max_chain),
      head_(std::size_t{1} << kHashBits, kNone),
      prev_(kRingSize, kNone) {
  if (size > 0) std::memcpy(padded_.data() + kRingSize, data, size);
  // Match lengths stop at end_; the slack only keeps the reads in bounds.
  for (std::size_t v = 0; v < kRingSize; ++v) Insert(v);
}

std::uint32_t LzhMatchFinder::Hash(std::size_t v) const {
  const std::uint8_t* p = &padded_[v];
  const std::uint32_t key = static_cast<std::uint32_t>(p[0]) << 16 |
                            static_cast<std::uint32_t>(p[1]) << 8 | p[2];
  return (key * 2654435761u) >> (32 - kHashBits);
}

void LzhMatchFinder::Insert(std::size_t v) {
  if (v + kMinMatch > end_) return;
  const std::uint32_t h = Hash(v);
  prev_[v & kRingMask] = head_[h];
  head_[h] = static_cast<std::uint32_t>(v);
}

void LzhMatchFinder::Skip(std::size_t pos) { Insert(pos + kRingSize); }

int LzhMatchFinder::Find(std::size_t pos, int max_length,
                         std::vector<MatchCandidate>* out) {
  const std::size_t v = pos + kRingSize;
  std::size_t available = end_ - v;
  int limit = max_length;
  if (available < static_cast<std::size_t>(limit))
    limit = static_cast<int>(available);
  int best = kMinMatch - 1;
  if (limit >= kMinMatch) {
    const std::uint8_t* here = &padded_[v];
    std::uint32_t candidate = head_[Hash(v)];
    for (int chain = max_chain_; chain > 0 && candidate != kNone; --chain) {
      if (v - candidate > static_cast<std::size_t>(kRingSize)) break;
      const std::uint8_t* there = &padded_[candidate];
      if (there[best] == here[best]) {
        const int length = MatchLength(there, here, limit);
        if (length > best) {
          best = length;
          out->push_back({length, static_cast<int>(v - candidate)});
          if (length == limit) break;
        }
      }
      const std::uint32_t next = prev_[candidate & kRingMask];
      if (next == kNone || next >= candidate) break;
      candidate = next;
    }
  }
  Insert(v);
  return best >= kMinMatch ? best : 0;
}

}  // namespace lzh
}  // namespace sfx
