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
  // Levels that the prefix table resolves with one look-up. Seven rather
  // than eight: the installer decodes each package block as a fresh
  // stream, whose young tree swaps nodes near the root often, and each such
  // swap rewrites the table below them. With seven levels those blocks
  // decode about 10% faster and a long stream as fast.
  static constexpr int kTopBits = 7;

  // Builds the tree of a fresh stream: every symbol count 1.
  void Init();

  // Counts one more occurrence of `symbol` (0..313), first rebuilding the
  // tree with halved counts when the root has reached kCountLimit.
  void Update(int symbol);

  // The same as Update() for the symbol whose leaf ends `path`: the
  // positions from the root's child down to the leaf (`depth` entries), as
  // the decoder has just walked them. While no node moves, the walk up
  // follows the path instead of loading each parent, which lets the
  // increments of successive levels overlap.
  inline void UpdateAlong(const std::uint16_t* path, int depth);

  // Halves every leaf count (rounding up) and rebuilds the tree from them.
  void Rebuild();

  // Positions are unsigned so that the decoder's walk indexes without
  // sign extension.
  std::uint16_t Child(unsigned position) const { return child_[position]; }
  std::uint16_t Parent(unsigned position) const { return parent_[position]; }
  std::uint16_t Count(unsigned position) const { return counts_[position]; }
  // Position of the leaf of `symbol`.
  int Leaf(int symbol) const { return parent_[symbol + kTreeSize]; }
  // The prefix table: for the next kTopBits bits of a code, the positions
  // a walk from the root passes (kTopBits entries, the first TopLength()
  // of them meaningful) and how many levels it takes: kTopBits, or fewer
  // where it ends at a leaf.
  const std::uint16_t* TopPath(unsigned bits) const { return top_path_[bits]; }
  unsigned TopLength(unsigned bits) const { return top_end_[bits] >> 16; }
  // TopLength() << 16 | the last position of the path: one load for both.
  std::uint32_t TopEnd(unsigned bits) const { return top_end_[bits]; }
  // The level and the bits leading to a position, as the table's upkeep
  // records them for positions above level kTopBits (kTopBits for the
  // rest).
  unsigned TopLevel(unsigned position) const { return level_[position]; }
  unsigned TopCode(unsigned position) const { return code_[position]; }
  // Length in bits of `symbol`'s code: the levels walked up from its leaf
  // until the recorded levels take over.
  int CodeLength(int symbol) const {
    int below = 0;
    unsigned x = parent_[symbol + kTreeSize];
    for (; level_[x] >= kTopBits; x = parent_[x]) ++below;
    return static_cast<int>(level_[x]) + below;
  }

 private:
  // The highest position at or above `from` whose count is below `k`, given
  // that counts_[from] < k and that counts_[from..kTreeSize] are sorted.
  unsigned HighestBelow(unsigned from, std::uint16_t k);
  // Moves node x, whose count has just become k, past the run of its old
  // count; returns its new position. Never inlined: in the 32-bit
  // installer the decoder's loop keeps more in registers without it, and
  // runs about 20% faster. Update() is not inlined either; the decoder
  // calls it only when the tree is rebuilt.
  unsigned Promote(unsigned x, std::uint16_t k);
  // The prefix table depends on the nodes above level kTopBits only; a
  // swap among them rewrites the parts of the table below the two
  // positions, after clearing the levels their old subtrees had.
  void Retop(unsigned x, unsigned l);
  void Untop(unsigned position);
  void Top(unsigned position, unsigned depth, unsigned code);
  void IndexTop();
  static std::uint32_t End(unsigned length, unsigned position) {
    return length << 16 | position;
  }

  // Behind the counts, sentinels of 0xFFFF: one for the scan past the
  // root, more for HighestBelow's look at the next counts.
  static constexpr int kSentinels = 8;
  std::uint16_t counts_[kTreeSize + kSentinels];
  // Where the last search through a long run of equal counts left that
  // run's end, by the count the moved node reached (modulo kRunHints). A
  // young tree's runs of hundreds of equal counts lose one node with each
  // move out of them, so one search's hint saves the next; it is checked
  // before use, so a stale hint only costs the search. On 64-bit hosts
  // only: package blocks decode 3.5% faster there, the installer's 32-bit
  // build no faster measurably (its registers are all taken) for 144 bytes.
  static constexpr bool kRunHinted = sizeof(void*) >= 8;
  static constexpr unsigned kRunHints = 16;
  std::uint16_t run_end_[kRunHints];
  std::uint16_t child_[kTreeSize];
  // A spare entry behind them takes the swap's writes for the second
  // child of a leaf.
  static constexpr int kSpare = kTreeSize + kSymbolCount;
  std::uint16_t parent_[kSpare + 1];
  std::uint16_t top_path_[1 << kTopBits][kTopBits];
  std::uint32_t top_end_[1 << kTopBits];
  // For each position above level kTopBits (the root's children are on
  // level 1) its level and the bits leading to it; kTopBits for the rest.
  std::uint8_t level_[kTreeSize];
  std::uint8_t code_[kTreeSize];
  static_assert(kTopBits <= 8, "code_ holds the bits of a level above");
};

