// base::OwnString and base::OwnVector against the standard types they stand
// in for in the installer program: every operation the shared code uses,
// run on both, must leave the same text; plus bytes, byte search,
// decimal text and DOS time.
#include "base/string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/byte_search.h"
#include "base/bytes.h"
#include "base/decimal.h"
#include "base/divide.h"
#include "base/dos_time.h"
#include "base/vector.h"

namespace sfx {
namespace {

using base::OwnString;
using base::OwnVector;

std::string Std(const OwnString& s) { return std::string(s.data(), s.size()); }

TEST(OwnStringTest, EditsMatchTheStandardString) {
  struct Case {
    const char* name;
    void (*own)(OwnString&);
    void (*std)(std::string&);
  };
  const Case cases[] = {
      {"append", [](OwnString& s) { s.append("xyz", 2).append(3, '!'); },
       [](std::string& s) { s.append("xyz", 2).append(3, '!'); }},
      {"self-append", [](OwnString& s) { s += s; },
       [](std::string& s) { s += s; }},
      {"self-assign part", [](OwnString& s) { s.assign(s.data() + 2, 3); },
       [](std::string& s) { s.assign(s.data() + 2, 3); }},
      {"erase", [](OwnString& s) { s.erase(1, 3); },
       [](std::string& s) { s.erase(1, 3); }},
      {"erase tail", [](OwnString& s) { s.erase(4); },
       [](std::string& s) { s.erase(4); }},
      {"insert", [](OwnString& s) { s.insert(2, "--"); },
       [](std::string& s) { s.insert(2, "--"); }},
      {"insert at end", [](OwnString& s) { s.insert(s.size(), 2, '+'); },
       [](std::string& s) { s.insert(s.size(), 2, '+'); }},
      {"insert char", [](OwnString& s) { s.insert(s.begin(), '1'); },
       [](std::string& s) { s.insert(s.begin(), '1'); }},
      {"replace", [](OwnString& s) { s.replace(1, 2, "QQQQ"); },
       [](std::string& s) { s.replace(1, 2, "QQQQ"); }},
      {"resize up", [](OwnString& s) { s.resize(12, '.'); },
       [](std::string& s) { s.resize(12, '.'); }},
      {"resize down", [](OwnString& s) { s.resize(3); },
       [](std::string& s) { s.resize(3); }},
      {"pop and push",
       [](OwnString& s) {
         s.pop_back();
         s.push_back('#');
       },
       [](std::string& s) {
         s.pop_back();
         s.push_back('#');
       }},
      {"grow far",
       [](OwnString& s) {
         for (int i = 0; i < 1000; ++i) s += static_cast<char>('a' + i % 26);
       },
       [](std::string& s) {
         for (int i = 0; i < 1000; ++i) s += static_cast<char>('a' + i % 26);
       }},
      {"clear", [](OwnString& s) { s.clear(); },
       [](std::string& s) { s.clear(); }},
  };
  for (const Case& c : cases) {
    OwnString own("abcdefgh");
    std::string std_text("abcdefgh");
    c.own(own);
    c.std(std_text);
    EXPECT_EQ(Std(own), std_text) << c.name;
    EXPECT_EQ(own.c_str()[own.size()], '\0') << c.name;
  }
}

TEST(OwnStringTest, SearchesMatchTheStandardString) {
  const std::string text = "C:\\Program Files\\Maker\\app.exe";
  const OwnString own(text.c_str());
  for (std::size_t pos : {std::size_t{0}, std::size_t{3}, text.size(),
                          text.size() + 5, std::string::npos}) {
    EXPECT_EQ(own.find('\\', pos), text.find('\\', pos)) << pos;
    EXPECT_EQ(own.find("Ma", pos), text.find("Ma", pos)) << pos;
    EXPECT_EQ(own.rfind('\\', pos), text.rfind('\\', pos)) << pos;
    EXPECT_EQ(own.rfind("e", pos), text.rfind("e", pos)) << pos;
    EXPECT_EQ(own.find_first_of("\\:", pos), text.find_first_of("\\:", pos));
    EXPECT_EQ(own.find_last_of("\\:", pos), text.find_last_of("\\:", pos));
    EXPECT_EQ(own.find_first_not_of("C:\\", pos),
              text.find_first_not_of("C:\\", pos));
    EXPECT_EQ(own.find_last_not_of("exe.", pos),
              text.find_last_not_of("exe.", pos));
  }
  EXPECT_EQ(Std(own.substr(3, 7)), text.substr(3, 7));
  // Past the end is clamped rather than an error.
  EXPECT_EQ(Std(own.substr(text.size() + 1)), "");
  EXPECT_EQ(own.compare(0, 2, "C:"), 0);
  EXPECT_LT(OwnString("abc"), OwnString("abd"));
  EXPECT_EQ(own, text.c_str());
  EXPECT_NE(own, OwnString("other"));
  EXPECT_EQ(Std("<" + own.substr(0, 2) + '>'), "<C:>");
  EXPECT_EQ(Std(OwnString(own.rbegin(), own.rend())),
            std::string(text.rbegin(), text.rend()));
}

TEST(OwnStringTest, CopiesAndMovesOwnTheirBytes) {
  OwnString a("first");
  OwnString b = a;
  b[0] = 'F';
  OwnString c = std::move(b);
  EXPECT_EQ(Std(a), "first");
  EXPECT_EQ(Std(c), "First");
  EXPECT_TRUE(OwnString().empty());
  EXPECT_STREQ(OwnString().c_str(), "");
  a = c;
  a.swap(c);
  EXPECT_EQ(Std(a), "First");
}

TEST(OwnVectorTest, HoldsObjectsThatOwnMemory) {
  OwnVector<OwnString> v;
  for (int i = 0; i < 100; ++i) v.push_back(OwnString(std::size_t(i), 'x'));
  v.emplace_back(v[3]);  // an element of itself while it grows
  ASSERT_EQ(v.size(), 101u);
  EXPECT_EQ(v.back().size(), 3u);
  OwnVector<OwnString> copy = v;
  copy.erase(copy.begin(), copy.begin() + 10);
  EXPECT_EQ(copy.front().size(), 10u);
  EXPECT_EQ(v.front().size(), 0u);
  const OwnString middle[] = {"m1", "m2"};
  copy.insert(copy.begin() + 1, middle, middle + 2);
  EXPECT_EQ(copy[1], "m1");
  EXPECT_EQ(copy[3].size(), 11u);
  copy.resize(2);
  EXPECT_EQ(copy, (OwnVector<OwnString>{OwnString(10, 'x'), "m1"}));
  OwnVector<int> numbers(3, 7);
  numbers.assign(2, 1);
  EXPECT_EQ(std::vector<int>(numbers.begin(), numbers.end()),
            (std::vector<int>{1, 1}));
}

TEST(BytesTest, ReaderFailsOnceAndStaysFailed) {
  const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0x7F};
  ByteReader in(data, sizeof data);
  EXPECT_EQ(in.Uint32(), 0x04030201u);
  EXPECT_EQ(in.Uint16(), 0xFFFFu);
  EXPECT_EQ(in.Uint16(), 0u);  // one byte left: fails
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.Byte(), 0u);  // even though a byte is left
  EXPECT_EQ(in.Take(0), nullptr);

