// The LZH decoder (lzh_decoder.h). One core loop, written against a bit
// reader and an output, serves two pairs of them:
//  - LzhDecode: a byte-at-a-time reader over TLzhReadProc and a sink that
//    keeps the 4096-byte ring and hands each byte to TLzhWriteProc;
//  - LzhDecodeBuffer: a word-at-a-time reader over the source block and an
//    output that copies matches straight out of the target block (its own
//    earlier output), which makes the ring unnecessary.
// Both produce the same bytes; the tests compare them.
#include "codec/lzh_decoder.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "codec/lzh_format.h"
#include "codec/lzh_tree.h"

namespace sfx {

namespace {

using lzh::kPositionTables;
using lzh::kRingFill;
using lzh::kRingMask;
using lzh::kRingSize;
using lzh::kTreeSize;
using lzh::LzhTree;

constexpr char kNoMemoryMessage[] =
    "LZH : Cannot get memory for dictionary tables";
constexpr char kOverflowMessage[] =
    "LZH : Decoded data exceed the target buffer";
constexpr char kSinkMessage[] = "LZH : Cannot write decoded data";

// Allocates a piece of working state, reporting failure as the codec does.
template <class T>
std::unique_ptr<T> AllocateState() {
  std::unique_ptr<T> state(new (std::nothrow) T);
  if (!state) throw ElzhException(kNoMemoryMessage);
  return state;
}

std::int32_t ReadLength(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) |
                          static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16 |
                          static_cast<std::uint32_t>(p[3]) << 24;
  return static_cast<std::int32_t>(v);
}

// Bits of a memory block, most significant bit of each byte first; reads
// past the end give zero bits. Up to 64 bits are buffered at the top of
// `bits_`; below them may sit bits of the next byte, which the next refill
// ORs in again at the same place.
class MemoryBitReader {
 public:
  MemoryBitReader(const std::uint8_t* data, std::size_t size)
      : next_(data), end_(data + size) {}

  unsigned NextBit() {
    if (count_ == 0) Refill();
    const unsigned bit = static_cast<unsigned>(bits_ >> 63);
    bits_ <<= 1;
    --count_;
    return bit;
  }

  // A match position: the prefix code of its upper six bits (3 to 8 bits,
  // looked up through the next eight bits) and its lower six bits, taken
  // from one 14-bit window.
  unsigned Position() {
    if (count_ < 14) Refill();
    const unsigned window = static_cast<unsigned>(bits_ >> 50);
    const unsigned lead = window >> 6;
    const unsigned length = kPositionTables.code_length[lead];
    const unsigned low = (window >> (8 - length)) & 63;
    bits_ <<= length + 6;
    count_ -= static_cast<int>(length + 6);
    return static_cast<unsigned>(kPositionTables.upper_bits[lead]) << 6 | low;
  }

 private:
  // Tops the buffer up to at least 57 valid bits. Precondition: count_ < 56,
  // so that at least one whole byte fits.
  void Refill() {
    if (end_ - next_ >= 8) {
      std::uint64_t word = 0;
      for (int i = 0; i < 8; ++i) word = word << 8 | next_[i];
      bits_ |= word >> count_;
      const int taken = (63 - count_) >> 3;
      next_ += taken;
      count_ += taken * 8;
      return;
    }
    while (count_ <= 56) {
      const std::uint64_t byte = next_ < end_ ? *next_++ : 0;
      bits_ |= byte << (56 - count_);
      count_ += 8;
    }
  }

  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// Bits from a TLzhReadProc: a 16-bit buffer refilled one byte at a time
// whenever it holds 8 bits or fewer; a byte the source does not deliver
// reads as zero.
class CallbackBitReader {
 public:
  explicit CallbackBitReader(const TLzhReadProc& read) : read_(read) {}

  unsigned NextBit() {
    Refill();
    const unsigned bit = buffer_ >> 15;
    buffer_ = static_cast<std::uint16_t>(buffer_ << 1);
    --count_;
    return bit;
  }

