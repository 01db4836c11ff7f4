// The uninstaller's decisions: its command line, what the log values
// name, and which directories it may remove, in which order.
#include "uninstall/uninstall_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(UninstallArgsTest, CommandLines) {
  const struct {
    const char* line;
    int result;
    const char* key;
    int silent;
  } cases[] = {
      {"\"C:\\P Q\\TIV_UNINSTAL.EXE\" \"Software\\Maker\\My Product\"", 0,
       "Software\\Maker\\My Product", 0},
      {"TIV_UNINSTAL.EXE \"Software\\Maker\\P\" /S", 0, "Software\\Maker\\P",
       1},
      {"u.exe /s Software\\Maker\\P", 0, "Software\\Maker\\P", 1},
      {"u.exe", -1, "", 0},
      {"u.exe /S", -1, "", 1},
      {"u.exe key /Q", -1, "key", 0},
      {"u.exe one two", -1, "one", 0},
      {"u.exe key /quiet /S", -1, "key", 1},  // no box for the usage
  };
  for (const auto& c : cases) {
    UninstallArgs args;
    EXPECT_EQ(ParseUninstallArgs(c.line, &args), c.result) << c.line;
    EXPECT_STREQ(args.key, c.key) << c.line;
    EXPECT_EQ(args.silent, c.silent) << c.line;
  }
}

TEST(UninstallArgsTest, RemoverCommandLine) {
  UninstallArgs args;
  ASSERT_EQ(ParseUninstallArgs("\"C:\\T\\copy.exe\" /X:1234 "
                               "\"C:\\P Q\\TIV_UNINSTAL.EXE\" \"C:\\P Q\\\"",
                               &args),
            0);
  EXPECT_EQ(args.wait_pid, 1234u);
  EXPECT_STREQ(args.remove, "C:\\P Q\\TIV_UNINSTAL.EXE");
  EXPECT_STREQ(args.location, "C:\\P Q\\");
  EXPECT_EQ(args.silent, 1);
  EXPECT_EQ(ParseUninstallArgs("c.exe /X:12x \"a\" \"b\"", &args), -1);
  EXPECT_EQ(ParseUninstallArgs("c.exe /X:12 \"a\"", &args), -1);
}

TEST(LogValueTest, KeptLogs) {
  EXPECT_TRUE(IsKeptLogName("install.previous"));
  EXPECT_TRUE(IsKeptLogName("Install.Failed12"));
  EXPECT_FALSE(IsKeptLogName("install"));
  EXPECT_FALSE(IsKeptLogName("install.failed"));
  EXPECT_FALSE(IsKeptLogName("installer"));
}

TEST(LogValueTest, WhatEachValueNames) {
  const struct {
    const char* name;
    LogValueKind kind;
  } cases[] = {
      {"Prog0", kLogFile},
      {"Dir3", kLogDirectory},
      {"Directory", kLogIgnored},
      {"prog12", kLogFile},
      {"Prog", kLogIgnored},
      {"ProgX", kLogIgnored},
      {"NumbOfProg", kLogIgnored},
      {"Shortcut3", kLogShortcut},
      {"DeskIcon0", kLogShortcut},
      {"MenuFolder", kLogMenuFolder},
      {"Location", kLogIgnored},
      {"Exec1", kLogIgnored},
      {"InstallerFile", kLogIgnored},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClassifyLogValue(c.name), c.kind) << c.name;
}

TEST(DirectoryListTest, ParentsWithinTheLocationDeepestFirst) {
  EXPECT_TRUE(IsWithinDirectory("C:\\P\\a", "c:\\p\\"));
  EXPECT_TRUE(IsWithinDirectory("C:\\P", "C:\\P\\"));
  EXPECT_FALSE(IsWithinDirectory("C:\\Program", "C:\\P\\"));
  EXPECT_FALSE(IsWithinDirectory("C:\\", "C:\\P\\"));
  EXPECT_FALSE(IsWithinDirectory("C:\\P\\a", ""));

  DirectoryList list = {nullptr, 0, 0};
  const char* files[] = {"C:\\P\\Docs\\Deep\\readme.txt", "C:\\P\\a.txt",
                         "c:\\p\\docs\\b.txt", "C:\\WINDOWS\\system32\\x.dll",
                         "C:\\P\\Docs\\Deep\\other.txt"};
  for (const char* file : files) {
    ASSERT_EQ(AddParentDirectories(&list, file, "C:\\P\\"), 0);
  }
  // A directory the log names itself, outside the location too.
  ASSERT_EQ(AddDirectory(&list, "D:\\Data\\Cache\\"), 0);
  ASSERT_EQ(AddDirectory(&list, "c:\\p\\docs\\deep"), 0);
  SortDeepestFirst(&list);
  std::vector<std::string> dirs(list.items, list.items + list.count);
  EXPECT_EQ(dirs,
            (std::vector<std::string>{"C:\\P\\Docs\\Deep", "D:\\Data\\Cache",
                                      "C:\\P\\Docs", "C:\\P"}));
  // Growing past the first allocation keeps every entry.
  for (int i = 0; i < 40; ++i) {
    const std::string file = "C:\\P\\d" + std::to_string(i) + "\\f";
    ASSERT_EQ(AddParentDirectories(&list, file.c_str(), "C:\\P"), 0);
  }
  EXPECT_EQ(list.count, 44);
  FreeDirectoryList(&list);
}

}  // namespace
