// The LZH decoder (lzh_decoder.h). One core loop, written against a bit
// reader and an output, serves two pairs of them:
//  - LzhDecode: a reader that takes the source through a buffer filled by
//    TLzhReadProc, and an output that keeps the dictionary in a window
//    buffer laid out flat (no wrapping) and hands it to TLzhWriteProc in
//    pieces;
//  - LzhDecodeBuffer: a word-at-a-time reader over the source block and an
//    output that copies matches straight out of the target block (its own
//    earlier output), which makes the window unnecessary.
// Both produce the same bytes; the tests compare them.
#include "codec/lzh_decoder.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "base/bytes.h"
#include "codec/lzh_format.h"
#include "codec/lzh_tree.h"

namespace sfx {

namespace {

using lzh::kRingFill;
using lzh::kRingSize;
using lzh::kTreeSize;
using lzh::LzhTree;
using lzh::PositionTables;

constexpr char kNoMemoryMessage[] =
    "LZH : Cannot get memory for dictionary tables";
constexpr char kOverflowMessage[] =
    "LZH : Decoded data exceed the target buffer";
constexpr char kSinkMessage[] = "LZH : Cannot write decoded data";
// Bytes the callback path asks its source for at a time.
constexpr std::uint16_t kReadChunk = 1024;

// A piece of working state, from malloc: null when memory ran out, with
// no allocation function that throws and none that needs the library's
// nothrow tag (which brings its own unwind data into the installer).
struct FreeState {
  template <class T>
  void operator()(T* state) const {
    state->~T();
    std::free(state);
  }
};
template <class T>
using StatePtr = std::unique_ptr<T, FreeState>;
template <class T>
StatePtr<T> AllocateState() {
  void* memory = std::malloc(sizeof(T));
  return StatePtr<T>(memory ? new (memory) T : nullptr);
}

// The bit buffer is as wide as the machine's registers: 64 bits on the
// host, 32 in the installer, where a 64-bit buffer would take register
// pairs and a shift routine.
using BitWord = std::uintptr_t;
constexpr int kWordBits = static_cast<int>(sizeof(BitWord) * 8);

// Loads sizeof(BitWord) bytes as a big-endian word (the first byte on top).
inline BitWord LoadBigEndian(const std::uint8_t* p) {
  BitWord word;
  std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if constexpr (sizeof(BitWord) == 8) {
    return static_cast<BitWord>(__builtin_bswap64(word));
  } else {
    return static_cast<BitWord>(
        __builtin_bswap32(static_cast<std::uint32_t>(word)));
  }
#else
  word = 0;
  for (std::size_t i = 0; i < sizeof word; ++i) word = word << 8 | p[i];
  return word;
#endif
}

// Copies `length` bytes from `distance` (1..4096) bytes back, where a
// match may overlap its own output, eight bytes at a time: it may write up
// to seven bytes past `out + length`. A match nearer than eight bytes
// repeats its last `distance` bytes, so once a multiple of `distance` of
// eight or more bytes is in place, that far back holds the same bytes and
// the rest can go eight at a time too (a run of zeros would otherwise go a
// byte at a time, each byte waiting for the one before).
inline void CopyMatch(std::uint8_t* out, std::uint32_t distance,
                      std::uint32_t length) {
  const std::uint8_t* from = out - distance;
  std::uint32_t k = 0;
  if (distance < 8) {
    std::uint32_t step = distance;
    while (step < 8) step *= 2;
    const std::uint32_t head =
        step - distance < length ? step - distance : length;
    for (; k < head; ++k) out[k] = from[k];
    from = out - step;
  }
  for (; k < length; k += 8) std::memcpy(out + k, from + k, 8);
}

// Bits of a byte stream, most significant bit of each byte first. The
// valid bits sit at the top of `bits_`; below them may sit bits of the next
// byte, which the next refill ORs in again at the same place. `Source`
// (MemoryBitReader, CallbackBitReader) says where bytes come from once
// fewer than a word's worth are left between `next_` and `end_`.
//   Refill()   NEEDBITS: at least kWordBits - 7 valid bits
//   NextBit()  one bit, refilling when the buffer is empty
//   PeekTwo()  the next two bits, not yet taken (PEEK2)
//   Drop(n)    takes n bits (DROP)
//   Position() a match position (prefix code + six bits)
template <typename Source>
class BitReader {
 public:
  unsigned NextBit() {
    if (count_ == 0) Refill();
    const unsigned bit = static_cast<unsigned>(bits_ >> (kWordBits - 1));
    bits_ <<= 1;
    --count_;
    return bit;
  }

