// Tests of the adaptive Huffman tree: its invariants hold through many
// updates and rebuilds, and both of its updates (the plain one and the
// decoder's path-following one) leave the tree exactly as a plain model of
// the format does, rebuilds included.
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
// one leaf, the prefix table as a walk from the root finds it.
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
      int depth = 0;
      for (int x = n; x != kRoot; x = tree.Parent(x)) ++depth;
      ASSERT_EQ(tree.CodeLength(c - kTreeSize), depth) << n;
    } else {
      ASSERT_EQ(c % 2, 0) << n;
      ASSERT_LT(c + 1, n) << n;
      ASSERT_EQ(tree.Count(n), tree.Count(c) + tree.Count(c + 1)) << n;
      ASSERT_EQ(tree.Parent(c), n);
      ASSERT_EQ(tree.Parent(c + 1), n);
    }
  }
  for (int n = kTreeSize; n < kTreeSize + 4; ++n) {
    ASSERT_EQ(tree.Count(n), 0xFFFF);
  }
  ASSERT_EQ(tree.Parent(kRoot), 0);
  // The prefix table against a walk from the root.
  constexpr unsigned kTop = LzhTree::kTopBits;
  for (unsigned bits = 0; bits < 1u << kTop; ++bits) {
    unsigned x = kRoot;
    unsigned level = 0;
    while (level < kTop && tree.Child(x) < kTreeSize) {
      x = tree.Child(x) + ((bits >> (kTop - 1 - level)) & 1);
      ASSERT_EQ(tree.TopPath(bits)[level], x) << bits << " " << level;
      ++level;
    }
    ASSERT_EQ(tree.TopLength(bits), level) << bits;
    ASSERT_EQ(tree.TopEnd(bits) & 0xFFFF, x) << bits;
  }
  // The levels and codes the table's upkeep records: a stale one would
  // misplace the rewrite of a later swap. Parents lie above their
  // children, so one pass downward from the root finds them.
  std::vector<unsigned> level(kTreeSize, kTop);
  std::vector<unsigned> code(kTreeSize, 0);
  level[kRoot] = 0;
  for (int n = kRoot; n >= 0; --n) {
    const int c = tree.Child(n);
    if (c >= kTreeSize || level[n] + 1 >= kTop) continue;
    for (int b = 0; b < 2; ++b) {
      level[c + b] = level[n] + 1;
      code[c + b] = 2 * code[n] + b;
    }
  }
  for (int n = 0; n < kTreeSize; ++n) {
    ASSERT_EQ(tree.TopLevel(n), level[n]) << n;
    if (n != kRoot && level[n] < kTop) {
      ASSERT_EQ(tree.TopCode(n), code[n]) << n;
    }
  }
}

// The tree as the format defines it, written the plain way: linear scans,
// insertion by shifting. No shared code with LzhTree.
struct ReferenceTree {
  ReferenceTree() {
    for (int s = 0; s < kSymbolCount; ++s) {
      count[s] = 1;
      child[s] = s + kTreeSize;
      parent[s + kTreeSize] = s;
    }
    for (int i = 0, j = kSymbolCount; j < kTreeSize; i += 2, ++j) {
      count[j] = count[i] + count[i + 1];
      child[j] = i;
      parent[i] = parent[i + 1] = j;
    }
    count[kTreeSize] = 0xFFFF;
    parent[kRoot] = 0;
  }
  void Update(int symbol) {
    if (count[kRoot] == kCountLimit) Rebuild();
    int x = parent[symbol + kTreeSize];
    do {
      const int k = ++count[x];
      if (k > count[x + 1]) {
        int l = x + 1;
        while (k > count[l + 1]) ++l;
        count[x] = count[l];
        count[l] = k;
        const int i = child[x];
        const int j = child[l];
        child[x] = j;
        child[l] = i;
        Link(x);
        Link(l);
        x = l;
      }
    } while ((x = parent[x]) != 0);
  }
  void Rebuild() {
    int j = 0;
    for (int n = 0; n < kTreeSize; ++n) {
      if (child[n] >= kTreeSize) {
        count[j] = (count[n] + 1) / 2;
        child[j++] = child[n];
      }
    }
    for (int i = 0, n = kSymbolCount; n < kTreeSize; i += 2, ++n) {
      const int f = count[i] + count[i + 1];
      int k = n;
      while (count[k - 1] > f) {
        count[k] = count[k - 1];
        child[k] = child[k - 1];
        --k;
      }
      count[k] = f;
      child[k] = i;
    }
    for (int n = 0; n < kTreeSize; ++n) Link(n);
  }
  // Points the children of the node at `n` back at it.
  void Link(int n) {
    parent[child[n]] = n;
    if (child[n] < kTreeSize) parent[child[n] + 1] = n;
  }
  int count[kTreeSize + 1];
  int child[kTreeSize];
  int parent[kTreeSize + kSymbolCount];
};

