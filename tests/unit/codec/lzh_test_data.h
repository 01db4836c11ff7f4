// Deterministic inputs for the codec tests: random bytes, word text, runs
// and other shapes that exercise literals, long matches and the window.
#ifndef TESTS_UNIT_CODEC_LZH_TEST_DATA_H_
#define TESTS_UNIT_CODEC_LZH_TEST_DATA_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sfx {
namespace testdata {

using Bytes = std::vector<std::uint8_t>;

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Words from a small vocabulary with spaces and line breaks: compressible,
// with matches of many lengths and distances.
inline Bytes Text(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {
      "the",   "installer", "package", "file",    "window", "of",
      "and",   "directory", "to",      "a",       "block",  "stream",
      "data",  "Windows",   "setup",   "program", "is",     "with",
      "entry", "record",    "count",   "length",  "in",     "shortcut"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    s += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    s += (rng() % 11 == 0) ? "\r\n" : " ";
  }
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

// Long runs of a few byte values with random lengths.
inline Bytes Runs(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const std::uint8_t value = static_cast<std::uint8_t>(
        "\0 \xff"
        "A"[rng() % 4]);
    out.insert(out.end(), 1 + rng() % 300, value);
  }
  out.resize(n);
  return out;
}

inline Bytes Repeat(std::size_t n, std::uint8_t value) {
  return Bytes(n, value);
}

// Text that starts with a stretch of spaces (matches into the ring's
// initial content).
inline Bytes LeadingSpaces(std::size_t n, std::uint32_t seed) {
  Bytes out(n < 100 ? n : 100, ' ');
  const Bytes rest = Text(n - out.size(), seed);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

// A short random pattern repeated with a period just above and below the
// window, and occasional changes.
inline Bytes Periodic(std::size_t n, std::size_t period, std::uint32_t seed) {
  const Bytes pattern = RandomBytes(period, seed);
  std::mt19937 rng(seed + 1);
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = rng() % 97 == 0 ? static_cast<std::uint8_t>(rng())
                             : pattern[i % period];
  }
  return out;
}

// Near-identical records, as in configuration files and tables: lines
// that differ in a word and a number, and stretches of zero bytes between
// them. Every short string recurs in every line, while the line that
// repeats a whole record lies some 70 lines back: the longest match hides
// deep in the hash chains.
inline Bytes Records(std::size_t n, std::uint32_t seed) {
  static const char* const kNames[] = {"CHANNEL", "PIN_COUNT", "RES_ID",
                                       "FORMAT",  "DIRECTION", "RATE"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    s += "        TOKEN_VALUE_U32_";
    s += kNames[rng() % 6];
    s += " \"" + std::to_string(rng() % 12) + "\"\n";
    if (rng() % 16 == 0) s.append(rng() % 90, '\0');
  }
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

}  // namespace testdata
}  // namespace sfx

#endif  // TESTS_UNIT_CODEC_LZH_TEST_DATA_H_
