// Tests of the LZH decoder: the worked example, hand-built symbol streams
// checked against a plain model of the window, edge lengths, truncation,
// the target's capacity, and agreement of the callback and memory paths.
#include "codec/lzh_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <variant>

#include "codec/lzh_encoder.h"
#include "codec/lzh_symbol_writer.h"
#include "unit/codec/lzh_test_data.h"

namespace sfx {
namespace {

using testdata::Bytes;

constexpr char kOverflow[] = "LZH : Decoded data exceed the target buffer";

const Bytes kAbcStream = {0x03, 0x00, 0x00, 0x00, 0xF6, 0xFB, 0xBD, 0xE0};

// LzhDecodeBuffer into a buffer of `capacity` bytes followed by a guard
// zone that must stay untouched. Expects success unless `status` is given.
Bytes DecodeGuarded(const Bytes& stream, std::uint32_t capacity,
                    Status* status = nullptr) {
  constexpr std::size_t kGuard = 256;
  constexpr std::uint8_t kCanary = 0xA5;
  Bytes target(capacity + kGuard, kCanary);
  std::int32_t produced = -1;
  const Status decoded =
      LzhDecodeBuffer(stream.data(), static_cast<std::uint32_t>(stream.size()),
                      target.data(), capacity, &produced);
  if (status) {
    *status = decoded;
  } else {
    EXPECT_TRUE(decoded.ok()) << decoded.message();
  }
  for (std::size_t i = capacity; i < target.size(); ++i) {
    EXPECT_EQ(target[i], kCanary) << "written past capacity at " << i;
  }
  EXPECT_GE(produced, 0);
  EXPECT_LE(static_cast<std::uint32_t>(produced), capacity);
  target.resize(static_cast<std::size_t>(produced));
  return target;
}

Bytes Decode(const Bytes& stream) { return DecodeGuarded(stream, 1u << 20); }

struct CallbackTrace {
  Bytes output;
  std::vector<std::uint16_t> requests;
  Status status;
};

// LzhDecode over `stream`, delivering at most `chunk` bytes per read; the
// sink refuses bytes beyond `limit`.
CallbackTrace DecodeWithCallbacks(const Bytes& stream,
                                  std::size_t limit = 1u << 20,
                                  std::uint16_t chunk = 0xFFFF) {
  CallbackTrace trace;
  std::size_t pos = 0;
  trace.status = LzhDecode(
      [&](std::uint8_t* buffer, std::uint16_t requested,
          std::uint16_t& delivered) {
        trace.requests.push_back(requested);
        std::size_t n =
            std::min<std::size_t>({requested, chunk, stream.size() - pos});
        if (n > 0) std::memcpy(buffer, stream.data() + pos, n);
        pos += n;
        delivered = static_cast<std::uint16_t>(n);
      },
      [&](const std::uint8_t* buffer, std::uint16_t count,
          std::uint16_t& written) {
        written = 0;
        for (std::uint16_t i = 0; i < count && trace.output.size() < limit;
             ++i, ++written) {
          trace.output.push_back(buffer[i]);
        }
      });
  return trace;
}

// A symbol of a hand-built stream.
struct Lit {
  std::uint8_t byte;
};
struct Copy {
  int length;
  int distance;
};
using Symbol = std::variant<Lit, Copy>;

Bytes BuildStream(std::uint32_t length_field,
                  const std::vector<Symbol>& symbols) {
  lzh::LzhSymbolWriter writer(length_field);
  for (const Symbol& s : symbols) {
    if (const Lit* lit = std::get_if<Lit>(&s)) {
      writer.Literal(lit->byte);
    } else {
      const Copy& copy = std::get<Copy>(s);
      writer.Match(copy.length, copy.distance);
    }
  }
  return writer.Finish();
}

// What the symbols mean: a history that starts with 4096 spaces, matches
// copied byte by byte from `distance` back.
Bytes Model(const std::vector<Symbol>& symbols) {
  Bytes history(4096, ' ');
  for (const Symbol& s : symbols) {
    if (const Lit* lit = std::get_if<Lit>(&s)) {
      history.push_back(lit->byte);
    } else {
      const Copy& copy = std::get<Copy>(s);
      for (int k = 0; k < copy.length; ++k) {
        history.push_back(history[history.size() - copy.distance]);
      }
    }
  }
  return Bytes(history.begin() + 4096, history.end());
}

TEST(LzhDecoderTest, WorkedExampleIgnoresTrailingBytes) {
  const std::vector<Bytes> tails = {
      {},
      {0x00},
      {0xFF},
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
      testdata::RandomBytes(100, 7)};
  for (const Bytes& tail : tails) {
    Bytes stream = kAbcStream;
    stream.insert(stream.end(), tail.begin(), tail.end());
    EXPECT_EQ(Decode(stream), Bytes({'a', 'b', 'c'})) << tail.size();
    EXPECT_EQ(DecodeWithCallbacks(stream).output, Bytes({'a', 'b', 'c'}));
  }
}

TEST(LzhDecoderTest, ShortInputAndNonPositiveLengthProduceNothing) {
  const std::vector<Bytes> streams = {
      {},
      {0x03},
      {0x03, 0x00, 0x00},
      {0x00, 0x00, 0x00, 0x00, 0xF6, 0xFB},
      {0xFF, 0xFF, 0xFF, 0xFF, 0xF6, 0xFB},  // -1
      {0x00, 0x00, 0x00, 0x80, 0xF6, 0xFB},  // INT32_MIN
  };
  for (const Bytes& stream : streams) {
    EXPECT_TRUE(Decode(stream).empty());
    const CallbackTrace trace = DecodeWithCallbacks(stream);
    EXPECT_TRUE(trace.output.empty());
    // Only the length field is asked for; nothing further is read. A short
    // source is asked for the rest of the field once more.
    ASSERT_FALSE(trace.requests.empty());
    EXPECT_EQ(trace.requests[0], 4);
    EXPECT_EQ(trace.requests.size(),
              stream.empty() || stream.size() >= 4 ? 1u : 2u);
  }
}

TEST(LzhDecoderTest, HandBuiltStreamsMatchTheWindowModel) {
  std::vector<std::vector<Symbol>> cases = {
      // Distance 1 repeats the previous byte, overlapping its own output.
      {Lit{'x'}, Copy{60, 1}, Copy{3, 1}},
      // Distance 1 at the very start copies the space before the data.
      {Copy{5, 1}, Lit{'a'}},
      // The farthest distance at the start reaches the initial spaces.
      {Copy{10, 4096}, Lit{'z'}, Copy{4, 4096}},
      // A match that starts in the spaces and runs into the data.
      {Lit{'a'}, Lit{'b'}, Lit{'c'}, Copy{8, 5}},
      // Overlapping copy with a period of 3.
      {Lit{'1'}, Lit{'2'}, Lit{'3'}, Copy{60, 3}, Copy{59, 61}},
  };
  // Every distance nearer than a word, at lengths around a word, after
  // distinct bytes so that a wrong phase shows.
  std::vector<Symbol> near;
  for (int b = 0; b < 16; ++b)
    near.push_back(Lit{static_cast<std::uint8_t>(b)});
  for (int distance = 1; distance <= 9; ++distance) {
    for (int length : {3, 7, 8, 9, 13, 60}) {
      near.push_back(Copy{length, distance});
      near.push_back(Lit{static_cast<std::uint8_t>(length + distance)});
    }
  }
  cases.push_back(near);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Bytes expected = Model(cases[i]);
    const Bytes stream =
        BuildStream(static_cast<std::uint32_t>(expected.size()), cases[i]);
    EXPECT_EQ(Decode(stream), expected) << "case " << i;
    EXPECT_EQ(DecodeWithCallbacks(stream).output, expected) << "case " << i;
  }
}

TEST(LzhDecoderTest, FarMatchesAcrossTheWrappedRing) {
  // 5000 literals wrap the ring; then matches at every position-code length.
  std::vector<Symbol> symbols;
  const Bytes noise = testdata::RandomBytes(5000, 11);
  for (std::uint8_t b : noise) symbols.push_back(Lit{b});
  for (int distance :
       {1, 64, 65, 256, 257, 768, 769, 1536, 1537, 3072, 3073, 4095, 4096}) {
    symbols.push_back(Copy{3 + distance % 58, distance});
  }
  const Bytes expected = Model(symbols);
  const Bytes stream =
      BuildStream(static_cast<std::uint32_t>(expected.size()), symbols);
  EXPECT_EQ(Decode(stream), expected);
  EXPECT_EQ(DecodeWithCallbacks(stream).output, expected);
}

TEST(LzhDecoderTest, LastMatchRunsPastTheLengthField) {
  // Length field 4, but the second symbol is a match of 10: the match is
  // copied whole when the target has room, and refused when it has not.
  const Bytes stream = BuildStream(4, {Lit{'q'}, Copy{10, 1}});
  EXPECT_EQ(Decode(stream), Bytes(11, 'q'));
  EXPECT_EQ(DecodeWithCallbacks(stream).output, Bytes(11, 'q'));
  EXPECT_EQ(DecodeGuarded(stream, 11), Bytes(11, 'q'));
  for (std::uint32_t capacity : {4u, 5u, 10u}) {
    Status status;
    DecodeGuarded(stream, capacity, &status);
    EXPECT_EQ(status.message(), kOverflow) << capacity;
  }
}

TEST(LzhDecoderTest, DeclaredLengthAboveCapacityIsRefused) {
  const Bytes data = testdata::Text(5000, 3);
  const Bytes stream = LzhEncodeBuffer(data.data(), data.size());
  EXPECT_EQ(DecodeGuarded(stream, 5000), data);
  for (std::uint32_t capacity : {0u, 1u, 4999u}) {
    Status status;
    DecodeGuarded(stream, capacity, &status);
    EXPECT_EQ(status.message(), kOverflow) << capacity;
  }
  // A hostile length field with an empty bit stream.
  const Bytes hostile = {0xFF, 0xFF, 0xFF, 0x7F};
  Status status;
  DecodeGuarded(hostile, 130000, &status);
  EXPECT_EQ(status.message(), kOverflow);
  // The callback path stops when its sink refuses a byte, and calls it no
  // more.
  const CallbackTrace trace = DecodeWithCallbacks(hostile, 1000);
  EXPECT_EQ(trace.status.message(), "LZH : Cannot write decoded data");
  EXPECT_EQ(trace.output.size(), 1000u);
}

TEST(LzhDecoderTest, TruncatedInputReadsZeroBits) {
  const Bytes data = testdata::Text(20000, 5);
  const Bytes stream = LzhEncodeBuffer(data.data(), data.size());
  for (std::size_t keep :
       {4ul, 5ul, 12ul, 100ul, stream.size() / 2, stream.size() - 1}) {
    Bytes cut(stream.begin(), stream.begin() + keep);
    Bytes padded = cut;
    padded.resize(stream.size() + 64, 0);
    const Bytes from_cut = Decode(cut);
    EXPECT_GE(from_cut.size(), data.size()) << keep;
    EXPECT_LT(from_cut.size(), data.size() + 60) << keep;
    EXPECT_EQ(from_cut, Decode(padded)) << keep;
    EXPECT_EQ(from_cut, DecodeWithCallbacks(cut).output) << keep;
    // Everything the kept bits fully describe is still right.
    const std::size_t good = keep == stream.size() - 1 ? data.size() / 2 : 0;
    EXPECT_TRUE(
        std::equal(data.begin(), data.begin() + good, from_cut.begin()));
  }
}

TEST(LzhDecoderTest, CallbackReaderAsksForFourThenPieces) {
  const Bytes data = testdata::Text(3000, 9);
  const Bytes stream = LzhEncodeBuffer(data.data(), data.size());
  const CallbackTrace trace = DecodeWithCallbacks(stream);
  EXPECT_EQ(trace.output, data);
  ASSERT_GT(trace.requests.size(), 1u);
  EXPECT_EQ(trace.requests[0], 4);
  EXPECT_TRUE(std::all_of(trace.requests.begin() + 1, trace.requests.end(),
                          [](std::uint16_t r) { return r == 1024; }));
  // Sources that deliver less than asked, down to one byte, work too.
  for (std::uint16_t chunk : {1, 3, 1000}) {
    EXPECT_EQ(DecodeWithCallbacks(stream, 1u << 20, chunk).output, data)
        << chunk;
  }
}

TEST(LzhDecoderTest, MemoryAndCallbackPathsAgreeOnArbitraryStreams) {
  // Random bit streams behind small length fields: whatever they decode
  // to, both paths must produce the same bytes.
  for (std::uint32_t seed = 0; seed < 200; ++seed) {
    Bytes stream = testdata::RandomBytes(8 + seed * 7, seed);
    const std::uint32_t length = 1 + seed * 37 % 9000;
    std::memcpy(stream.data(), &length, 4);  // little-endian host
    const Bytes fast = DecodeGuarded(stream, length + 64);
    EXPECT_EQ(fast, DecodeWithCallbacks(stream).output) << seed;
    EXPECT_GE(fast.size(), length);
  }
}

}  // namespace
}  // namespace sfx