// The decoder's view: the positions from the root's child down to the leaf.
std::vector<std::uint16_t> PathTo(const LzhTree& tree, int symbol) {
  std::vector<std::uint16_t> path;
  for (int x = tree.Leaf(symbol); x != kRoot; x = tree.Parent(x)) {
    path.insert(path.begin(), static_cast<std::uint16_t>(x));
  }
  return path;
}

// The prefix table's entry for the code that ends with `path` (the bits
// below a short code taken as zeros) holds the start of the path.
void ExpectTableLeadsTo(const LzhTree& tree,
                        const std::vector<std::uint16_t>& path) {
  constexpr unsigned kTop = LzhTree::kTopBits;
  const unsigned levels = std::min<unsigned>(kTop, path.size());
  unsigned bits = 0;
  for (unsigned i = 0; i < levels; ++i)
    bits |= (path[i] & 1u) << (kTop - 1 - i);
  ASSERT_EQ(tree.TopLength(bits), levels) << bits;
  ASSERT_EQ(tree.TopEnd(bits) & 0xFFFF, path[levels - 1]) << bits;
  for (unsigned i = 0; i < levels; ++i) {
    ASSERT_EQ(tree.TopPath(bits)[i], path[i]) << bits << " " << i;
  }
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

TEST(LzhTreeTest, BothUpdatesFollowTheFormatThroughRebuilds) {
  struct Source {
    const char* name;
    std::function<int(std::mt19937&)> next;
  };
  // Uniform symbols leave long runs of equal counts at every rebuild; a
  // cycle over a few symbols keeps equal counts among the frequent ones.
  const std::vector<Source> sources = {
      {"uniform", [](std::mt19937& r) { return static_cast<int>(r() % 314); }},
      {"skewed",
       [](std::mt19937& r) {
         return static_cast<int>(std::min(r() % 314, r() % 314));
       }},
      {"one symbol", [](std::mt19937&) { return 32; }},
      {"cycle of four", [](std::mt19937& r) { return 100 + (r() & 3); }},
  };
  for (const Source& source : sources) {
    std::mt19937 rng(7);
    LzhTree plain, along;
    plain.Init();
    along.Init();
    ReferenceTree reference;
    int rebuilds = 0;
    for (int i = 0; i < 120000; ++i) {
      const int symbol = source.next(rng);
      const bool rebuild = plain.Count(kRoot) == kCountLimit;
      rebuilds += rebuild;
      const std::vector<std::uint16_t> path = PathTo(along, symbol);
      ExpectTableLeadsTo(along, path);
      ExpectTableLeadsTo(plain, path);
      plain.Update(symbol);
      along.UpdateAlong(path.data(), static_cast<int>(path.size()));
      reference.Update(symbol);
      if (i % 4999 == 0 || rebuild || plain.Count(kRoot) == kCountLimit) {
        ExpectSound(plain);
        ExpectSound(along);
        for (int n = 0; n < kTreeSize; ++n) {
          ASSERT_EQ(plain.Count(n), reference.count[n]) << source.name << i;
          ASSERT_EQ(plain.Child(n), reference.child[n]) << source.name << i;
          ASSERT_EQ(along.Count(n), reference.count[n]) << source.name << i;
          ASSERT_EQ(along.Child(n), reference.child[n]) << source.name << i;
        }
      }
    }
    EXPECT_GE(rebuilds, 3) << source.name;
  }
}

}  // namespace
}  // namespace lzh
}  // namespace sfx
