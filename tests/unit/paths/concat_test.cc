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

// Each kind of part keeps its own length: a literal (and a constant array)
// its size less the NUL, a view its size, a pointer through a view its
// text up to the NUL.
TEST(ConcatTest, EachKindOfPartKeepsItsLength) {
  static constexpr char kConstant[] = "const";
  const char* pointer = "ptr";
  char buffer[16] = "buf";
  EXPECT_EQ(Concat({"lit", kConstant, std::string_view(pointer),
                    std::string_view(buffer), std::string("str"),
                    std::string_view("view", 2)}),
            "litconstptrbufstrvi");
}

}  // namespace
}  // namespace sfx
