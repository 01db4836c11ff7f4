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
  for (int n = kTreeSize; n < kTreeSize + 4; ++n) counts_[n] = 0xFFFF;
  parent_[kRoot] = 0;
  IndexGrandchildren();
  if constexpr (kPrefixTable) IndexTop();
}

void LzhTree::IndexGrandchildren() {
  for (int n = 0; n < kTreeSize; ++n) {
    const int c = child_[n];
    if (c < kTreeSize) {
      grand_[2 * n] = child_[c];
      grand_[2 * n + 1] = child_[c + 1];
    }
  }
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
  IndexGrandchildren();
  if constexpr (kPrefixTable) IndexTop();
}

void LzhTree::IndexTop() {
  for (int n = 0; n < kTreeSize; ++n) level_[n] = kTopBits;
  level_[kRoot] = 0;
  Top(child_[kRoot], 1, 0);
  Top(child_[kRoot] + 1u, 1, 1);
}

void LzhTree::Retop(unsigned x, unsigned l) {
  // The positions x and l keep their levels; the nodes below them moved.
  // Only a subtree that went down can take nodes out of the levels.
  const unsigned level_x = level_[x];
  const unsigned level_l = level_[l];
  if (level_l < level_x) Untop(x);
  if (level_x < level_l) Untop(l);
  if (level_x < kTopBits) Top(x, level_x, code_[x]);
  if (level_l < kTopBits) Top(l, level_l, code_[l]);
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
  level_[position] = static_cast<std::uint8_t>(depth);
  code_[position] = static_cast<std::uint8_t>(code);
  const unsigned c = child_[position];
  const unsigned shift = kTopBits - depth;
  // The length is written where the walk ends: at a leaf, or (below) at
  // level kTopBits.
  const unsigned length = c >= kTreeSize ? depth : 0;
  for (unsigned e = code << shift; e < (code + 1) << shift; ++e) {
    top_path_[e][depth - 1] = static_cast<std::uint16_t>(position);
    top_length_[e] = static_cast<std::uint8_t>(length);
  }
  if (c >= kTreeSize) return;
  if (depth + 1 < kTopBits) {
    Top(c, depth + 1, 2 * code);
    Top(c + 1, depth + 1, 2 * code + 1);
  } else {
    for (unsigned b = 0; b < 2; ++b) {
      top_path_[2 * code + b][kTopBits - 1] = static_cast<std::uint16_t>(c + b);
      top_length_[2 * code + b] = kTopBits;
    }
  }
}

}  // namespace lzh
}  // namespace sfx