  unsigned PeekTwo() {
    if (count_ < 2) Refill();
    return static_cast<unsigned>(bits_ >> (kWordBits - 2));
  }
  // The next `n` bits (n <= kWordBits - 8), not yet taken.
  unsigned Peek(unsigned n) {
    if (count_ < n) Refill();
    return static_cast<unsigned>(bits_ >> (kWordBits - n));
  }
  void Drop(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }

  // A match position: the prefix code of its upper six bits (3 to 8 bits,
  // looked up through the next eight bits) and its lower six bits, taken
  // from one 14-bit window.
  unsigned Position(const PositionTables& tables) {
    if (count_ < 14) Refill();
    const unsigned window = static_cast<unsigned>(bits_ >> (kWordBits - 14));
    const unsigned lead = window >> 6;
    const unsigned length = tables.code_length[lead];
    const unsigned low = (window >> (8 - length)) & 63;
    bits_ <<= length + 6;
    count_ -= length + 6;
    return static_cast<unsigned>(tables.upper_bits[lead]) << 6 | low;
  }

 protected:
  BitReader(const std::uint8_t* next, const std::uint8_t* end)
      : next_(next), end_(end) {}

  const std::uint8_t* next_;
  const std::uint8_t* end_;

 private:
  // Precondition: count_ <= kWordBits - 8, so that a whole byte fits.
  void Refill() {
    if (static_cast<std::size_t>(end_ - next_) >= sizeof(BitWord)) {
      bits_ |= LoadBigEndian(next_) >> count_;
      next_ += (kWordBits - 1 - count_) >> 3;
      count_ |= kWordBits - 8;
      return;
    }
    while (count_ <= static_cast<unsigned>(kWordBits - 8)) {
      const BitWord byte = static_cast<Source*>(this)->NextByte();
      bits_ |= byte << (kWordBits - 8 - count_);
      count_ += 8;
    }
  }

  BitWord bits_ = 0;
  unsigned count_ = 0;
};

// Bits of a memory block; reads past the end give zero bits.
class MemoryBitReader : public BitReader<MemoryBitReader> {
 public:
  MemoryBitReader(const std::uint8_t* data, std::size_t size)
      : BitReader(data, data + size) {}

  // The next byte once fewer than a word's worth are left.
  BitWord NextByte() { return next_ < end_ ? *next_++ : 0; }
};

// Bits from a TLzhReadProc, taken through a buffer that the source fills
// kReadChunk bytes at a time; bytes the source does not deliver read as
// zero.
class CallbackBitReader : public BitReader<CallbackBitReader> {
 public:
  explicit CallbackBitReader(const TLzhReadProc& read, std::uint8_t* buffer)
      : BitReader(buffer, buffer), read_(read), buffer_(buffer) {}

  // The next byte once fewer than a word's worth are left in the buffer.
  BitWord NextByte() {
    if (next_ == end_) Fetch();
    return *next_++;
  }

 private:
  // Asks the source for the next piece; an empty answer gives zero bytes.
  void Fetch() {
    std::uint16_t delivered = 0;
    read_(buffer_, kReadChunk, delivered);
    if (delivered == 0) {
      std::memset(buffer_, 0, kReadChunk);
      delivered = kReadChunk;
    }
    if (delivered > kReadChunk) delivered = kReadChunk;
    next_ = buffer_;
    end_ = buffer_ + delivered;
  }

  const TLzhReadProc& read_;
  std::uint8_t* buffer_;
};

// Output into a memory block that never writes at or past `capacity`.
// Matches read the block's own earlier bytes; a position before its start
// still holds the ring's initial fill.
class MemoryOutput {
 public:
  // `length` is the stream's decoded length, at most `capacity`.
  MemoryOutput(std::uint8_t* target, std::uint32_t capacity,
               std::uint32_t length)
      : target_(target), capacity_(capacity), length_(length) {}

  std::uint32_t Produced() const { return produced_; }
  // Whether the stream's length is still to be reached.
  bool More() const { return produced_ < length_; }
  bool Failed() const { return failed_; }

