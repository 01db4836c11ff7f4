// The shared text rules: upper-casing without a locale, the trailing
// backslash, the split at a delimiter and the macro replacement.
#include "paths/text.h"

#include <gtest/gtest.h>

namespace sfx {
namespace {

TEST(UpperCaseLatinTest, LowersOnlyTheTwoLetterRanges) {
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    const int expected = (b >= 0x61 && b <= 0x7A) || b >= 0xE0 ? b - 0x20 : b;
    EXPECT_EQ(static_cast<unsigned char>(UpperCaseLatin(in)[0]), expected)
        << "byte " << b;
  }
  EXPECT_EQ(UpperCaseLatin(""), "");
  EXPECT_EQ(UpperCaseLatin("License.txt 9"), "LICENSE.TXT 9");
  EXPECT_EQ(UpperCaseLatin("\xE9\xDF\xFF\xF7"), "\xC9\xDF\xDF\xD7");
}

TEST(AddTrailingBackslashTest, Cases) {
  EXPECT_EQ(AddTrailingBackslash(""), "");
  EXPECT_EQ(AddTrailingBackslash("C:\\A"), "C:\\A\\");
  EXPECT_EQ(AddTrailingBackslash("C:\\A\\"), "C:\\A\\");
  const std::string full(255, 'x');
  EXPECT_EQ(AddTrailingBackslash(full).size(), 256u);
  EXPECT_EQ(AddTrailingBackslashShort(full), full);  // cut back to 255
  EXPECT_EQ(AddTrailingBackslashShort(std::string(254, 'x')),
            std::string(254, 'x') + "\\");
  EXPECT_EQ(ToShortText(std::string(300, 'y')), std::string(255, 'y'));
}

TEST(SplitAtDelimiterTest, Cases) {
  struct Case {
    std::string text;
    std::string head;
    std::string rest;
  };
  const Case cases[] = {
      {"a\rb\rc", "a", "b\rc"}, {"\rb", "", "b"},
      {"abc", "abc", ""},       {"", "", ""},
      {"ab\r", "ab", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(SplitAtDelimiter('\r', text), c.head);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(ReplaceAllTextTest, Cases) {
  struct Case {
    std::string text;
    std::string macro;
    std::string value;
    std::string expected;
  };
  const Case cases[] = {
      {"%installdir%Data", "%INSTALLDIR%", "D:\\App\\", "D:\\App\\Data"},
      {"%TEMP%a;%temp%b", "%TEMP%", "T\\", "T\\a;T\\b"},
      {"Keep Case %X%", "%x%", "v", "Keep Case v"},
      // A value holding the macro is not expanded again.
      {"%A%-%A%", "%A%", "[%A%]", "[%A%]-[%A%]"},
      {"%A%", "%A%", "", ""},
      {"%A%%A%", "%A%", "", ""},
      {"", "%A%", "v", ""},
      {"text", "", "v", "text"},
      {"%A%", "%A%", "%A%", "%A%"},
      {"no macro", "%A%", "v", "no macro"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    ReplaceAllText(text, c.macro, c.value);
    EXPECT_EQ(text, c.expected) << c.text << " / " << c.macro;
  }
}

TEST(LastPathComponentTest, Cases) {
  EXPECT_EQ(LastPathComponent("C:\\dir\\file.exe"), "file.exe");
  EXPECT_EQ(LastPathComponent("dir/file"), "file");
  EXPECT_EQ(LastPathComponent("C:file"), "file");
  EXPECT_EQ(LastPathComponent("plain"), "plain");
  EXPECT_EQ(LastPathComponent("dir\\"), "");
}

}  // namespace
}  // namespace sfx
