// Symbol coding for the packer (lzh_symbol_writer.h). A symbol's code is the
// path from the root to its leaf; it is found by walking up from the leaf,
// so the bits come out last-first and are reversed before writing.
#include "codec/lzh_symbol_writer.h"

#include <utility>

#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

LzhSymbolWriter::LzhSymbolWriter(std::uint32_t decoded_length) {
  tree_.Init();
  for (int i = 0; i < kLengthFieldSize; ++i) {
    out_.push_back(static_cast<std::uint8_t>(decoded_length >> (8 * i)));
  }
}

void LzhSymbolWriter::PutBits(std::uint32_t value, int count) {
  pending_ = (pending_ << count) | value;
  pending_count_ += count;
  while (pending_count_ >= 8) {
    pending_count_ -= 8;
    out_.push_back(static_cast<std::uint8_t>(pending_ >> pending_count_));
  }
}

void LzhSymbolWriter::PutSymbol(int symbol) {
  // A sound tree is never deeper than about 24 levels, but nothing here
  // relies on that: the path may be as long as the tree has positions.
  // The positions are gathered leaf first into the end of `path`, so that
  // they end up root first, as UpdateAlong takes them.
  std::uint16_t path[kTreeSize];
  int first = kTreeSize;
  // Walking up meets the code's bits last first: the leaf's bit is the
  // lowest of the code.
  std::uint32_t code = 0;
  for (int x = tree_.Leaf(symbol); x != kRoot; x = tree_.Parent(x)) {
    const int depth = kTreeSize - first;
    if (depth < 32) code |= static_cast<std::uint32_t>(x & 1) << depth;
    path[--first] = static_cast<std::uint16_t>(x);
  }
  if (kTreeSize - first <= 24) {
    PutBits(code, kTreeSize - first);
  } else {
    for (int k = first; k < kTreeSize;) {
      const int count = kTreeSize - k < 24 ? kTreeSize - k : 24;
      std::uint32_t value = 0;
      for (int end = k + count; k < end; ++k)
        value = (value << 1) | (path[k] & 1);
      PutBits(value, count);
    }
  }
  tree_.UpdateAlong(path + first, kTreeSize - first);
}

void LzhSymbolWriter::Literal(std::uint8_t byte) { PutSymbol(byte); }

void LzhSymbolWriter::Match(int length, int distance) {
  PutSymbol(MatchSymbol(length));
  const int position = distance - 1;
  const int upper = position >> 6;
  PutBits(kPositionTables.code[upper], PositionCodeLength(upper));
  PutBits(static_cast<std::uint32_t>(position & 63), 6);
}

int LzhSymbolWriter::SymbolCost(int symbol) const {
  int depth = 0;
  for (int x = tree_.Leaf(symbol); x != kRoot; x = tree_.Parent(x)) ++depth;
  return depth;
}

std::vector<std::uint8_t> LzhSymbolWriter::Finish() {
  if (pending_count_ > 0) PutBits(0, 8 - pending_count_);
  return std::move(out_);
}

}  // namespace lzh
}  // namespace sfx
