// The licence window's template bytes against the layout: header fields,
// 4-byte item alignment, UTF-16 texts and the dialog units that follow from
// the reference pixels.
#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sfx {
namespace {

// Reads the template back field by field.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<std::uint8_t>& bytes)
      : bytes_(bytes) {}
  std::uint16_t Read16() {
    EXPECT_LE(pos_ + 2, bytes_.size());
    std::uint16_t v =
        static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  std::uint32_t Read32() {
    std::uint32_t low = Read16();
    return low | std::uint32_t{Read16()} << 16;
  }
  std::int16_t ReadSigned16() { return static_cast<std::int16_t>(Read16()); }
  // A NUL-terminated UTF-16 text, narrowed (the tests use ASCII/Latin-1).
  std::string ReadString() {
    std::string text;
    for (std::uint16_t unit = Read16(); unit != 0; unit = Read16()) {
      EXPECT_LT(unit, 256u);
      text += static_cast<char>(unit);
    }
    return text;
  }
  void SkipAlignment() {
    while (pos_ % 4 != 0) {
      EXPECT_EQ(bytes_[pos_], 0) << "alignment byte at " << pos_;
      ++pos_;
    }
  }
  std::size_t pos() const { return pos_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

struct ExpectedItem {
  std::uint32_t style;
  std::int16_t x, y, cx, cy;
  std::uint16_t id;
  std::uint16_t atom;
  std::string title;
};

void ExpectItem(TemplateReader& r, const ExpectedItem& e) {
  r.SkipAlignment();
  SCOPED_TRACE("item " + std::to_string(e.id) + " at " +
               std::to_string(r.pos()));
  EXPECT_EQ(r.Read32(), e.style);
  EXPECT_EQ(r.Read32(), 0u);
  EXPECT_EQ(r.ReadSigned16(), e.x);
  EXPECT_EQ(r.ReadSigned16(), e.y);
  EXPECT_EQ(r.ReadSigned16(), e.cx);
  EXPECT_EQ(r.ReadSigned16(), e.cy);
  EXPECT_EQ(r.Read16(), e.id);
  EXPECT_EQ(r.Read16(), 0xFFFF);
  EXPECT_EQ(r.Read16(), e.atom);
  EXPECT_EQ(r.ReadString(), e.title);
  EXPECT_EQ(r.Read16(), 0u);  // creation data
}

TEST(DialogTemplateTest, InstructionTextIsFramedAnd411Characters) {
  std::string text = kLicenceInstruction;
  EXPECT_EQ(text.size(), 411u);
  EXPECT_EQ(text.substr(0, 86), std::string(85, '=') + "\r");
  EXPECT_EQ(text.substr(text.size() - 86), std::string(85, '=') + "\r");
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(DialogTemplateTest, LicenceTemplateMatchesTheLayout) {
  const std::string licence = "Terms\r\r\nMore terms\r\n";
  std::vector<std::uint8_t> bytes = BuildLicenceTemplate(
      licence, kReferenceUnitX, kReferenceUnitY, WidenLatin1);
  TemplateReader r(bytes);
  EXPECT_EQ(r.Read32(), 0x80C800C0u);
  EXPECT_EQ(r.Read32(), 0u);
  EXPECT_EQ(r.Read16(), 4u);
  EXPECT_EQ(r.ReadSigned16(), 0);
  EXPECT_EQ(r.ReadSigned16(), 0);
  EXPECT_EQ(r.ReadSigned16(), 396);
  EXPECT_EQ(r.ReadSigned16(), 290);
  EXPECT_EQ(r.Read16(), 0u);  // menu
  EXPECT_EQ(r.Read16(), 0u);  // class
  EXPECT_EQ(r.ReadString(), "USER LICENSING AGREEMENT");
  EXPECT_EQ(r.Read16(), 8u);
  EXPECT_EQ(r.ReadString(), "MS SANS SERIF");

  const ExpectedItem items[] = {
      {0x50000001, 9, 1, 377, 43, 201, 0x0082, kLicenceInstruction},
      {0x50010001, 123, 267, 57, 15, 6, 0x0080, "&Yes"},
      {0x50010000, 199, 267, 57, 15, 7, 0x0080, "&No"},
      {0x50210844, 3, 44, 390, 223, 202, 0x0081, licence},
  };
  // Texts of odd and even lengths before them: every item starts on a
  // four-byte boundary after zero padding.
  for (const ExpectedItem& item : items) ExpectItem(r, item);
  EXPECT_EQ(r.pos(), bytes.size());
}

TEST(DialogTemplateTest, TextsAreWidenedByTheGivenConversion) {
  DialogTemplateWriter latin(WidenLatin1);
  latin.WriteString("\xE9t\xE9");
  EXPECT_EQ(latin.bytes(),
            (std::vector<std::uint8_t>{0xE9, 0, 't', 0, 0xE9, 0, 0, 0}));

  DialogTemplateWriter custom(
      [](const std::string&) { return WideText{u'\u20AC'}; });
  custom.WriteString("x");
  EXPECT_EQ(custom.bytes(), (std::vector<std::uint8_t>{0xAC, 0x20, 0, 0}));
}

TEST(DialogTemplateTest, LicenceFitsUpToTheTemplateLimit) {
  // 1042 + 2 * 32244 + 4 = 65534 bytes; one more character would pass
  // 65,535.
  EXPECT_TRUE(LicenceFitsTemplate(0));
  EXPECT_TRUE(LicenceFitsTemplate(32244));
  EXPECT_FALSE(LicenceFitsTemplate(32245));
  std::vector<std::uint8_t> largest = BuildLicenceTemplate(
      std::string(32244, 'x'), kReferenceUnitX, kReferenceUnitY, WidenLatin1);
  EXPECT_LE(largest.size(), kLicenceTemplateLimit);
  ASSERT_EQ(largest.size(), 1042u + 2 * 32244 + 4);
  EXPECT_EQ(largest[1042 + 2 * 32243], 'x');
  EXPECT_EQ(largest[largest.size() - 4], 0);  // terminator
}

TEST(DialogTemplateTest, MeasureTemplateHasNoItems) {
  std::vector<std::uint8_t> bytes =
      BuildMeasureTemplate("MS Sans Serif", 8, WidenLatin1);
  TemplateReader r(bytes);
  EXPECT_EQ(r.Read32(), 0x80C800C0u);
  EXPECT_EQ(r.Read32(), 0u);
  EXPECT_EQ(r.Read16(), 0u);
  EXPECT_EQ(r.ReadSigned16(), 0);
  EXPECT_EQ(r.ReadSigned16(), 0);
  EXPECT_EQ(r.ReadSigned16(), 200);
  EXPECT_EQ(r.ReadSigned16(), 200);
  EXPECT_EQ(r.Read16(), 0u);
  EXPECT_EQ(r.Read16(), 0u);
  EXPECT_EQ(r.ReadString(), "Tmp");
  EXPECT_EQ(r.Read16(), 8u);
  EXPECT_EQ(r.ReadString(), "MS Sans Serif");
  EXPECT_EQ(r.pos(), bytes.size());
}

TEST(DialogTemplateTest, PixelsToUnitsRoundsHalvesToEven) {
  const struct {
    int pixels;
    double factor;
    std::int16_t units;
  } cases[] = {
      {630, 1.59, 396}, {450, 1.55, 290}, {4, 1.59, 3},      {14, 1.59, 9},
      {5, 2.0, 2},      {7, 2.0, 4},      {3, 2.0, 2},       {1, 2.0, 0},
      {0, 1.5, 0},      {-3, 2.0, -2},    {100, 0.0, 32767},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PixelsToDialogUnits(c.pixels, c.factor), c.units)
        << c.pixels << " / " << c.factor;
  }
}

TEST(DialogTemplateTest, OtherFactorsMoveTheItems) {
  // A font twice as wide and tall as the reference halves the units.
  std::vector<std::uint8_t> bytes = BuildLicenceTemplate(
      "", 2 * kReferenceUnitX, 2 * kReferenceUnitY, WidenLatin1);
  TemplateReader r(bytes);
  for (int i = 0; i < 7; ++i) r.Read16();
  EXPECT_EQ(r.ReadSigned16(), 198);  // 630 / 3.18 = 198.1
  EXPECT_EQ(r.ReadSigned16(), 145);  // 450 / 3.1 = 145.2
}

}  // namespace
}  // namespace sfx
