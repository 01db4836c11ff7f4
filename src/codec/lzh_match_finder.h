// Binary-tree match finder over the 4096-byte window of the LZH encoder
// (packer side only). The data is seen behind 4096 spaces, the ring's
// initial content, so matches may reach back into them as the decoder
// allows.
#ifndef SFX_CODEC_LZH_MATCH_FINDER_H_
#define SFX_CODEC_LZH_MATCH_FINDER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx {
namespace lzh {

struct MatchCandidate {
  int length;
  int distance;  // 1..4096
};

class LzhMatchFinder {
 public:
  // `data` must outlive the finder. `max_chain` bounds the candidates
  // examined per position.
  LzhMatchFinder(const std::uint8_t* data, std::size_t size, int max_chain);

  // Finds the matches at input position `pos` and then enters `pos` in the
  // window. Positions must be visited in ascending order, each exactly once
  // (Skip() enters a position without searching). Appends to `out` one
  // candidate per length improvement, nearest first, so each candidate is
  // the nearest match of at least its length; lengths are capped by
  // `max_length` and the end of the data. Returns the longest length found
  // (0 when none reaches 3).
  int Find(std::size_t pos, int max_length, std::vector<MatchCandidate>* out);
  void Skip(std::size_t pos);

 private:
  std::uint32_t Hash(std::size_t v) const;
  // Enters padded position v, reporting its matches of up to `limit`
  // bytes to `out` (when given).
  int Search(std::size_t v, int limit, std::vector<MatchCandidate>* out);

  std::vector<std::uint8_t> padded_;  // 4096 spaces + data + slack
  std::size_t end_;                   // end of the data in padded_
  int max_chain_;
  std::vector<std::uint32_t> head_;
  // Per hash bucket, a binary search tree of the window's positions
  // ordered by the strings that start there, newest at the root (so that
  // a search meets nearer positions first): the two links of position p
  // sit at 2 * (p & kTreeMask) and the next element.
  std::vector<std::uint32_t> tree_;
};

// The same contract over hash chains: a position is entered in O(1), so
// Skip() costs next to nothing, but the search is a plain walk down chains
// (newest first): to the nearest position whose first three bytes match,
// then along those whose first four bytes hash alike, at most `max_chain`
// of them. When these are used up and a match of four bytes or more has
// turned up (repetitive data, where the longest match tends to lie further
// back), up to 1024 positions whose first eight bytes hash alike follow.
// Suits a parse that searches only where it needs a match.
class LzhChainFinder {
 public:
  LzhChainFinder(const std::uint8_t* data, std::size_t size, int max_chain);

  int Find(std::size_t pos, int max_length, std::vector<MatchCandidate>* out);
  void Skip(std::size_t pos);

 private:
  void Insert(std::size_t v);
  // Enters padded position v, whose three- and four-byte hashes are given.
  void Link(std::size_t v, std::uint32_t h3, std::uint32_t h);
  // Walks a chain from `candidate` along `links`, at most `budget`
  // positions, appending the matches longer than `*best`. True when the
  // budget ran out before the chain and the longest possible match did;
  // `candidate` is then the first position not visited.
  bool WalkChain(std::uint32_t& candidate,
                 const std::vector<std::uint32_t>& links, int budget,
                 std::size_t v, int limit, int* best,
                 std::vector<MatchCandidate>* out);

  std::vector<std::uint8_t> padded_;  // 4096 spaces + data + slack
  std::size_t end_;
  int max_chain_;
  std::vector<std::uint32_t> head_;   // newest position per 4-byte hash
  std::vector<std::uint32_t> head3_;  // newest position per 3-byte hash
  std::vector<std::uint32_t> prev_;   // rings of links, by position & 4095
  std::vector<std::uint32_t> prev3_;
  std::vector<std::uint32_t> head8_;  // newest position per 8-byte hash
  std::vector<std::uint32_t> prev8_;
};

}  // namespace lzh
}  // namespace sfx

#endif  // SFX_CODEC_LZH_MATCH_FINDER_H_
