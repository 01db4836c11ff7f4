// Tests of the match finders against brute force over the window: every
// candidate is a real match within 4096 bytes, lengths grow, and with a
// search long enough to see the whole window each candidate is the nearest
// match of its length and the longest match is found.
#include "codec/lzh_match_finder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "unit/codec/lzh_test_data.h"

namespace sfx {
namespace lzh {
namespace {

using testdata::Bytes;

// nearest[L] for L = 0..limit: the nearest distance (1..4096) at which the
// L bytes at padded position v repeat, with the data behind 4096 spaces;
// 0 when none.
std::vector<int> NearestDistances(const Bytes& history, std::size_t v,
                                  int limit) {
  std::vector<int> nearest(static_cast<std::size_t>(limit) + 1, 0);
  int reached = 0;  // nearest[1..reached] are set
  for (int d = 1; d <= 4096 && reached < limit; ++d) {
    int n = 0;
    while (n < limit && history[v - d + n] == history[v + n]) ++n;
    for (; reached < n; ++reached) nearest[reached + 1] = d;
  }
  return nearest;
}

// The space-filled window in front of `data`, as a stream starts it.
Bytes WithHistory(const Bytes& data) {
  Bytes history(4096 + data.size(), ' ');
  std::copy(data.begin(), data.end(), history.begin() + 4096);
  return history;
}

// The longest length up to `limit` that `nearest` has a match for.
int LongestIn(const std::vector<int>& nearest, int limit) {
  int n = 0;
  while (n < limit && nearest[n + 1] != 0) ++n;
  return n;
}

// The largest match length at `pos` of `data`.
int LimitAt(const Bytes& data, std::size_t pos) {
  return static_cast<int>(std::min<std::size_t>(60, data.size() - pos));
}

template <class Finder>
void ExpectNearestMatches(const Bytes& data, const char* name) {
  const Bytes history = WithHistory(data);
  // A search that may visit every position of the window.
  Finder finder(data.data(), data.size(), 1 << 20);
  std::vector<MatchCandidate> found;
  for (std::size_t pos = 0; pos < data.size(); ++pos) {
    // Every third position is only entered, as a parse does inside matches.
    if (pos % 3 == 2) {
      finder.Skip(pos);
      continue;
    }
    const int limit = LimitAt(data, pos);
    found.clear();
    const int longest = finder.Find(pos, limit, &found);
    const std::vector<int> nearest =
        NearestDistances(history, pos + 4096, limit);
    int expected_longest = LongestIn(nearest, limit);
    if (expected_longest < 3) expected_longest = 0;
    ASSERT_EQ(longest, expected_longest) << name << " at " << pos;
    int previous = 2;
    for (const MatchCandidate& c : found) {
      ASSERT_GT(c.length, previous) << name << " at " << pos;
      ASSERT_LE(c.length, limit);
      // Nearest for every length it newly covers.
      for (int length = previous + 1; length <= c.length; ++length) {
        ASSERT_EQ(c.distance, nearest[length])
            << name << " at " << pos << " length " << length;
      }
      previous = c.length;
    }
    ASSERT_EQ(previous, longest > 0 ? longest : 2) << name << " at " << pos;
  }
}

TEST(LzhMatchFinderTest, NearestMatchOfEveryLength) {
  const std::vector<std::pair<const char*, Bytes>> inputs = {
      {"text", testdata::Text(4000, 31)},
      {"runs", testdata::Runs(4000, 32)},
      {"period 4095", testdata::Periodic(5000, 4095, 33)},
      {"leading spaces", testdata::LeadingSpaces(3000, 34)},
      {"records", testdata::Records(5000, 35)},
  };
  for (const auto& [name, data] : inputs) {
    ExpectNearestMatches<LzhMatchFinder>(data, name);
    ExpectNearestMatches<LzhChainFinder>(data, name);
  }
}

// With the fast level's short chains, the chain finder still finds the
// longest match almost everywhere in data where every short string recurs
// hundreds of times: it searches further once it has a match of 4 bytes.
TEST(LzhMatchFinderTest, ChainFinderReachesDeepMatchesWithShortChains) {
  const Bytes data = testdata::Records(6000, 36);
  const Bytes history = WithHistory(data);
  LzhChainFinder finder(data.data(), data.size(), 32);
  std::vector<MatchCandidate> found;
  int missed = 0;
  for (std::size_t pos = 0; pos < data.size(); ++pos) {
    const int limit = LimitAt(data, pos);
    found.clear();
    const int longest = finder.Find(pos, limit, &found);
    const int expected =
        LongestIn(NearestDistances(history, pos + 4096, limit), limit);
    if (longest < expected && expected >= 3) ++missed;
  }
  EXPECT_LE(missed, static_cast<int>(data.size() / 100));
}

}  // namespace
}  // namespace lzh
}  // namespace sfx
