// The UTF-8 / code page 1252 conversions of sfxtool.
#include "ansi.h"

#include <gtest/gtest.h>

namespace sfxtool {
namespace {

TEST(AnsiTest, ConvertsWhatCodePage1252Holds) {
  struct Case {
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII\r\n", "plain ASCII\r\n"},
      {"Caf\xC3\xA9 \xC3\xBF", "Caf\xE9 \xFF"},  // Latin-1 range
      {"\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D",
       "\x80 \x93q\x94"},                // € and quotes
      {"\xC5\xB8\xC5\x93", "\x9F\x9C"},  // Ÿ œ
  };
  for (const Case& c : cases) {
    std::string ansi;
    std::string bad;
    ASSERT_TRUE(Utf8ToAnsi(c.utf8, &ansi, &bad)) << c.utf8;
    EXPECT_EQ(ansi, c.ansi);
    EXPECT_EQ(AnsiToUtf8(ansi), c.utf8);
  }
}

TEST(AnsiTest, RefusesWhatItCannotHoldAndBrokenUtf8) {
  struct Case {
    std::string utf8;
    std::string bad;
  };
  const Case cases[] = {
      {"x\xE6\x97\xA5y", "\xE6\x97\xA5"},  // a CJK character
      {"\xC2\x81", "\xC2\x81"},            // U+0081: undefined in 1252
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"cut \xC3", "\xC3"},
      {"\x80 lone continuation", "\x80"},
      {"\xC3(", "\xC3"},
      {"\xC0\xAF overlong /", "\xC0"},
      {"\xED\xA0\x80 surrogate", "\xED"},
      {"\xF4\x90\x80\x80 above U+10FFFF", "\xF4"},
  };
  for (const Case& c : cases) {
    std::string ansi;
    std::string bad;
    EXPECT_FALSE(Utf8ToAnsi(c.utf8, &ansi, &bad)) << c.utf8;
    EXPECT_EQ(bad, c.bad);
    // A text that is not well-formed UTF-8 is taken as code page 1252.
    EXPECT_EQ(IsUtf8(c.utf8), c.bad.size() > 1) << c.utf8;
  }
}

TEST(AnsiTest, UndefinedBytesShowAsControlCharacters) {
  EXPECT_EQ(AnsiToUtf8("\x81\x8D"), "\xC2\x81\xC2\x8D");
}

}  // namespace
}  // namespace sfxtool
