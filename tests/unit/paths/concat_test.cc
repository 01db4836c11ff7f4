// Text building: joined parts.
#include "paths/concat.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sfx
