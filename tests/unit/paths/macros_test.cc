// Directory macros over an in-memory platform whose folders are known:
// system C:\WINDOWS\system32, Windows C:\WINDOWS, temporary C:\TEMP\,
// current C:\, common application data C:\ProgramData.
#include "paths/macros.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"

namespace sfx {
namespace {

using fake::FakePlatform;
using fake::FakePlatformScope;

constexpr char kSoftData[] = "C:\\ProgramData\\TIV_Software\\";

class MacrosTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallLocation = "D:\\App\\";
    ProgName = "Hello";
  }
  void TearDown() override {
    InstallLocation.clear();
    ProgName.clear();
  }
  FakePlatform platform_;
  FakePlatformScope scope_{&platform_};
};

struct Case {
  const char* text;
  const char* expected;
};

TEST_F(MacrosTest, ExpandMacrosReplacesEveryMacroWithItsValue) {
  const Case cases[] = {
      {"%installdir%Data", "D:\\App\\Data"},
      {"%PROGRAMDIR%Data", "D:\\App\\Data"},
      {"%TEMP%a;%TEMP%b", "C:\\TEMP\\a;C:\\TEMP\\b"},
      // The value ends in a backslash; one written after the macro stays.
      {"%SYSTEM%\\x.dll", "C:\\WINDOWS\\system32\\\\x.dll"},
      {"%Windows%x", "C:\\WINDOWS\\x"},
      {"%TIVSOFTDATADIR%x", "C:\\ProgramData\\TIV_Software\\x"},
      {"%COMMONAPPDATA%", "C:\\ProgramData\\"},
      {"%PROGNAME% Setup", "Hello Setup"},
      {"%CURRENTDIR%f", "C:\\f"},
      {"no macro at all", "no macro at all"},
      {"%UNKNOWN%", "%UNKNOWN%"},
      {"100%", "100%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandMacros(c.text), c.expected) << c.text;
  }
}

TEST_F(MacrosTest, ExpandMacrosOfEmptyTextCreatesNothing) {
  EXPECT_EQ(ExpandMacros(""), "");
  EXPECT_FALSE(platform_.HasDirectory(kSoftData));
  EXPECT_EQ(ExpandMacros("x"), "x");
  EXPECT_TRUE(platform_.HasDirectory(kSoftData));
}

TEST_F(MacrosTest, ExpandMacrosInsertsTheValuesAsTheyAreNow) {
  // Values are not expanded again.
  ProgName = "%TEMP%";
  EXPECT_EQ(ExpandMacros("%PROGNAME%"), "%TEMP%");
  InstallLocation = "D:\\%INSTALLDIR%\\";
  EXPECT_EQ(ExpandMacros("%INSTALLDIR%x"), "D:\\%INSTALLDIR%\\x");
  // Before the run there is no install location.
  InstallLocation.clear();
  EXPECT_EQ(ExpandMacros("%INSTALLDIR%Data"), "Data");
}

TEST_F(MacrosTest, ExpandMacrosCutsDirectoryValuesToShortTexts) {
  platform_.temp_dir = "C:\\" + std::string(300, 't');
  EXPECT_EQ(ExpandMacros("%TEMP%|"), platform_.temp_dir.substr(0, 255) + "|");
  // The product name is not a short-text value.
  ProgName = std::string(300, 'p');
  EXPECT_EQ(ExpandMacros("%PROGNAME%"), ProgName);
}

TEST_F(MacrosTest, ExpandDirMacrosBuildsDirectories) {
  const Case cases[] = {
      {"%SYSTEM%\\Drivers", "C:\\WINDOWS\\system32\\DRIVERS\\"},
      {"x%SYSTEM%", "C:\\WINDOWS\\system32\\"},
      {"%TEMP%", "C:\\TEMP\\"},
      // The directory loses its final backslash and the remainder follows
      // it directly.
      {"%windows%\\sub", "C:\\WINDOWS\\SUB\\"},
      {"%windows%sub", "C:\\WINDOWSSUB\\"},
      {"%PROGRAMDIR%data", "D:\\AppDATA\\"},
      // A later prefix macro replaces what an earlier one built.
      {"%TEMP%%WINDOWS%", "C:\\WINDOWS\\"},
      {"%INSTALLDIR%Sub", "D:\\App\\Sub\\"},
      {"%installdir%", "D:\\App\\"},
      {"%CURRENTDIR%Sub", "SUB"},
      {"%CURRENTDIR%", ""},
      {"%TIVSOFTDATADIR%Prod", "C:\\ProgramData\\TIV_Software\\Prod\\"},
      {"%COMMONAPPDATA%x", "C:\\ProgramData\\x\\"},
      {"%PROGNAME%", "Hello\\"},
      {"%SYSTEM%\\%PROGNAME%", "C:\\WINDOWS\\system32\\Hello\\"},
      {"Bin", "Bin"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandDirMacros(c.text), c.expected) << c.text;
  }
}

TEST_F(MacrosTest, ExpandDirMacrosCreatesTheSharedFolderOnlyForItsMacro) {
  ExpandDirMacros("%WINDOWS%x");
  EXPECT_FALSE(platform_.HasDirectory(kSoftData));
  ExpandDirMacros("%TIVSOFTDATADIR%");
  EXPECT_TRUE(platform_.HasDirectory(kSoftData));
}

TEST_F(MacrosTest, ExpandDirMacrosCutsAtShortTexts) {
  const std::string tail(300, 'a');
  EXPECT_EQ(ExpandDirMacros("%INSTALLDIR%" + tail),
            ("D:\\App\\" + tail).substr(0, 255));
  // Only the first 255 characters of the text are looked at after a
  // prefix macro.
  const std::string expanded = ExpandDirMacros("%WINDOWS%" + tail);
  EXPECT_EQ(expanded, "C:\\WINDOWS" + std::string(255 - 9, 'A') + "\\");
}

TEST_F(MacrosTest, SpecialFolders) {
  EXPECT_EQ(GetCommonAppDataDir(), "C:\\ProgramData\\");
  EXPECT_EQ(GetSoftDataDir(), kSoftData);
  EXPECT_TRUE(platform_.HasDirectory(kSoftData));

  platform_.special_folders[os::kCsidlPrograms] = std::string(300, 'p');
  EXPECT_EQ(GetSpecialFolderPath(os::kCsidlPrograms), std::string(255, 'p'));
  EXPECT_EQ(GetSpecialFolderPath(0x7777), "");
}

TEST_F(MacrosTest, SoftDataDirWithoutCommonFolderCreatesNothing) {
  platform_.special_folders.erase(os::kCsidlCommonAppData);
  EXPECT_EQ(GetCommonAppDataDir(), "");
  EXPECT_EQ(GetSoftDataDir(), "TIV_Software\\");
  EXPECT_FALSE(platform_.HasDirectory("C:\\TIV_Software"));
}

TEST_F(MacrosTest, IsExistingDirectory) {
  platform_.AddFile("C:\\file.txt", "x");
  EXPECT_TRUE(IsExistingDirectory("C:\\"));
  EXPECT_TRUE(IsExistingDirectory("C:\\WINDOWS\\system32"));
  EXPECT_FALSE(IsExistingDirectory("C:\\file.txt"));
  EXPECT_FALSE(IsExistingDirectory("C:\\missing"));
}

}  // namespace
}  // namespace sfx
