// Constants of the LZH stream shared by the decoder and the encoder, and the
// fixed prefix code that carries the upper six bits of a match position.
// The position tables are generated from their rule at compile time: values
// 0..63 in ascending order, each taking 2^(8 - length) consecutive entries
// of a 256-entry table indexed by the next eight input bits.
#ifndef SFX_CODEC_LZH_FORMAT_H_
#define SFX_CODEC_LZH_FORMAT_H_

#include <cstdint>

namespace sfx {
namespace lzh {

constexpr int kRingSize = 4096;
constexpr int kRingMask = kRingSize - 1;
constexpr int kMaxMatch = 60;
constexpr int kThreshold = 2;
constexpr int kMinMatch = kThreshold + 1;
constexpr int kLiteralCount = 256;
constexpr int kSymbolCount = kLiteralCount + kMaxMatch - kThreshold;  // 314
constexpr int kTreeSize = 2 * kSymbolCount - 1;                       // 627
constexpr int kRoot = kTreeSize - 1;                                  // 626
constexpr std::uint16_t kCountLimit = 0x8000;
constexpr std::uint8_t kRingFill = 0x20;
constexpr int kFirstWritePosition = kRingSize - kMaxMatch;  // 4036
constexpr int kLengthFieldSize = 4;

// Symbol of a match of `length` bytes (kMinMatch..kMaxMatch) and back.
constexpr int MatchSymbol(int length) { return length + 253; }
constexpr int MatchLength(int symbol) { return symbol - 253; }
static_assert(MatchSymbol(kMinMatch) == kLiteralCount, "first match symbol");
static_assert(MatchSymbol(kMaxMatch) == kSymbolCount - 1, "last match symbol");

// Length in bits (3..8) of the prefix code of the upper-six-bit value v.
constexpr int PositionCodeLength(int v) {
  return v < 1 ? 3 : v < 4 ? 4 : v < 12 ? 5 : v < 24 ? 6 : v < 48 ? 7 : 8;
}

struct PositionTables {
  std::uint8_t upper_bits[256];   // upper six bits of the position
  std::uint8_t code_length[256];  // length of their prefix code
  std::uint8_t code[64];          // prefix code of each value, right-aligned
};

// Fills `t`: for the constant below, and at run time for the decoder, which
// fills its own copy at the start of each stream (256 steps instead of 576
// bytes of the installer; see LoadPositionTables).
constexpr void FillPositionTables(PositionTables* t) {
  int index = 0;
  for (int v = 0; v < 64; ++v) {
    const int length = PositionCodeLength(v);
    t->code[v] = static_cast<std::uint8_t>(index >> (8 - length));
    for (int n = 0; n < (1 << (8 - length)); ++n, ++index) {
      t->upper_bits[index] = static_cast<std::uint8_t>(v);
      t->code_length[index] = static_cast<std::uint8_t>(length);
    }
  }
}

constexpr PositionTables MakePositionTables() {
  PositionTables t{};
  FillPositionTables(&t);
  return t;
}

inline constexpr PositionTables kPositionTables = MakePositionTables();

// FillPositionTables() at run time, compiled for size: in the decoder's
// file, which is compiled for speed, its loops would be unrolled.
void LoadPositionTables(PositionTables* t);

}  // namespace lzh
}  // namespace sfx

#endif  // SFX_CODEC_LZH_FORMAT_H_
