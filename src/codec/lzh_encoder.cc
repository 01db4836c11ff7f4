// The LZH encoder (lzh_encoder.h). The parse is chosen segment by segment:
// for each segment of kSegment input bytes the costs of all symbols are
// read off the adaptive tree as it stands at the segment's start, and the
// cheapest way to code the segment under those costs (literals and, at
// every position, the nearest match of each length) is found by dynamic
// programming; the segment is then coded, which updates the tree.
#include "codec/lzh_encoder.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "codec/lzh_format.h"
#include "codec/lzh_match_finder.h"
#include "codec/lzh_symbol_writer.h"

namespace sfx {

namespace {

using lzh::kMaxMatch;
using lzh::kMinMatch;

constexpr std::size_t kSegment = 4096;
constexpr int kMaxChain = 96;

struct Step {
  std::uint32_t cost = std::numeric_limits<std::uint32_t>::max();
  std::uint16_t length = 0;  // 1: literal; else a match of this length
  std::uint16_t distance = 0;
};

class SegmentParser {
 public:
  SegmentParser(const std::uint8_t* data, std::size_t size,
                lzh::LzhSymbolWriter* writer)
      : data_(data),
        size_(size),
        writer_(writer),
        finder_(data, size, kMaxChain) {}

  void Run() {
    for (std::size_t start = 0; start < size_; start += kSegment) {
      CodeSegment(start, std::min(kSegment, size_ - start));
    }
  }

 private:
  void ReadCosts() {
    for (int s = 0; s < lzh::kSymbolCount; ++s) {
      symbol_cost_[s] = static_cast<std::uint32_t>(writer_->SymbolCost(s));
    }
    for (int d = 0; d < 64; ++d) {
      position_cost_[d] =
          static_cast<std::uint32_t>(lzh::PositionCodeLength(d) + 6);
    }
  }

  void CodeSegment(std::size_t start, std::size_t n) {
    ReadCosts();
    steps_.assign(n + 1, Step());
    steps_[0].cost = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t here = steps_[i].cost;
      const std::uint32_t literal = here + symbol_cost_[data_[start + i]];
      if (literal < steps_[i + 1].cost) steps_[i + 1] = {literal, 1, 0};
      const int max_length =
          static_cast<int>(std::min<std::size_t>(kMaxMatch, n - i));
      candidates_.clear();
      finder_.Find(start + i, max_length, &candidates_);
      int length = kMinMatch;
      for (const lzh::MatchCandidate& c : candidates_) {
        const std::uint32_t position = position_cost_[(c.distance - 1) >> 6];
        for (; length <= c.length; ++length) {
          const std::uint32_t cost =
              here + position + symbol_cost_[lzh::MatchSymbol(length)];
          Step& to = steps_[i + length];
          if (cost < to.cost) {
            to = {cost, static_cast<std::uint16_t>(length),
                  static_cast<std::uint16_t>(c.distance)};
          }
        }
      }
    }
    // Walk back from the end, then code the steps in order.
    path_.clear();
    for (std::size_t i = n; i > 0; i -= steps_[i].length) path_.push_back(i);
    std::size_t at = 0;
    for (auto it = path_.rbegin(); it != path_.rend(); ++it) {
      const Step& step = steps_[*it];
      if (step.length == 1) {
        writer_->Literal(data_[start + at]);
      } else {
        writer_->Match(step.length, step.distance);
      }
      at = *it;
    }
  }

  const std::uint8_t* data_;
  std::size_t size_;
  lzh::LzhSymbolWriter* writer_;
  lzh::LzhMatchFinder finder_;
  std::uint32_t symbol_cost_[lzh::kSymbolCount];
  std::uint32_t position_cost_[64];
  std::vector<Step> steps_;
  std::vector<std::size_t> path_;
  std::vector<lzh::MatchCandidate> candidates_;
};

}  // namespace

std::vector<std::uint8_t> LzhEncodeBuffer(const std::uint8_t* data,
                                          std::size_t size) {
  if (size >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("LZH : input longer than 2^31 - 1 bytes");
  }
  lzh::LzhSymbolWriter writer(static_cast<std::uint32_t>(size));
  if (size > 0) SegmentParser(data, size, &writer).Run();
  return writer.Finish();
}

}  // namespace sfx