  Vector<std::uint8_t> out;
  ByteWriter writer(&out);
  writer.Uint32(0x04030201u);
  writer.Uint16(0xFFFF);
  writer.Byte(0x7F);
  EXPECT_EQ(out, Vector<std::uint8_t>(data, data + sizeof data));
  StoreUint32(out.data(), 0x80000000u);
  EXPECT_EQ(LoadInt32(out.data()), INT32_MIN);
}

TEST(DecimalTest, PlainAndGrouped) {
  const struct {
    std::int64_t n;
    const char* plain;
    const char* grouped;
  } cases[] = {
      {0, "0", "0"},
      {-1, "-1", "-1"},
      {999, "999", "999"},
      {1000, "1000", "1.000"},
      {-1000, "-1000", "-1.000"},
      {1234567, "1234567", "1.234.567"},
      {INT64_MIN, "-9223372036854775808", "-9.223.372.036.854.775.808"},
      {INT64_MAX, "9223372036854775807", "9.223.372.036.854.775.807"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecimalText(c.n), c.plain);
    EXPECT_EQ(GroupedDecimalText(c.n, "."), c.grouped);
  }
  // The user's separator, whatever it is (the thousands of the start-up
  // message).
  EXPECT_EQ(GroupedDecimalText(1234567, ""), "1234567");
  EXPECT_EQ(GroupedDecimalText(2500000, "\xa0"),
            "2\xa0"
            "500\xa0"
            "000");
  EXPECT_EQ(GroupedDecimalText(1000, ", "), "1, 000");
}

