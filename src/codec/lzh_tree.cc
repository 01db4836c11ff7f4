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
}

}  // namespace lzh
}  // namespace sfx
