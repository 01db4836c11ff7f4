// Construction and rebuilding of the adaptive Huffman tree (lzh_tree.h).
#include "codec/lzh_tree.h"

namespace sfx {
namespace lzh {

void LzhTree::Init() {
  for (int s = 0; s < kSymbolCount; ++s) {
    counts_[s] = 1;
    child_[s] = static_cast<std::uint16_t>(s + kTreeSize);
    parent_[s + kTreeSize] = static_cast<std::uint16_t>(s);
  }
  for (int i = 0, j = kSymbolCount; j <= kRoot; i += 2, ++j) {
    counts_[j] = static_cast<std::uint16_t>(counts_[i] + counts_[i + 1]);
    child_[j] = static_cast<std::uint16_t>(i);
    parent_[i] = parent_[i + 1] = static_cast<std::uint16_t>(j);
  }
  for (int n = kTreeSize; n < kTreeSize + kSentinels; ++n) counts_[n] = 0xFFFF;
  parent_[kRoot] = 0;
  if constexpr (kRunHinted) {
    for (std::uint16_t& end : run_end_) end = 0;  // below every search
  }
  IndexTop();
}

void LzhTree::Rebuild() {
  // The leaves in position order with halved counts (rounded up); they
  // stay sorted.
  std::uint16_t leaf_counts[kSymbolCount];
  std::uint16_t leaf_children[kSymbolCount];
  int leaves = 0;
  for (int n = 0; n < kTreeSize; ++n) {
    if (child_[n] >= kTreeSize) {
      leaf_counts[leaves] = static_cast<std::uint16_t>((counts_[n] + 1) / 2);
      leaf_children[leaves] = child_[n];
      ++leaves;
    }
  }
  // The format joins the two lowest unjoined nodes (positions 2j, 2j + 1
  // for the j-th join) and inserts the new node after every node whose
  // count is not above its own. No later insertion lands at or below a
  // pair already joined, so the result is one merge of two sorted
  // sequences: the leaves and the joined nodes in the order of their
  // making, a leaf first on equal counts. Position p takes the next joined
  // node once both its children lie below p and no lower leaf is left.
  int next_leaf = 0;
  int joined = 0;
  for (int p = 0; p < kTreeSize; ++p) {
    const int i = 2 * joined;
    const int f = i + 1 < p ? counts_[i] + counts_[i + 1] : 0x10000;
    if (next_leaf < kSymbolCount && leaf_counts[next_leaf] <= f) {
      counts_[p] = leaf_counts[next_leaf];
      child_[p] = leaf_children[next_leaf];
      ++next_leaf;
    } else {
      counts_[p] = static_cast<std::uint16_t>(f);
      child_[p] = static_cast<std::uint16_t>(i);
      ++joined;
    }
  }
  for (int n = 0; n < kTreeSize; ++n) {
    const int k = child_[n];
    if (k >= kTreeSize) {
      parent_[k] = static_cast<std::uint16_t>(n);
    } else {
      parent_[k] = parent_[k + 1] = static_cast<std::uint16_t>(n);
    }
  }
  IndexTop();
}

void LzhTree::IndexTop() {
  for (int n = 0; n < kTreeSize; ++n) level_[n] = kTopBits;
  level_[kRoot] = 0;
  Top(kRoot, 0, 0);
}

void LzhTree::Retop(unsigned x, unsigned l) {
  // The positions x and l keep their levels; the nodes below them moved.
  const unsigned level_x = level_[x];
  const unsigned level_l = level_[l];
  const unsigned moved[2] = {x, l};
  if (level_x + 1 >= kTopBits && level_l + 1 >= kTopBits) {
    // Most swaps: the nodes on the last level above kTopBits have only
    // their own two entries, and their children are below the levels.
    for (const unsigned n : moved) {
      if (level_[n] + 1 != kTopBits) continue;
      const unsigned c = child_[n];
      const unsigned e = 2u * code_[n];
      if (c < kTreeSize) {
        top_path_[e][kTopBits - 1] = static_cast<std::uint16_t>(c);
        top_path_[e + 1][kTopBits - 1] = static_cast<std::uint16_t>(c + 1);
      }
      top_end_[e] = c < kTreeSize ? End(kTopBits, c) : End(kTopBits - 1, n);
      top_end_[e + 1] =
          c < kTreeSize ? End(kTopBits, c + 1) : End(kTopBits - 1, n);
    }
    return;
  }
  // Only a subtree that went down can take nodes out of the levels.
  if (level_l < level_x) Untop(x);
  if (level_x < level_l) Untop(l);
  for (const unsigned n : moved) {
    const unsigned level = level_[n];
    if (level >= kTopBits) continue;
    if (child_[n] < kTreeSize) {
      Top(n, level, code_[n]);
    } else {
      const unsigned shift = kTopBits - level;
      const unsigned code = code_[n];
      for (unsigned e = code << shift; e < (code + 1) << shift; ++e) {
        top_end_[e] = End(level, n);
      }
    }
  }
}

void LzhTree::Untop(unsigned position) {
  const unsigned c = child_[position];
  if (c >= kTreeSize) return;
  for (unsigned n = c; n <= c + 1; ++n) {
    // Below a node that was not above level kTopBits no node was.
    if (level_[n] < kTopBits) {
      level_[n] = kTopBits;
      Untop(n);
    }
  }
}

void LzhTree::Top(unsigned position, unsigned depth, unsigned code) {
  // The internal node at `position`, on level `depth` (above kTopBits),
  // has its own entries in place; its children's are written here.
  const unsigned c = child_[position];
  if (depth + 1 == kTopBits) {  // most swaps are on the last level
    top_path_[2 * code][depth] = static_cast<std::uint16_t>(c);
    top_path_[2 * code + 1][depth] = static_cast<std::uint16_t>(c + 1);
    top_end_[2 * code] = End(kTopBits, c);
    top_end_[2 * code + 1] = End(kTopBits, c + 1);
    return;
  }
  const unsigned shift = kTopBits - 1 - depth;
  for (unsigned b = 0; b < 2; ++b) {
    const unsigned n = c + b;
    const unsigned n_code = 2 * code + b;
    const bool leaf = child_[n] >= kTreeSize;
    // An internal node's length is kTopBits, or written again below.
    const unsigned length = leaf ? depth + 1 : kTopBits;
    for (unsigned e = n_code << shift; e < (n_code + 1) << shift; ++e) {
      top_path_[e][depth] = static_cast<std::uint16_t>(n);
      top_end_[e] = End(length, n);
    }
    level_[n] = static_cast<std::uint8_t>(depth + 1);
    code_[n] = static_cast<std::uint8_t>(n_code);
    if (!leaf) Top(n, depth + 1, n_code);
  }
}

}  // namespace lzh
}  // namespace sfx
