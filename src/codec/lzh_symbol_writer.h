// Writes the symbols of one LZH stream (packer side only): literals and
// matches coded with the adaptive tree and the fixed position code, behind
// the 4-byte length field. The encoder drives it after choosing its parse;
// tests use it to build streams with exactly the symbols they need.
#ifndef SFX_CODEC_LZH_SYMBOL_WRITER_H_
#define SFX_CODEC_LZH_SYMBOL_WRITER_H_

#include <cstdint>
#include <vector>

#include "codec/lzh_tree.h"

namespace sfx {
namespace lzh {

class LzhSymbolWriter {
 public:
  // Starts a stream whose length field holds `decoded_length`.
  explicit LzhSymbolWriter(std::uint32_t decoded_length);

  void Literal(std::uint8_t byte);
  // A match of `length` (3..60) bytes copied from `distance` (1..4096)
  // bytes back; a distance past the start of the data reaches the ring's
  // initial spaces.
  void Match(int length, int distance);

  // The adaptive tree as it stands now.
  const LzhTree& Tree() const { return tree_; }

  // Pads the last byte with zero bits and returns the whole stream.
  std::vector<std::uint8_t> Finish();

 private:
  void PutBits(std::uint32_t value, int count);  // count <= 32
  void Grow();                                   // more room in out_
  void PutSymbol(int symbol);

  LzhTree tree_;
  std::vector<std::uint8_t> out_;  // bytes from used_ on are room
  std::size_t used_ = 0;
  std::uint64_t pending_ = 0;  // the low `pending_count_` bits are unwritten
  int pending_count_ = 0;
};

}  // namespace lzh
}  // namespace sfx

#endif  // SFX_CODEC_LZH_SYMBOL_WRITER_H_
