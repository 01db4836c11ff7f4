// Construction and rebuilding of the adaptive Huffman tree (lzh_tree.h).
#include "codec/lzh_tree.h"

#include <cstring>

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
  // Gather the leaves at the bottom, halving their counts; they stay sorted.
  int j = 0;
  for (int n = 0; n < kTreeSize; ++n) {
    if (child_[n] >= kTreeSize) {
      counts_[j] = static_cast<std::uint16_t>((counts_[n] + 1) / 2);
      child_[j] = child_[n];
      ++j;
    }
  }
  // Join the two smallest unjoined nodes; the new node goes after every node
  // whose count is not above its own.
  for (int i = 0, n = kSymbolCount; n < kTreeSize; i += 2, ++n) {
    const std::uint16_t f =
        static_cast<std::uint16_t>(counts_[i] + counts_[i + 1]);
    int k = n - 1;
    while (f < counts_[k]) --k;
    ++k;
    std::memmove(&counts_[k + 1], &counts_[k], (n - k) * sizeof(counts_[0]));
    std::memmove(&child_[k + 1], &child_[k], (n - k) * sizeof(child_[0]));
    counts_[k] = f;
    child_[k] = static_cast<std::uint16_t>(i);
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