  // Below the length, which is at most the capacity.
  void Literal(unsigned byte) {
    target_[produced_++] = static_cast<std::uint8_t>(byte);
  }

  // Copies `length` bytes from `distance` (1..4096) bytes back (a match may
  // overlap its own output); a byte at a time only at the target's end,
  // where CopyMatch's overshoot would not fit.
  void Match(std::uint32_t distance, std::uint32_t length) {
    if (length > capacity_ - produced_) return Fail();
    std::uint8_t* out = target_ + produced_;
    if (distance <= produced_) {
      if (capacity_ - produced_ - length >= 8) {
        CopyMatch(out, distance, length);  // the overshoot stays in the target
      } else {
        const std::uint8_t* from = out - distance;
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
  // The target is full: counting it as produced ends the decode loop.
  void Fail() {
    failed_ = true;
    produced_ = capacity_;
  }

  std::uint8_t* target_;
  std::uint32_t capacity_;
  std::uint32_t length_;
  std::uint32_t produced_ = 0;
  bool failed_ = false;
};

// Output through a TLzhWriteProc. The window buffer holds the dictionary
// (the last 4096 bytes) in front of the bytes not yet handed to the sink,
// so that matches copy as in a memory block, without wrapping: the
// dictionary starts at the ring's initial fill, the output at kWindow.
// Once kPiece bytes of output follow the dictionary, they go to the sink
// and the buffer slides down by kPiece. A sink that does not take a whole
// piece ends the decoding. The slide is checked where the decode loop
// checks the length (More()), not after every symbol.
class WindowOutput {
 public:
  static constexpr unsigned kWindow = kRingSize;
  // 32 KB: a sink that writes to a file makes one call per piece.
  static constexpr unsigned kPiece = 8 * kRingSize;
  // Room for the output of a symbol that starts just below the slide
  // point, and for the overshoot of the eight-byte match copy.
  static constexpr std::size_t kBufferSize =
      kWindow + kPiece + lzh::kMaxMatch + 8;

  // `length` is the stream's decoded length (below 2^31).
  WindowOutput(const TLzhWriteProc& write, std::uint8_t* buffer,
               std::uint32_t length)
      : write_(write), buffer_(buffer), stop_(kWindow + length) {
    std::memset(buffer_, kRingFill, kWindow);
    Limit();
  }

  // Whether the stream's length is still to be reached; slides the buffer
  // first when a piece is full.
  bool More() {
    if (pos_ < limit_) return true;
    if (pos_ >= kWindow + kPiece) Slide();
    Limit();
    return pos_ < limit_;
  }
  bool Failed() const { return failed_; }

  void Literal(unsigned byte) {
    buffer_[pos_++] = static_cast<std::uint8_t>(byte);
  }

  // Copies `length` bytes from `distance` (1..4096) bytes back; the buffer
  // has room behind for CopyMatch's overshoot.
  void Match(std::uint32_t distance, std::uint32_t length) {
    CopyMatch(buffer_ + pos_, distance, length);
    pos_ += length;
  }

  // Hands the bytes not yet handed over (at most kPiece + 59) to the sink.
  void Flush() { Hand(pos_ - kWindow); }

 private:
  void Hand(unsigned count) {
    if (count == 0 || failed_) return;
    std::uint16_t written = 0;
    write_(buffer_ + kWindow, static_cast<std::uint16_t>(count), written);
    if (written != count) {
      // The sink is never called again, and the decode loop ends.
      failed_ = true;
      stop_ = 0;
    }
  }

  void Slide() {
    Hand(kPiece);
    std::memmove(buffer_, buffer_ + kPiece, pos_ - kPiece);
    pos_ -= kPiece;
    stop_ = stop_ > kPiece ? stop_ - kPiece : 0;
  }

  // Where More() next looks: the length or a full piece, whichever comes
  // first.
  void Limit() { limit_ = stop_ < kWindow + kPiece ? stop_ : kWindow + kPiece; }

  const TLzhWriteProc& write_;
  std::uint8_t* buffer_;
  unsigned pos_ = kWindow;
  // The value of pos_ at which the length is reached; 0 once it is behind.
  std::uint32_t stop_;
  std::uint32_t limit_ = 0;
  bool failed_ = false;
};

// What one stream's decoding works with: the tree, and the look-up
// tables of the position code, filled when the stream starts (256 steps)
// rather than kept in the program (576 bytes of the installer).
struct DecodeState {
  LzhTree tree;
  PositionTables positions;

  void Init() {
    tree.Init();
    lzh::LoadPositionTables(&positions);
  }
};

// The decode loop: symbols until the output has its length (More() false);
// the last match is copied whole even when it runs past the length.
// Reader and output are taken by value: as locals whose address never
// escapes they live in registers, where bytes stored to the target could
// otherwise alias them and force a reload after every write.
template <class Reader, class Output>
Output DecodeSymbols(DecodeState& state, Reader in, Output out) {
  LzhTree& tree = state.tree;
  // The walk from the root records its path for the update that follows.
  std::uint16_t path[kTreeSize];
  while (out.More()) {
    // The prefix table takes the first levels at once; the rest (one to
    // three levels for most codes) are walked one at a time.
    const unsigned top = in.Peek(LzhTree::kTopBits);
    const std::uint32_t end = tree.TopEnd(top);
    int depth = static_cast<int>(end >> 16);
    std::memcpy(path, tree.TopPath(top), sizeof(path[0]) * LzhTree::kTopBits);
    in.Drop(static_cast<unsigned>(depth));
    unsigned child = tree.Child(end & 0xFFFF);
    while (child < unsigned{kTreeSize}) {
      const unsigned node = child + (in.PeekTwo() >> 1);
      in.Drop(1);
      path[depth++] = static_cast<std::uint16_t>(node);
      child = tree.Child(node);
    }
    const int symbol = static_cast<int>(child) - kTreeSize;
    tree.UpdateAlong(path, depth);
    if (symbol < lzh::kLiteralCount) {
      out.Literal(static_cast<unsigned>(symbol));
    } else {
      const unsigned position = in.Position(state.positions);
      out.Match(position + 1,
                static_cast<std::uint32_t>(lzh::MatchLength(symbol)));
    }
  }
  return out;
}

struct WindowState {
  DecodeState decode;
  std::uint8_t window[WindowOutput::kBufferSize];
  std::uint8_t input[kReadChunk];
};

}  // namespace

Status LzhDecode(const TLzhReadProc& read_proc,
                 const TLzhWriteProc& write_proc) {
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
  if (have < sizeof field) return Status();
  const std::int32_t length = LoadInt32(field);
  if (length <= 0) return Status();

  StatePtr<WindowState> state = AllocateState<WindowState>();
  if (!state) return Status::Error(kNoMemoryMessage);
  state->decode.Init();
  WindowOutput out =
      DecodeSymbols(state->decode, CallbackBitReader(read_proc, state->input),
                    WindowOutput(write_proc, state->window,
                                 static_cast<std::uint32_t>(length)));
  out.Flush();
  return out.Failed() ? Status::Error(kSinkMessage) : Status();
}

Status LzhDecodeBuffer(const std::uint8_t* source, std::uint32_t source_length,
                       std::uint8_t* target, std::uint32_t target_capacity,
                       std::int32_t* produced) {
  *produced = 0;
  if (source_length < lzh::kLengthFieldSize) return Status();
  const std::int32_t length = LoadInt32(source);
  if (length <= 0) return Status();
  // The produced count is returned as a signed 32-bit value.
  const std::uint32_t capacity =
      target_capacity < static_cast<std::uint32_t>(
                            std::numeric_limits<std::int32_t>::max())
          ? target_capacity
          : static_cast<std::uint32_t>(
                std::numeric_limits<std::int32_t>::max());
  if (static_cast<std::uint32_t>(length) > capacity) {
    return Status::Error(kOverflowMessage);
  }

  StatePtr<DecodeState> state = AllocateState<DecodeState>();
  if (!state) return Status::Error(kNoMemoryMessage);
  state->Init();
  const MemoryOutput out = DecodeSymbols(
      *state,
      MemoryBitReader(source + lzh::kLengthFieldSize,
                      source_length - lzh::kLengthFieldSize),
      MemoryOutput(target, capacity, static_cast<std::uint32_t>(length)));
  if (out.Failed()) return Status::Error(kOverflowMessage);
  *produced = static_cast<std::int32_t>(out.Produced());
  return Status();
}

}  // namespace sfx
