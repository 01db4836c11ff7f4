// Symbol coding for the packer (lzh_symbol_writer.h). A symbol's code is the
// path from the root to its leaf: its top levels come from the tree's prefix
// table, the rest from a walk up from the leaf.
#include "codec/lzh_symbol_writer.h"

#include <cstring>
#include <utility>

#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

LzhSymbolWriter::LzhSymbolWriter(std::uint32_t decoded_length) {
  tree_.Init();
  for (int i = 0; i < kLengthFieldSize; ++i) {
    out_.push_back(static_cast<std::uint8_t>(decoded_length >> (8 * i)));
  }
  used_ = out_.size();
}

__attribute__((noinline)) void LzhSymbolWriter::Grow() {
  out_.resize(2 * out_.size() + 64);
}

inline void LzhSymbolWriter::PutBits(std::uint32_t value, int count) {
  pending_ = (pending_ << count) | value;
  pending_count_ += count;
  if (pending_count_ < 32) return;
  // Four bytes at a time, the first on top, into room kept ahead.
  pending_count_ -= 32;
  const auto word = static_cast<std::uint32_t>(pending_ >> pending_count_);
  if (out_.size() - used_ < 4) Grow();
  std::uint8_t* at = out_.data() + used_;
  at[0] = static_cast<std::uint8_t>(word >> 24);
  at[1] = static_cast<std::uint8_t>(word >> 16);
  at[2] = static_cast<std::uint8_t>(word >> 8);
  at[3] = static_cast<std::uint8_t>(word);
  used_ += 4;
}

void LzhSymbolWriter::PutSymbol(int symbol) {
  // The code is the path from the root to the symbol's leaf. Its part on
  // the tree's top levels comes from the prefix table, as the decoder reads
  // it: the bits leading to the first node above level kTopBits on the way
  // up (TopCode) and the positions a walk from the root passes to it
  // (TopPath). Only the nodes below it are walked, leaf first; most codes
  // have none or one or two of them.
  constexpr unsigned kTop = LzhTree::kTopBits;
  std::uint16_t path[kTreeSize];
  std::uint16_t below[kTreeSize];
  int count = 0;
  std::uint32_t low = 0;  // their bits, the leaf's the lowest
  unsigned x = static_cast<unsigned>(tree_.Leaf(symbol));
  while (tree_.TopLevel(x) >= kTop) {
    if (count < 32) low |= static_cast<std::uint32_t>(x & 1) << count;
    below[count++] = static_cast<std::uint16_t>(x);
    x = tree_.Parent(x);
  }
  const unsigned level = tree_.TopLevel(x);
  const unsigned top = tree_.TopCode(x);
  // The table's whole row: a copy of constant size is a few moves, and
  // the entries past `level` are overwritten or unused.
  std::memcpy(path, tree_.TopPath(top << (kTop - level)),
              sizeof(path[0]) * kTop);
  const int depth = static_cast<int>(level) + count;
  for (int k = 0; k < count; ++k) path[depth - 1 - k] = below[k];
  // A sound tree is never deeper than about 24 levels, but nothing here
  // relies on that: a code may be as long as the tree has positions.
  if (depth <= 32) {
    PutBits(top << count | low, depth);
  } else {
    for (int k = 0; k < depth;) {
      const int n = depth - k < 24 ? depth - k : 24;
      std::uint32_t value = 0;
      for (const int end = k + n; k < end; ++k) {
        value = (value << 1) | (path[k] & 1);
      }
      PutBits(value, n);
    }
  }
  tree_.UpdateAlong(path, depth);
}

void LzhSymbolWriter::Literal(std::uint8_t byte) { PutSymbol(byte); }

void LzhSymbolWriter::Match(int length, int distance) {
  PutSymbol(MatchSymbol(length));
  const int position = distance - 1;
  const int upper = position >> 6;
  PutBits(kPositionTables.code[upper], PositionCodeLength(upper));
  PutBits(static_cast<std::uint32_t>(position & 63), 6);
}

std::vector<std::uint8_t> LzhSymbolWriter::Finish() {
  out_.resize(used_);
  // The last bits, padded with zero bits to whole bytes.
  const int padding = -pending_count_ & 7;
  pending_ <<= padding;
  for (pending_count_ += padding; pending_count_ > 0;) {
    pending_count_ -= 8;
    out_.push_back(static_cast<std::uint8_t>(pending_ >> pending_count_));
  }
  return std::move(out_);
}

}  // namespace lzh
}  // namespace sfx