  // A match position, read as the installer always has: eight bits that
  // select the prefix code's length, then the rest bit by bit.
  unsigned Position() {
    unsigned b = NextByte();
    const unsigned high = static_cast<unsigned>(kPositionTables.upper_bits[b])
                          << 6;
    for (int m = kPositionTables.code_length[b] - 2; m > 0; --m) {
      b = (b << 1) | NextBit();
    }
    return high | (b & 63);
  }

  unsigned NextByte() {
    Refill();
    const unsigned byte = buffer_ >> 8;
    buffer_ = static_cast<std::uint16_t>(buffer_ << 8);
    count_ -= 8;
    return byte;
  }

 private:
  void Refill() {
    while (count_ <= 8) {
      std::uint8_t byte = 0;
      std::uint16_t delivered = 0;
      read_(&byte, 1, delivered);
      if (delivered == 0) byte = 0;
      buffer_ = static_cast<std::uint16_t>(buffer_ | byte << (8 - count_));
      count_ += 8;
    }
  }

  const TLzhReadProc& read_;
  std::uint16_t buffer_ = 0;
  int count_ = 0;
};

// Output into a memory block that never writes at or past `capacity`.
// Matches read the block's own earlier bytes; a position before its start
// still holds the ring's initial fill.
class MemoryOutput {
 public:
  MemoryOutput(std::uint8_t* target, std::uint32_t capacity)
      : target_(target), capacity_(capacity) {}

  std::uint32_t Produced() const { return produced_; }

  void Literal(unsigned byte) {
    if (produced_ == capacity_) throw ElzhException(kOverflowMessage);
    target_[produced_++] = static_cast<std::uint8_t>(byte);
  }

  // Copies `length` bytes from `distance` (1..4096) bytes back, byte by
  // byte so that a match may overlap its own output.
  void Match(std::uint32_t distance, std::uint32_t length) {
    if (length > capacity_ - produced_) throw ElzhException(kOverflowMessage);
    std::uint8_t* out = target_ + produced_;
    if (distance <= produced_) {
      const std::uint8_t* from = out - distance;
      if (distance >= 8 && capacity_ - produced_ - length >= 8) {
        // Eight bytes at a time: each piece reads only bytes already in
        // place, and the overshoot stays within the target.
        for (std::uint32_t k = 0; k < length; k += 8) {
          std::memcpy(out + k, from + k, 8);
        }
      } else {
        for (std::uint32_t k = 0; k < length; ++k) out[k] = from[k];
      }
    } else {
      // Reaches into the initial fill: the first `fill` bytes come from it.
      const std::uint32_t fill = distance - produced_;
      for (std::uint32_t k = 0; k < length; ++k) {
        out[k] = k < fill ? kRingFill : target_[k - fill];
      }
    }
    produced_ += length;
  }

 private:
  std::uint8_t* target_;
  std::uint32_t capacity_;
  std::uint32_t produced_ = 0;
};

// Output through a TLzhWriteProc, one byte per call, with the ring as the
// dictionary. A sink that does not take its byte ends the decoding.
class RingOutput {
 public:
  RingOutput(const TLzhWriteProc& write, std::uint8_t* ring)
      : write_(write), ring_(ring) {
    std::memset(ring_, kRingFill, kRingSize);
  }

  std::int64_t Produced() const { return produced_; }

  void Literal(unsigned byte) { Put(static_cast<std::uint8_t>(byte)); }

  void Match(std::uint32_t distance, std::uint32_t length) {
    const unsigned start = (r_ - distance) & kRingMask;
    for (std::uint32_t k = 0; k < length; ++k) {
      Put(ring_[(start + k) & kRingMask]);
    }
  }

