// Line pieces of the licence file and the text the licence window shows.
#include "ui/licence_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace sfx {
namespace {

std::vector<std::string> Pieces(const std::string& data) {
  std::vector<std::string> pieces;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t position = 0;
  while (position < data.size()) {
    std::size_t before = position;
    pieces.push_back(ReadTextPiece(bytes, &position, data.size()));
    EXPECT_GT(position, before);
    EXPECT_LE(position, data.size());
  }
  return pieces;
}

std::string Assemble(const std::string& data) {
  return AssembleLicenceText(reinterpret_cast<const std::uint8_t*>(data.data()),
                             data.size());
}

using V = std::vector<std::string>;

TEST(ReadTextPieceTest, LineEndsOfOneAndTwoBytes) {
  const struct {
    std::string data;
    V pieces;
  } cases[] = {
      {"ab\r\ncd\r\n", {"ab\r", "cd\r"}},
      {"ab\ncd\n", {"ab\n", "cd\n"}},
      {"ab\n\rcd", {"ab\n", "cd"}},
      {"ab\r\rcd", {"ab\r", "cd"}},
      {"ab\n\ncd", {"ab\n", "cd"}},  // an LF LF pair ends one piece only
      {"ab\n\n\ncd", {"ab\n", "\n", "cd"}},
      {"ab\r\n\r\ncd", {"ab\r", "\r", "cd"}},
      {"last line", {"last line"}},
      {"\r", {"\r"}},
      {"x\r", {"x\r"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Pieces(c.data), c.pieces) << c.data;
}

TEST(ReadTextPieceTest, NulDropsTheRestOfItsPiece) {
  EXPECT_EQ(Pieces(std::string("ab\0cd\r\nef", 9)), (V{"ab", "ef"}));
  EXPECT_EQ(Pieces(std::string("\0xyz\n", 5)), (V{""}));
  EXPECT_EQ(Pieces(std::string("a\0", 2)), (V{"a"}));
}

TEST(ReadTextPieceTest, LongLinesAreCutEvery2001Bytes) {
  std::string line(5000, 'x');
  V pieces = Pieces(line + "\r\n");
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::string(2001, 'x'));
  EXPECT_EQ(pieces[1], std::string(2001, 'x'));
  EXPECT_EQ(pieces[2], std::string(998, 'x') + "\r");

  // A line of exactly 2001 bytes leaves its line end as a piece of its own.
  EXPECT_EQ(Pieces(std::string(2001, 'y') + "\r\n"),
            (V{std::string(2001, 'y'), "\r"}));
  // A NUL in a later piece only cuts that piece.
  std::string with_nul = std::string(2001, 'a') + std::string("b\0c\n", 4);
  EXPECT_EQ(Pieces(with_nul), (V{std::string(2001, 'a'), "b"}));
}

TEST(AssembleLicenceTextTest, EveryPieceGetsCrLf) {
  const struct {
    std::string data;
    std::string text;
  } cases[] = {
      {"", ""},
      {"one\r\ntwo\r\n", "one\r\r\ntwo\r\r\n"},
      {"one\ntwo\n", "one\n\r\ntwo\n\r\n"},
      {"no line end", "no line end\r\n"},
      {std::string("\0gone\r\nkept", 11), " \r\nkept\r\n"},  // empty -> blank
  };
  for (const auto& c : cases) EXPECT_EQ(Assemble(c.data), c.text);
}

TEST(ReadLicenceTextTest, ReadsTheWholeFileAcrossChunks) {
  fake::FakePlatform fs;
  fake::FakePlatformScope scope(&fs);
  // Longer than one 64 KiB read, with a line end straddling the boundary.
  std::string line = std::string(65535, 'a') + "\r\n" + "tail";
  fs.AddFile("C:\\TEMP\\LICENSE.TXT", line);
  std::string expected =
      std::string(2001, 'a') + "\r\n";  // the first of 33 full pieces
  std::string text = ReadLicenceText("C:\\TEMP\\LICENSE.TXT");
  EXPECT_EQ(text, Assemble(line));
  EXPECT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_EQ(text.substr(text.size() - 6), "tail\r\n");
  EXPECT_EQ(ReadLicenceText("C:\\TEMP\\missing.txt"), "");
}

}  // namespace
}  // namespace sfx
