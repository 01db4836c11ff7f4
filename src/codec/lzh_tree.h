// The adaptive Huffman tree that codes literals and match lengths in an LZH
// stream. Decoder and encoder keep identical copies and update them after
// every symbol, so the code of a symbol depends on everything coded before.
//
// Node positions 0..626 hold counts in non-decreasing order (sibling
// property); siblings share the pair 2i, 2i + 1, so the bit leading to a node
// is its position's lowest bit. child[n] is the first child of an internal
// node or 627 + symbol for a leaf; parent[627 + s] is the leaf of symbol s.
#ifndef SFX_CODEC_LZH_TREE_H_
#define SFX_CODEC_LZH_TREE_H_

#include <cstdint>

#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

class LzhTree {
 public:
  // Builds the tree of a fresh stream: every symbol count 1.
  void Init();

  // Counts one more occurrence of `symbol` (0..313), first rebuilding the
  // tree with halved counts when the root has reached kCountLimit.
  inline void Update(int symbol);

  // Halves every leaf count (rounding up) and rebuilds the tree from them.
  void Rebuild();

  std::int16_t Child(int position) const { return child_[position]; }
  std::int16_t Parent(int position) const { return parent_[position]; }
  std::uint16_t Count(int position) const { return counts_[position]; }
  // Position of the leaf of `symbol`.
  int Leaf(int symbol) const { return parent_[symbol + kTreeSize]; }

 private:
  // The highest position at or above `from` whose count is below `k`, given
  // that counts_[from] < k and that counts_[from..kTreeSize] are sorted.
  inline int HighestBelow(int from, std::uint16_t k) const;

  std::uint16_t counts_[kTreeSize + 1];  // +1: sentinel 0xFFFF
  std::int16_t child_[kTreeSize];
  std::int16_t parent_[kTreeSize + kSymbolCount];
};

inline int LzhTree::HighestBelow(int from, std::uint16_t k) const {
  // Runs of equal counts are usually short, but fresh and rebuilt trees have
  // runs of hundreds of nodes; a binary search keeps both cheap. Equivalent
  // to scanning upward while the next count is still below k.
  if (counts_[from + 1] >= k) return from;
  int low = from + 1;    // counts_[low] < k
  int high = kTreeSize;  // counts_[high] >= k (the sentinel at the latest)
  while (high - low > 1) {
    const int mid = (low + high) >> 1;
    if (counts_[mid] < k) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return low;
}

inline void LzhTree::Update(int symbol) {
  if (counts_[kRoot] == kCountLimit) Rebuild();
  int x = parent_[symbol + kTreeSize];
  do {
    const std::uint16_t k = ++counts_[x];
    if (counts_[x + 1] < k) {
      // Move the node to the end of the run that had its old count, so that
      // the counts stay sorted.
      const int l = HighestBelow(x + 1, k);
      counts_[x] = counts_[l];
      counts_[l] = k;
      const int i = child_[x];
      parent_[i] = static_cast<std::int16_t>(l);
      if (i < kTreeSize) parent_[i + 1] = static_cast<std::int16_t>(l);
      const int j = child_[l];
      child_[l] = static_cast<std::int16_t>(i);
      parent_[j] = static_cast<std::int16_t>(x);
      if (j < kTreeSize) parent_[j + 1] = static_cast<std::int16_t>(x);
      child_[x] = static_cast<std::int16_t>(j);
      x = l;
    }
    x = parent_[x];
  } while (x != 0);
}

}  // namespace lzh
}  // namespace sfx

#endif  // SFX_CODEC_LZH_TREE_H_
