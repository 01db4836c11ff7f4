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
    EXPECT_EQ(CheckRelativePath(c.path, c.macro_allowed), c.expected)
        << c.path;
  }
}

TEST(NameRulesTest, SameNameIgnoringCase) {
  EXPECT_EQ(NameKey("Same.txt"), NameKey("SAME.TXT"));
  EXPECT_EQ(NameKey("\xe9t\xe9"), NameKey("\xc9T\xc9"));
  EXPECT_NE(NameKey("a.txt"), NameKey("b.txt"));
}

}  // namespace
}  // namespace sfx
