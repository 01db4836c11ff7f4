// The rules for names a package may write: each problem class, the macro
// escape hatch and what must still pass.
#include "paths/name_rules.h"

#include <gtest/gtest.h>

namespace sfx {
namespace {

TEST(NameRulesTest, Paths) {
  struct Case {
    const char* path;
    bool macro_allowed;
    NameProblem expected;
  };
  const Case cases[] = {
      {"", true, NameProblem::kNone},
      {"Data", false, NameProblem::kNone},
      {"Data\\Sub dir\\x.y", false, NameProblem::kNone},
      {"Data\\", false, NameProblem::kNone},
      {"caf\xe9", false, NameProblem::kNone},
      {"..\\..\\Escaped", true, NameProblem::kDotComponent},
      {"a\\.\\b", false, NameProblem::kDotComponent},
      {"a\\\\b", false, NameProblem::kEmpty},
      {"C:\\Windows", true, NameProblem::kRooted},
      {"\\Windows", true, NameProblem::kRooted},
      {"\\\\server\\share", true, NameProblem::kRooted},
      {"a/b", false, NameProblem::kForbiddenChar},
      {"a?b", false, NameProblem::kForbiddenChar},
      {"tab\there", false, NameProblem::kForbiddenChar},
      {"NUL", false, NameProblem::kDeviceName},
      {"dir\\com1.txt", false, NameProblem::kDeviceName},
      {"Aux .log", false, NameProblem::kDeviceName},
      {"LPT9", false, NameProblem::kDeviceName},
      {"COM0", false, NameProblem::kNone},
      {"com\xb9.txt", false, NameProblem::kDeviceName},  // superscript 1
      {"LPT\xb3", false, NameProblem::kDeviceName},
      {"CONSOLE", false, NameProblem::kNone},
      {"a.txt.", false, NameProblem::kTrailingDotSpace},
      {"a.txt ", false, NameProblem::kTrailingDotSpace},
      // A macro may lead outside the destination; what follows it may not.
      {"%SYSTEM%", true, NameProblem::kNone},
      {"%windows%\\Fonts", true, NameProblem::kNone},
      {"%INSTALLDIR%..\\..\\x", true, NameProblem::kDotComponent},
      {"%PROGNAME%", true, NameProblem::kNone},
      {"%UNKNOWN%", true, NameProblem::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckRelativePath(c.path, c.macro_allowed), c.expected) << c.path;
  }
}

TEST(NameRulesTest, SameNameIgnoringCase) {
  EXPECT_EQ(NameKey("Same.txt"), NameKey("SAME.TXT"));
  EXPECT_NE(NameKey("a.txt"), NameKey("b.txt"));
  // Code page 1252 pairs that Windows folds, and look-alikes it does not.
  const char* const same[][2] = {{"\xe9t\xe9", "\xc9T\xc9"},
                                 {"\x9a", "\x8a"},   // s caron
                                 {"\x9c", "\x8c"},   // oe
                                 {"\x9e", "\x8e"},   // z caron
                                 {"\xff", "\x9f"}};  // y diaeresis
  for (const auto& pair : same) EXPECT_EQ(NameKey(pair[0]), NameKey(pair[1]));
  const char* const other[][2] = {{"\xf7", "\xd7"},  // division, times
                                  {"\xff", "\xdf"},  // y diaeresis, sharp s
                                  {"\xdf", "SS"}};
  for (const auto& pair : other) {
    EXPECT_NE(NameKey(pair[0]), NameKey(pair[1])) << pair[0];
  }
}

}  // namespace
}  // namespace sfx