TEST(DivideTest, MatchesTheCompilersDivision) {
  // Both halves 32-bit, a 64-bit dividend, divisors above 2^32 and 2^63
  // (where the running remainder's top bit shifts out).
  const std::uint64_t values[] = {0,
                                  1,
                                  7,
                                  1000000000,
                                  0xFFFFFFFF,
                                  0x100000000,
                                  0x123456789ABCDEF0,
                                  0x8000000000000001,
                                  UINT64_MAX};
  for (std::uint64_t n : values) {
    for (std::uint64_t d : values) {
      if (d == 0) continue;
      const Division64 r = DivideUint64(n, d);
      EXPECT_EQ(r.quotient, n / d) << n << " / " << d;
      EXPECT_EQ(r.remainder, n % d) << n << " % " << d;
    }
  }
}

TEST(DosTimeTest, PacksUnpacksAndRefuses) {
  CivilTime t;
  t.year = 2024;
  t.month = 2;
  t.day = 29;
  t.hour = 23;
  t.minute = 59;
  t.second = 59;
  std::uint32_t dos = 0;
  ASSERT_TRUE(PackDosTime(t, &dos));
  EXPECT_EQ(dos,
            (44u << 9 | 2u << 5 | 29u) << 16 | (23u << 11 | 59u << 5 | 29u));
  CivilTime back;
  ASSERT_TRUE(UnpackDosTime(dos, &back));
  EXPECT_EQ(back.second, 58);  // two-second steps
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.day, 29);
  for (int year : {1979, 2108}) {
    t.year = year;
    EXPECT_FALSE(PackDosTime(t, &dos)) << year;
  }
  // Day 0, month 13, hour 24, minute 60, second 62.
  for (std::uint32_t bad :
       {0x00200000u, 0x01A10000u, 0x0021C000u, 0x00210780u, 0x0021001Fu}) {
    EXPECT_FALSE(UnpackDosTime(bad, &back)) << std::hex << bad;
  }
}

TEST(ByteSearchTest, FindsTheFirstPlaceWhateverThePieces) {
  const std::string pattern = "abcab";
  const auto* p = reinterpret_cast<const std::uint8_t*>(pattern.data());
  // Near misses before the match; matches at the ends and across pieces.
  for (const std::string text :
       {"xxabcaxabcabyy", "abcab", "abcabcab", "ababcab", "abca", ""}) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t want = text.find(pattern);
    const std::int64_t expected =
        want == std::string::npos ? -1 : static_cast<std::int64_t>(want);
    EXPECT_EQ(FindBytes(data, text.size(), p, pattern.size()), expected);
    for (std::size_t piece = 1; piece <= text.size(); ++piece) {
      StreamSearch search(p, pattern.size());
      for (std::size_t at = 0; at < text.size(); at += piece) {
        search.Feed(data + at, std::min(piece, text.size() - at));
      }
      EXPECT_EQ(search.found(), expected) << text << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace sfx
