// Text building: joined parts and decimal numbers.
#include "paths/concat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace sfx {
namespace {

TEST(ConcatTest, JoinsPartsInOrder) {
  const std::string path = "C:\\Dest";
  EXPECT_EQ(Concat({}), "");
  EXPECT_EQ(Concat({"\"", path, "\\", "a b.exe", "\""}),
            "\"C:\\Dest\\a b.exe\"");
  EXPECT_EQ(Concat({"", path, ""}), path);
  // Parts may hold NUL bytes; they are copied like any other byte.
  EXPECT_EQ(Concat({std::string_view("a\0b", 3), "c"}),
            std::string("a\0bc", 4));
}

TEST(DecimalTextTest, WritesEveryNumber) {
  struct Case {
    std::int64_t n;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {7, "7"},
      {10, "10"},
      {1962, "1962"},
      {-1, "-1"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalText(c.n), c.text) << c.text;
}

}  // namespace
}  // namespace sfx