 private:
  void Put(std::uint8_t byte) {
    std::uint16_t written = 0;
    write_(&byte, 1, written);
    if (written != 1) throw ElzhException(kSinkMessage);
    ring_[r_] = byte;
    r_ = (r_ + 1) & kRingMask;
    ++produced_;
  }

  const TLzhWriteProc& write_;
  std::uint8_t* ring_;
  unsigned r_ = lzh::kFirstWritePosition;
  std::int64_t produced_ = 0;
};

// The decode loop: symbols until `length` bytes have been produced; the last
// match is copied whole even when it runs past `length`.
// Reader and output are taken by value: as locals whose address never
// escapes they live in registers, where bytes stored to the target could
// otherwise alias them and force a reload after every write.
template <class Reader, class Output>
Output DecodeSymbols(LzhTree& tree, Reader in, Output out,
                     std::int32_t length) {
  // The walk from the root records its path for the update that follows.
  std::uint16_t path[kTreeSize];
  while (out.Produced() < static_cast<std::int64_t>(length)) {
    int depth = 0;
    unsigned node = tree.Child(lzh::kRoot) + in.NextBit();
    path[depth++] = static_cast<std::uint16_t>(node);
    unsigned child;
    while ((child = tree.Child(node)) < unsigned{kTreeSize}) {
      node = child + in.NextBit();
      path[depth++] = static_cast<std::uint16_t>(node);
    }
    const int symbol = static_cast<int>(child) - kTreeSize;
    tree.UpdateAlong(path, depth);
    if (symbol < lzh::kLiteralCount) {
      out.Literal(static_cast<unsigned>(symbol));
    } else {
      const unsigned position = in.Position();
      out.Match(position + 1,
                static_cast<std::uint32_t>(lzh::MatchLength(symbol)));
    }
  }
  return out;
}

struct RingState {
  LzhTree tree;
  std::uint8_t ring[kRingSize];
};

}  // namespace

void LzhDecode(const TLzhReadProc& read_proc, const TLzhWriteProc& write_proc) {
  std::uint8_t field[lzh::kLengthFieldSize];
  std::uint16_t have = 0;
  while (have < sizeof field) {
    std::uint16_t delivered = 0;
    const std::uint16_t want = static_cast<std::uint16_t>(sizeof field - have);
    read_proc(field + have, want, delivered);
    if (delivered == 0) break;
    have = static_cast<std::uint16_t>(have +
                                      (delivered < want ? delivered : want));
  }
  if (have < sizeof field) return;
  const std::int32_t length = ReadLength(field);
  if (length <= 0) return;

  std::unique_ptr<RingState> state = AllocateState<RingState>();
  state->tree.Init();
  DecodeSymbols(state->tree, CallbackBitReader(read_proc),
                RingOutput(write_proc, state->ring), length);
}

std::int32_t LzhDecodeBuffer(const std::uint8_t* source,
                             std::uint32_t source_length, std::uint8_t* target,
                             std::uint32_t target_capacity) {
  if (source_length < lzh::kLengthFieldSize) return 0;
  const std::int32_t length = ReadLength(source);
  if (length <= 0) return 0;
  // The produced count is returned as a signed 32-bit value.
  const std::uint32_t capacity =
      target_capacity < static_cast<std::uint32_t>(
                            std::numeric_limits<std::int32_t>::max())
          ? target_capacity
          : static_cast<std::uint32_t>(
                std::numeric_limits<std::int32_t>::max());
  if (static_cast<std::uint32_t>(length) > capacity) {
    throw ElzhException(kOverflowMessage);
  }

  std::unique_ptr<LzhTree> tree = AllocateState<LzhTree>();
  tree->Init();
  const MemoryOutput out =
      DecodeSymbols(*tree,
                    MemoryBitReader(source + lzh::kLengthFieldSize,
                                    source_length - lzh::kLengthFieldSize),
                    MemoryOutput(target, capacity), length);
  return static_cast<std::int32_t>(out.Produced());
}

}  // namespace sfx
