// Folder trees and patterns of the manifest, installed under Wine: every
// target folder exists although the manifest lists none of them.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace sfx::e2e {
namespace {

TEST(TreeTest, TreesAndPatternsInstallIntoTheFoldersTheyNeed) {
  DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\SfxTests\\Tree");
  const std::string dest = WorkDir("tree") + "T";
  const RunResult run = RunInstaller(Fixture("tree"), dest);
  EXPECT_EQ(run.Texts(), std::vector<std::string>{});
  EXPECT_EQ(run.exit_code, 0u);
  const std::string d = dest + "\\";
  EXPECT_EQ(ReadFileText(d + "Deep\\Er\\a.txt"), "alpha\r\n");
  EXPECT_TRUE(FileExists(d + "Deep\\Er\\b.txt"));
  EXPECT_FALSE(FileExists(d + "Deep\\Er\\c.txt"));
  for (const char* name : {"a.txt", "b.txt", "c.txt", "packaged.txt"}) {
    EXPECT_TRUE(FileExists(d + "Copy\\Of\\Data\\" + name)) << name;
  }
  EXPECT_FALSE(FileExists(d + "Copy\\Of\\Data\\readme.txt"));
  // Package order: the pattern's files, then the tree's in byte order.
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER,
                           "Software\\SfxTests\\Tree\\install", "Prog2"),
            d + "Copy\\Of\\Data\\a.txt");
}

}  // namespace
}  // namespace sfx::e2e
