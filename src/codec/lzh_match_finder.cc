// Match finders over the window (lzh_match_finder.h). Positions are
// offsets in a copy of the data behind 4096 spaces. Positions whose next
// three bytes hash alike form a binary tree (LzhMatchFinder) or a chain,
// newest first (LzhChainFinder). Only the last 4096 positions matter, so
// the links live in rings indexed by the position.
#include "codec/lzh_match_finder.h"

#include <algorithm>
#include <cstring>

#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

namespace {
constexpr int kHashBits = 15;
// When the chain finder's walk down a four-byte chain stops at its limit
// with a match of kExtendFrom bytes or more, it walks up to kExtraChain
// positions of the eight-byte chain as well; and first, when that match
// is shorter than kLongChainBelow, the four-byte chain on to kLongChain
// positions in all. The longer four-byte walk: 9 instead of 20 of the
// bench corpus's 308 blocks larger than jLHA's, 3 instead of 7 of 600
// files of 2-32 KB, for about 2% more time.
constexpr int kExtendFrom = 4;
constexpr int kExtraChain = 1024;
constexpr int kLongChainBelow = 8;
constexpr int kLongChain = 128;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// Tree nodes live in slots indexed by position; a slot is reused only
// after 2 * 4096 positions, when its node is out of the window for good.
constexpr std::size_t kTreeSlots = 2 * kRingSize;
constexpr std::size_t kTreeMask = kTreeSlots - 1;

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
// Hash of the four bytes at p.
std::uint32_t Hash4Of(const std::uint8_t* p) {
  std::uint32_t key;
  std::memcpy(&key, p, 4);
  return (key * 2654435761u) >> (32 - kHashBits);
}

// Hash of the eight bytes at p.
std::uint32_t Hash8Of(const std::uint8_t* p) {
  std::uint64_t key;
  std::memcpy(&key, p, 8);
  return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >>
                                    (64 - kHashBits));
}