inline unsigned LzhTree::HighestBelow(unsigned from, std::uint16_t k) {
  // Most runs of equal counts are short: the next seven counts are tested
  // without a branch (the sentinels keep them within the array). Fresh and
  // rebuilt trees have runs of hundreds of nodes: there the search probes
  // at growing steps, then halves the last step. Equivalent to scanning
  // upward while the next count is still below k.
  constexpr unsigned kLook = 7;
  unsigned short_run = 0;
  // Unrolled: 6% fewer instructions and mispredicted branches for the
  // whole decode, and 20 bytes of code.
#pragma GCC unroll 7
  for (unsigned i = 1; i <= kLook; ++i) {
    short_run += static_cast<unsigned>(counts_[from + i] < k);
  }
  if (short_run < kLook) return from + short_run;
  // The node moves to the run's end, which then ends one position lower.
  if constexpr (kRunHinted) {
    std::uint16_t& hint = run_end_[k % kRunHints];
    const unsigned end = hint;
    if (end >= from + kLook && counts_[end] < k && counts_[end + 1] >= k) {
      hint = static_cast<std::uint16_t>(end - 1);
      return end;
    }
  }
  unsigned low = from + kLook;  // counts_[low] < k
  unsigned step = 1;
  while (counts_[low + step] < k) {  // the sentinel stops it at the latest
    low += step;
    step = low + 2 * step <= kTreeSize ? 2 * step : kTreeSize - low;
  }
  unsigned high = low + step;  // counts_[high] >= k
  while (high - low > 1) {
    const unsigned mid = (low + high) >> 1;
    if (counts_[mid] < k) {
      low = mid;
    } else {
      high = mid;
    }
  }
  if constexpr (kRunHinted) {
    run_end_[k % kRunHints] = static_cast<std::uint16_t>(low - 1);
  }
  return low;
}

__attribute__((noinline)) inline unsigned LzhTree::Promote(unsigned x,
                                                           std::uint16_t k) {
  const unsigned l = HighestBelow(x + 1, k);
  counts_[x] = counts_[l];
  counts_[l] = k;
  const unsigned i = child_[x];
  const unsigned j = child_[l];
  child_[l] = static_cast<std::uint16_t>(i);
  child_[x] = static_cast<std::uint16_t>(j);
  parent_[i] = static_cast<std::uint16_t>(l);
  parent_[j] = static_cast<std::uint16_t>(x);
  // A leaf has no second child: its write goes to the spare entry.
  parent_[i < kTreeSize ? i + 1 : kSpare] = static_cast<std::uint16_t>(l);
  parent_[j < kTreeSize ? j + 1 : kSpare] = static_cast<std::uint16_t>(x);
  if (level_[x] < kTopBits || level_[l] < kTopBits) Retop(x, l);
  return l;
}

__attribute__((noinline)) inline void LzhTree::Update(int symbol) {
  if (counts_[kRoot] == kCountLimit) Rebuild();
  unsigned x = parent_[symbol + kTreeSize];
  do {
    const std::uint16_t k = ++counts_[x];
    // A node that outgrows its successor moves to the end of the run that
    // had its old count, so that the counts stay sorted.
    if (counts_[x + 1] < k) x = Promote(x, k);
    x = parent_[x];
  } while (x != 0);
}

inline void LzhTree::UpdateAlong(const std::uint16_t* path, int depth) {
  if (counts_[kRoot] == kCountLimit) {
    Update(child_[path[depth - 1]] - kTreeSize);
    return;
  }
  for (int level = depth - 1; level >= 0; --level) {
    const unsigned x = path[level];
    const std::uint16_t k = ++counts_[x];
    if (counts_[x + 1] < k) {
      const unsigned l = Promote(x, k);
      // A node that moved within its sibling pair keeps its parent and the
      // path above stays valid; otherwise the parents are followed.
      if (level > 0 && parent_[l] == path[level - 1]) continue;
      for (unsigned y = parent_[l]; y != 0; y = parent_[y]) {
        const std::uint16_t ky = ++counts_[y];
        if (counts_[y + 1] < ky) y = Promote(y, ky);
      }
      return;
    }
  }
  ++counts_[kRoot];
}

}  // namespace lzh
}  // namespace sfx

#endif  // SFX_CODEC_LZH_TREE_H_
