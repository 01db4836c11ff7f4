// The window's number texts and the lines built from them.
#include "ui/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ui/paint_texts.h"

namespace sfx {
namespace {

TEST(FormatOneDecimalTest, RoundsTheEighteenDigitExpansionHalfAway) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0.0"},
      {1024.0, "1024.0"},
      {5.0, "5.0"},
      {1.25, "1.3"},  // an exact half goes away from zero
      {0.25, "0.3"},
      {2.45, "2.5"},  // stored as 2.4500000000000001776...
      {0.15, "0.1"},  // stored as 0.1499999999999999944...
      {0.05, "0.1"},  // stored as 0.05000000000000000277...
      {0.04, "0.0"},
      {9.95, "9.9"},   // stored as 9.9499999999999992894...
      {9.96, "10.0"},  // carry into a new integer digit
      {99.99, "100.0"},
      {0.9999, "1.0"},
      {2.384185791015625, "2.4"},
      {1.0009765625, "1.0"},
      {-1.25, "-1.3"},
      {-0.04, "0.0"},
      {1e-300, "0.0"},
      {4294967296.0, "4294967296.0"},
      // 2^63: 9223372036854775808 rounded to 18 digits.
      {9223372036854775808.0, "9223372036854775810.0"},
      // 0.95 + 2^-53ish: the 18-digit expansion 0.950000000000000067 rounds up.
      {0.9500000000000001, "1.0"},
      // An 18-digit expansion ending in ...4999 that a longer one would
      // round differently: 0.3499999999999999778 -> 0.349999999999999978.
      {0.35, "0.3"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatOneDecimal(c.value), c.text) << c.value;
}

TEST(FormatOneDecimalTest, NonFinite) {
  EXPECT_EQ(FormatOneDecimal(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(FormatOneDecimal(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(FormatOneDecimal(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(FormatOneDecimal(std::numeric_limits<double>::max()).size(), 311u);
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