// Hash of the three bytes at p (a fourth, in the slack at the end, may be
// read and is not used).
std::uint32_t HashOf(const std::uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::uint32_t word;
  std::memcpy(&word, p, 4);
  const std::uint32_t key = __builtin_bswap32(word) >> 8;
#else
  const std::uint32_t key = static_cast<std::uint32_t>(p[0]) << 16 |
                            static_cast<std::uint32_t>(p[1]) << 8 | p[2];
#endif
  return (key * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

LzhMatchFinder::LzhMatchFinder(const std::uint8_t* data, std::size_t size,
                               int max_chain)
    : padded_(kRingSize + size + 8, kRingFill),
      end_(kRingSize + size),
      max_chain_(max_chain),
      head_(std::size_t{1} << kHashBits, kNone),
      tree_(2 * kTreeSlots, kNone) {
  if (size > 0) std::memcpy(padded_.data() + kRingSize, data, size);
  // Match lengths stop at end_; the slack only keeps the reads in bounds.
  // The spaces before the data enter the window as the ring's content.
  // Up to kRingSize - kMaxMatch they all hold the same string, and a node
  // entered with a string equal to another's as far as it goes replaces
  // it: only the last of them would stay in the tree.
  for (std::size_t v = kRingSize - kMaxMatch; v < kRingSize; ++v) {
    Search(v, static_cast<int>(std::min<std::size_t>(kMaxMatch, end_ - v)),
           nullptr);
  }
}

std::uint32_t LzhMatchFinder::Hash(std::size_t v) const {
  return HashOf(&padded_[v]);
}

int LzhMatchFinder::Search(std::size_t v, int limit,
                           std::vector<MatchCandidate>* out) {
  // Fewer than three bytes left: nothing to find, and the position is not
  // entered (no later match could start with it and reach as far).
  if (limit < kMinMatch) return 0;
  const std::uint32_t h = Hash(v);
  std::uint32_t candidate = head_[h];
  head_[h] = static_cast<std::uint32_t>(v);
  // The new position becomes the root of its bucket's tree; the old tree is
  // split around it: `smaller` is where the next node that sorts below it
  // is linked, `larger` the same for nodes that sort above.
  std::uint32_t* smaller = &tree_[2 * (v & kTreeMask)];
  std::uint32_t* larger = smaller + 1;
  // Bytes known to agree with the new string on each side.
  int smaller_length = 0;
  int larger_length = 0;
  int best = kMinMatch - 1;
  const std::uint8_t* here = &padded_[v];
  for (int chain = max_chain_;; --chain) {
    if (candidate == kNone ||
        v - candidate > static_cast<std::size_t>(kRingSize) || chain == 0) {
      *smaller = kNone;
      *larger = kNone;
      break;
    }
    std::uint32_t* pair = &tree_[2 * (candidate & kTreeMask)];
    const std::uint8_t* there = &padded_[candidate];
    int length = std::min(smaller_length, larger_length);
    length += MatchLength(there + length, here + length, limit - length);
    if (length > best) {
      best = length;
      if (out) out->push_back({length, static_cast<int>(v - candidate)});
    }
    if (length == limit) {
      // The same string as far as it can go: the new node takes over the
      // candidate's subtrees.
      *smaller = pair[0];
      *larger = pair[1];
      break;
    }
    if (there[length] < here[length]) {
      *smaller = candidate;
      smaller = pair + 1;
      candidate = *smaller;
      smaller_length = length;
    } else {
      *larger = candidate;
      larger = pair;
      candidate = *larger;
      larger_length = length;
    }
  }
  return best >= kMinMatch ? best : 0;
}

void LzhMatchFinder::Skip(std::size_t pos) {
  const std::size_t v = pos + kRingSize;
  Search(v, static_cast<int>(std::min<std::size_t>(kMaxMatch, end_ - v)),
         nullptr);
}

int LzhMatchFinder::Find(std::size_t pos, int max_length,
                         std::vector<MatchCandidate>* out) {
  const std::size_t v = pos + kRingSize;
  const std::size_t available = end_ - v;
  const int limit = available < static_cast<std::size_t>(max_length)
                        ? static_cast<int>(available)
                        : max_length;
  return Search(v, limit, out);
}

LzhChainFinder::LzhChainFinder(const std::uint8_t* data, std::size_t size,
                               int max_chain)
    : padded_(kRingSize + size + 8, kRingFill),
      end_(kRingSize + size),
      max_chain_(max_chain),
      head_(std::size_t{1} << kHashBits, kNone),
      head3_(std::size_t{1} << kHashBits, kNone),
      prev_(kRingSize, kNone),
      prev3_(kRingSize, kNone),
      head8_(std::size_t{1} << kHashBits, kNone),
      prev8_(kRingSize, kNone) {
  if (size > 0) std::memcpy(padded_.data() + kRingSize, data, size);
  // Match lengths stop at end_; the slack only keeps the reads in bounds.
  // Up to kRingSize - kMaxMatch they all hold the same string as far as a
  // match can go, so only the last of them can be the nearest match.
  for (std::size_t v = kRingSize - kMaxMatch; v < kRingSize; ++v) Insert(v);
}

void LzhChainFinder::Insert(std::size_t v) {
  if (v + kMinMatch > end_) return;
  Link(v, HashOf(&padded_[v]), Hash4Of(&padded_[v]));
}

void LzhChainFinder::Link(std::size_t v, std::uint32_t h3, std::uint32_t h) {
  prev3_[v & kRingMask] = head3_[h3];
  head3_[h3] = static_cast<std::uint32_t>(v);
  prev_[v & kRingMask] = head_[h];
  head_[h] = static_cast<std::uint32_t>(v);
  const std::uint32_t h8 = Hash8Of(&padded_[v]);
  prev8_[v & kRingMask] = head8_[h8];
  head8_[h8] = static_cast<std::uint32_t>(v);
}

void LzhChainFinder::Skip(std::size_t pos) { Insert(pos + kRingSize); }

__attribute__((always_inline)) inline bool LzhChainFinder::WalkChain(
    std::uint32_t& candidate, const std::vector<std::uint32_t>& links,
    int budget, std::size_t v, int limit, int* best,
    std::vector<MatchCandidate>* out) {
  const std::uint8_t* here = &padded_[v];
  int longest = *best;  // in a register, not behind the pointer
  bool cut_short = false;
  // A candidate can be longer only if it has the four bytes that end
  // where a match one longer would: those are compared first.
  int check = longest >= 3 ? longest - 3 : 0;
  std::uint32_t y;
  std::memcpy(&y, here + check, 4);
  if (candidate != kNone && longest < limit) {
    while (v - candidate <= static_cast<std::size_t>(kRingSize)) {
      if (budget == 0) {
        cut_short = true;
        break;
      }
      --budget;
      const std::uint8_t* there = &padded_[candidate];
      std::uint32_t x;
      std::memcpy(&x, there + check, 4);
      if (x == y) {
        const int length = MatchLength(there, here, limit);
        if (length > longest) {
          longest = length;
          out->push_back({length, static_cast<int>(v - candidate)});
          if (longest >= limit) break;
          check = longest - 3;
          std::memcpy(&y, here + check, 4);
        }
      }
      // Links are older positions; kNone, and a link left from a position
      // that has since been reused, are not.
      const std::uint32_t next = links[candidate & kRingMask];
      if (next >= candidate) break;
      candidate = next;
    }
  }
  *best = longest;
  return cut_short;
}

int LzhChainFinder::Find(std::size_t pos, int max_length,
                         std::vector<MatchCandidate>* out) {
  const std::size_t v = pos + kRingSize;
  std::size_t available = end_ - v;
  int limit = max_length;
  if (available < static_cast<std::size_t>(limit))
    limit = static_cast<int>(available);
  if (limit < kMinMatch) {
    Insert(v);
    return 0;
  }
  int best = kMinMatch - 1;
  const std::uint8_t* here = &padded_[v];
  const std::uint32_t h3 = HashOf(here);
  const std::uint32_t h4 = Hash4Of(here);
  // The nearest string of three equal bytes first, then the chain of
  // the strings whose first four bytes hash alike, newest first.
  std::uint32_t near = head3_[h3];
  for (int chain = max_chain_; chain > 0 && near != kNone; --chain) {
    if (v - near > static_cast<std::size_t>(kRingSize)) break;
    if (std::memcmp(&padded_[near], here, kMinMatch) == 0) {
      best = MatchLength(&padded_[near], here, limit);
      out->push_back({best, static_cast<int>(v - near)});
      break;
    }
    const std::uint32_t next = prev3_[near & kRingMask];
    if (next >= near) break;  // kNone, or a stale link (see WalkChain)
    near = next;
  }
  std::uint32_t candidate = head_[h4];
  const bool cut_short =
      WalkChain(candidate, prev_, max_chain_, v, limit, &best, out);
  // Repetitive data: the longest match may lie further back than the
  // four-byte chain reaches. A match of 4-7 bytes found so far may have a
  // longer one further down the same chain (tables of machine words:
  // records of mostly zeros, where many positions share their first
  // bytes); the eight-byte chain then skips the positions that share only
  // a few bytes.
  if (cut_short && best >= kExtendFrom) {
    if (best < kLongChainBelow && max_chain_ < kLongChain) {
      WalkChain(candidate, prev_, kLongChain - max_chain_, v, limit, &best,
                out);
    }
    candidate = head8_[Hash8Of(here)];
    WalkChain(candidate, prev8_, kExtraChain, v, limit, &best, out);
  }
  Link(v, h3, h4);
  return best >= kMinMatch ? best : 0;
}

}  // namespace lzh
}  // namespace sfx
