// The installer program as a file: the size block's tag once, the trailer
// marker nowhere (the integrity check would stop at it), no DLL beyond
// Windows' own, the "SETUP" icon group; and a built fixture whose size
// block holds its final length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

namespace sfx::e2e {
namespace {

std::size_t CountOf(const std::vector<std::uint8_t>& bytes,
                    const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = OffsetOf(bytes, needle); at != std::string::npos;
       at = OffsetOf(bytes, needle, at + 1)) {
    ++count;
  }
  return count;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
         static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string Installer() { return WinePath(SFX_E2E_INSTALLER); }

TEST(InstallerImageTest, SizeBlockTagOnceAndNoTrailerMarker) {
  const std::vector<std::uint8_t> image = ReadFileBytes(Installer());
  ASSERT_GT(image.size(), 1024u);
  EXPECT_EQ(CountOf(image, "RealFileSize="), 1u);
  EXPECT_EQ(CountOf(image, "File CRCFile CRC"), 0u);
  // The program joins the marker from one copy of its half at run time;
  // the compiler may even spread that copy over instructions.
  EXPECT_LE(CountOf(image, "File CRC"), 1u);
  // The block: length byte 22 before the tag, then two zero sizes and a
  // clear skip flag until a package builder fills them.
  const std::size_t at = OffsetOf(image, "RealFileSize=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(image[at - 1], 22);
  EXPECT_EQ(Le32(image, at + 13), 0u);
  EXPECT_EQ(Le32(image, at + 17), 0u);
  EXPECT_EQ(image[at + 21], 0);
}

TEST(InstallerImageTest, NeedsOnlyWindowsOwnLibraries) {
  const std::vector<std::uint8_t> image = ReadFileBytes(Installer());
  ASSERT_GT(image.size(), 0x200u);
  ASSERT_EQ(image[0], 'M');
  ASSERT_EQ(image[1], 'Z');
  const std::size_t pe = Le32(image, 0x3C);
  ASSERT_EQ(Le32(image, pe), 0x00004550u);               // "PE\0\0"
  EXPECT_EQ(image[pe + 4] | image[pe + 5] << 8, 0x14C);  // i386
  const std::size_t sections = image[pe + 6] | image[pe + 7] << 8;
  const std::size_t optional_size = image[pe + 20] | image[pe + 21] << 8;
  const std::size_t optional = pe + 24;
  const std::uint32_t import_rva = Le32(image, optional + 104);
  const std::size_t table = optional + optional_size;
  auto to_offset = [&](std::uint32_t rva) -> std::size_t {
    for (std::size_t s = 0; s < sections; ++s) {
      const std::size_t h = table + s * 40;
      const std::uint32_t va = Le32(image, h + 12);
      const std::uint32_t size = Le32(image, h + 16);
      if (rva >= va && rva < va + std::max(size, Le32(image, h + 8))) {
        return rva - va + Le32(image, h + 20);
      }
    }
    return 0;
  };
  const std::set<std::string> allowed = {
      "ADVAPI32.DLL", "COMCTL32.DLL", "COMDLG32.DLL",
      "GDI32.DLL",    "KERNEL32.DLL", "MSVCRT.DLL",
      "OLE32.DLL",    "SHELL32.DLL",  "USER32.DLL"};
  std::set<std::string> imported;
  for (std::size_t d = to_offset(import_rva); d && Le32(image, d + 12) != 0;
       d += 20) {
    std::string name(
        reinterpret_cast<const char*>(&image[to_offset(Le32(image, d + 12))]));
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    imported.insert(name);
  }
  EXPECT_TRUE(imported.count("KERNEL32.DLL"));
  for (const std::string& name : imported) {
    EXPECT_TRUE(allowed.count(name)) << name;
  }
}

TEST(InstallerImageTest, CarriesTheSetupIconGroup) {
  HMODULE module =
      LoadLibraryExA(Installer().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceA(module, "SETUP", MAKEINTRESOURCEA(14)), nullptr);
  FreeLibrary(module);
}

TEST(InstallerImageTest, BuiltInstallerKnowsItsOwnLength) {
  const std::vector<std::uint8_t> image = ReadFileBytes(Fixture("plain"));
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(CountOf(image, "RealFileSize="), 1u);
  EXPECT_EQ(CountOf(image, "File CRCFile CRC"), 1u);
  const std::size_t at = OffsetOf(image, "RealFileSize=");
  EXPECT_EQ(Le32(image, at + 13), image.size());
  EXPECT_EQ(Le32(image, at + 17), image.size());
}

}  // namespace
}  // namespace sfx::e2e
