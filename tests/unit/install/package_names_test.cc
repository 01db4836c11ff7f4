// The installer's refusal of a hand-made package whose names would write
// outside the destination, the menu folder or a macro directory.
#include "install/package_names.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "package_image.h"

namespace sfx {
namespace {

TEST(PackageNamesTest, EveryNameFieldIsChecked) {
  using Change = std::function<void(TInstalRecord&)>;
  struct Case {
    const char* name;
    Change change;
    const char* field;  // named in the refusal; empty: accepted
  };
  const Case cases[] = {
      {"plain package", [](TInstalRecord&) {}, ""},
      {"macro directories",
       [](TInstalRecord& r) {
         r.Files[0]->TargetDir = "%SYSTEM%";
         r.Directories = {"%TEMP%hello", "Docs\\Sub"};
         r.LaunchProgram = "%INSTALLDIR%hello.exe /x";
       },
       ""},
      {"escaping TargetDir",
       [](TInstalRecord& r) { r.Files[0]->TargetDir = "..\\..\\Escaped"; },
       "TargetDir"},
      {"rooted TargetDir",
       [](TInstalRecord& r) { r.Files[1]->TargetDir = "C:\\Windows"; },
       "TargetDir"},
      {"device file name",
       [](TInstalRecord& r) { r.Files[1]->FileName = "NUL"; }, "FileName"},
      {"trailing dot",
       [](TInstalRecord& r) { r.Files[1]->FileName = "a.txt."; }, "FileName"},
      {"names differing in case",
       [](TInstalRecord& r) {
         r.Files[0]->FileName = "Same.txt";
         r.Files[1]->FileName = "SAME.TXT";
         r.Files[1]->TargetDir = "";
       },
       "differs only in case"},
      {"same name, other folders",
       [](TInstalRecord& r) {
         r.Files[0]->FileName = "Same.txt";
         r.Files[1]->FileName = "SAME.TXT";
       },
       ""},
      {"product name that %PROGNAME% would take outside",
       [](TInstalRecord& r) { r.ProductName = ".."; }, "ProductName"},
      {"product name with a separator",
       [](TInstalRecord& r) { r.ProductName = "Suite\\Tool"; }, "ProductName"},
      {"product name with a colon",
       [](TInstalRecord& r) { r.ProductName = "AB: C"; }, ""},
      {"product name that is a drive",
       [](TInstalRecord& r) { r.ProductName = "C:"; }, "ProductName"},
      {"escaping menu folder",
       [](TInstalRecord& r) { r.MenuFolderName = "..\\..\\Startup"; },
       "MenuFolderName"},
      {"shortcut with a path",
       [](TInstalRecord& r) { r.Files[0]->ShortcutName = "..\\Evil"; },
       "ShortcutName"},
      {"escaping listed directory",
       [](TInstalRecord& r) { r.Directories = {"..\\Up"}; }, "Directories"},
      {"escaping launch program",
       [](TInstalRecord& r) { r.LaunchProgram = "..\\other.exe\" /x"; },
       "LaunchProgram"},
      {"pre-run file name",
       [](TInstalRecord& r) { fake::AddPreRunEntry(r, "..\\tool.exe", 0); },
       "FileName"},
      {"pre-run directory",
       [](TInstalRecord& r) {
         fake::AddPreRunEntry(r, "tool.exe", 1).ExtractFirst = 1;
         r.PreRunFiles.back()->Directory = "C:\\Elsewhere";
       },
       "Directory"},
      {"logged-only entry may name any path",
       [](TInstalRecord& r) { fake::AddPreRunEntry(r, "C:\\Tools\\x.exe", 2); },
       ""},
  };
  for (const Case& c : cases) {
    TInstalRecord record;
    record.MenuFolderName = "Hello";
    fake::AddFileEntry(record, "hello.exe").ShortcutName = "%PROGNAME%";
    fake::AddFileEntry(record, "readme.txt", "Docs");
    c.change(record);
    const std::string refusal = FindBadPackageName(record);
    if (*c.field == '\0') {
      EXPECT_EQ(refusal, "") << c.name;
    } else {
      EXPECT_NE(refusal.find(c.field), std::string::npos)
          << c.name << ": " << refusal;
    }
  }
}

}  // namespace
}  // namespace sfx
