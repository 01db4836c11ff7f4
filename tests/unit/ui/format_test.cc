// The window's number texts and the lines built from them.
#include "ui/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ui/paint_texts.h"

namespace sfx {
namespace {

TEST(FormatOneDecimalTest, RoundsTheQuotientToATenthHalvesUp) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::uint64_t numerator;
    unsigned shift;
    const char* text;
  } cases[] = {
      {0, 20, "0.0"},
      {7, 0, "7.0"},
      {1024u << 10, 10, "1024.0"},
      {5, 2, "1.3"},  // 1.25: an exact half goes up
      {1, 2, "0.3"},
      {3, 5, "0.1"},                  // 0.09375
      {52428, 20, "0.0"},             // 0.0499992...: just below a half
      {52429, 20, "0.1"},             // 0.0500001...
      {(10u << 20) - 1, 20, "10.0"},  // 9.99999...: carries into the units
      {(1024u << 20) - 1, 20, "1024.0"},
      {1000000000000u, 30, "931.3"},
      {kMax, 30, "8589934592.0"},  // the largest free space, in GB
      {kMax, 59, "16.0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatOneDecimal(c.numerator, c.shift), c.text)
        << c.numerator << " / 2^" << c.shift;
  }
}

TEST(PaintTextsTest, FreeSpaceSwitchesToGigabytesAboveOneGibibyte) {
  const struct {
    std::int64_t bytes;
    const char* line;
  } cases[] = {
      {5368709120LL, "Disk free space: 5.0 GB"},
      {1073741824LL, "Disk free space: 1024.0 MB"},
      {1073741825LL, "Disk free space: 1.0 GB"},
      {0, "Disk free space: 0.0 MB"},
      {104857, "Disk free space: 0.1 MB"},
      {1000000000000LL, "Disk free space: 931.3 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FreeSpaceLine(c.bytes), c.line);
}

TEST(PaintTextsTest, SpaceRequiredInBytesKilobytesAndMegabytes) {
  const struct {
    std::int32_t bytes;
    const char* line;
  } cases[] = {
      {1024, "Space required: 1024 bytes"},
      {1025, "Space required: 1.0 KB"},
      {1048576, "Space required: 1024.0 KB"},
      {1048577, "Space required: 1.0 MB"},
      {2500000, "Space required: 2.4 MB"},
      {0, "Space required: 0 bytes"},
      {-5, "Space required: -5 bytes"},
      {std::numeric_limits<std::int32_t>::max(), "Space required: 2048.0 MB"},
  };
  for (const auto& c : cases) EXPECT_EQ(SpaceRequiredLine(c.bytes), c.line);
}

TEST(PaintTextsTest, CopyingLineNamesTheLastComponent) {
  EXPECT_EQ(CopyingLine("C:\\Apps\\Tool\\tool.exe"),
            "Copying file tool.exe to:");
  EXPECT_EQ(CopyingLine("readme.txt"), "Copying file readme.txt to:");
}

}  // namespace
}  // namespace sfx
