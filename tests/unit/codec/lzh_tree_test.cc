// Tests of the adaptive Huffman tree: its invariants hold through many
// updates and rebuilds, and the decoder's path-following update leaves the
// tree exactly as the plain update does.
#include "codec/lzh_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace sfx {
namespace lzh {
namespace {

// Sorted counts, sibling pairs at even positions, internal counts equal to
// the sum of their children, consistent parent links, every symbol exactly
// one leaf.
void ExpectSound(const LzhTree& tree) {
  std::vector<int> leaf_of(kSymbolCount, -1);
  for (int n = 0; n < kTreeSize; ++n) {
    if (n + 1 < kTreeSize) {
      ASSERT_LE(tree.Count(n), tree.Count(n + 1)) << n;
    }
    const int c = tree.Child(n);
    if (c >= kTreeSize) {
      ASSERT_LT(c - kTreeSize, kSymbolCount);
      ASSERT_EQ(leaf_of[c - kTreeSize], -1) << "symbol twice";
      leaf_of[c - kTreeSize] = n;
      ASSERT_EQ(tree.Leaf(c - kTreeSize), n);
    } else {
      ASSERT_EQ(c % 2, 0) << n;
      ASSERT_LT(c + 1, n) << n;
      ASSERT_EQ(tree.Count(n), tree.Count(c) + tree.Count(c + 1)) << n;
      ASSERT_EQ(tree.Parent(c), n);
      ASSERT_EQ(tree.Parent(c + 1), n);
      ASSERT_EQ(tree.Grandchild(n, 0), tree.Child(c)) << n;
      ASSERT_EQ(tree.Grandchild(n, 1), tree.Child(c + 1)) << n;
    }
  }
  for (int n = kTreeSize; n < kTreeSize + 4; ++n) {
    ASSERT_EQ(tree.Count(n), 0xFFFF);
  }
  ASSERT_EQ(tree.Parent(kRoot), 0);
}

// The decoder's view: the positions from the root's child down to the leaf.
std::vector<std::uint16_t> PathTo(const LzhTree& tree, int symbol) {
  std::vector<std::uint16_t> path;
  for (int x = tree.Leaf(symbol); x != kRoot; x = tree.Parent(x)) {
    path.insert(path.begin(), static_cast<std::uint16_t>(x));
  }
  return path;
}

TEST(LzhTreeTest, FreshTreeCodeLengths) {
  LzhTree tree;
  tree.Init();
  ExpectSound(tree);
  EXPECT_EQ(tree.Count(kRoot), kSymbolCount);
  // 314 leaves: the 116 lowest positions sit one level deeper.
  for (int s : {0, 97, 115}) EXPECT_EQ(PathTo(tree, s).size(), 9u) << s;
  for (int s : {116, 255, 313}) EXPECT_EQ(PathTo(tree, s).size(), 8u) << s;
}

TEST(LzhTreeTest, BothUpdatesAgreeThroughRebuilds) {
  struct Source {
    const char* name;
    std::function<int(std::mt19937&)> next;
  };
  const std::vector<Source> sources = {
      {"uniform", [](std::mt19937& r) { return static_cast<int>(r() % 314); }},
      {"skewed",
       [](std::mt19937& r) {
         return static_cast<int>(std::min(r() % 314, r() % 314));
       }},
      {"one symbol", [](std::mt19937&) { return 32; }},
  };
  for (const Source& source : sources) {
    std::mt19937 rng(7);
    LzhTree plain, along;
    plain.Init();
    along.Init();
    int rebuilds = 0;
    for (int i = 0; i < 120000; ++i) {
      const int symbol = source.next(rng);
      if (plain.Count(kRoot) == kCountLimit) ++rebuilds;
      const std::vector<std::uint16_t> path = PathTo(along, symbol);
      plain.Update(symbol);
      along.UpdateAlong(path.data(), static_cast<int>(path.size()));
      if (i % 4999 == 0 || plain.Count(kRoot) == kCountLimit) {
        ExpectSound(plain);
        ExpectSound(along);
        for (int n = 0; n < kTreeSize; ++n) {
          ASSERT_EQ(plain.Count(n), along.Count(n)) << source.name << " " << i;
          ASSERT_EQ(plain.Child(n), along.Child(n)) << source.name << " " << i;
        }
      }
    }
    EXPECT_GE(rebuilds, 3) << source.name;
  }
}

}  // namespace
}  // namespace lzh
}  // namespace sfx
