// Pre-run programs, waiting, command lines and late binding over the
// in-memory platform.
#include "install/programs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"

namespace sfx {
namespace {

using fake::AddFileEntry;
using fake::AddPreRunEntry;
using Texts = std::vector<std::string>;

class ProgramsTest : public InstallFixture {
 protected:
  ProgramsTest() {
    AddFileEntry(record_, "readme.txt");
    AddFileEntry(record_, "tools\\Setup1.exe");
    AddFileEntry(record_, "other.txt");
    InstallLocation = "C:\\Dest\\";
    platform_.AddDirectory("C:\\Dest");
  }
};

TEST_F(ProgramsTest, ExtractsWaitsAndDeletes) {
  BuildPackage({"r", "setup program", "o"});
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "\\SETUP1.EXE", 0);
  entry.ExtractFirst = 1;
  entry.DeleteAfter = 1;
  bool present_while_running = false;
  auto& script = platform_.programs["C:\\DEST\\SETUP1.EXE"];
  script.polls_running = 2;
  script.on_start = [&] {
    present_while_running =
        platform_.FileText("C:\\Dest\\Setup1.exe") == "setup program";
  };

  RunPreRunFile(record_, entry);

  // The packaged name (its case) names the program; only its block is
  // written.
  EXPECT_EQ(platform_.started_programs, (Texts{"C:\\Dest\\Setup1.exe"}));
  EXPECT_TRUE(present_while_running);
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\Setup1.exe"));
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\readme.txt"));
  EXPECT_TRUE(platform_.message_boxes.empty());
}

TEST_F(ProgramsTest, UnmatchedProgramRunsQuotedAndIsKept) {
  BuildPackage({"r", "s", "o"});
  platform_.AddFile("C:\\Tools\\check.exe", "mine");
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "check.exe", 0);
  entry.Directory = "C:\\Tools";
  entry.ExtractFirst = 1;
  entry.DeleteAfter = 1;
  entry.Parameters = "/dir=%INSTALLDIR%";
  RunPreRunFile(record_, entry);
  EXPECT_EQ(platform_.winexec_calls,
            (Texts{"\"C:\\Tools\\check.exe\" /dir=C:\\Dest\\"}));
  EXPECT_TRUE(platform_.started_programs.empty());
  EXPECT_TRUE(platform_.HasFile("C:\\Tools\\check.exe"));
}

TEST_F(ProgramsTest, ProgramWithParametersIsNotWaitedForButDeleted) {
  BuildPackage({"r", "s", "o"});
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "setup1.exe", 1);
  entry.ExtractFirst = 1;
  entry.DeleteAfter = 1;
  entry.Parameters = "/q";
  platform_.programs["C:\\DEST\\SETUP1.EXE"].exit_code = kCanceledExitCode;
  RunPreRunFile(record_, entry);
  EXPECT_EQ(platform_.winexec_calls, (Texts{"C:\\Dest\\Setup1.exe /q"}));
  EXPECT_TRUE(platform_.started_programs.empty());
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\Setup1.exe"));
}

TEST_F(ProgramsTest, StartFailureOfACommandLineIsShown) {
  BuildPackage({"r", "s", "o"});
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "gone.exe", 1);
  entry.Parameters = "/q";
  platform_.winexec_result = 3;
  RunPreRunFile(record_, entry);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.message_boxes[0].text,
            "Path was not found., \"C:\\Dest\\gone.exe\" /q");
  EXPECT_EQ(platform_.message_boxes[0].caption, "Error");
}

TEST_F(ProgramsTest, ProgramThatCannotStartIsSilent) {
  BuildPackage({"r", "s", "o"});
  RunPreRunFile(record_, AddPreRunEntry(record_, "gone.exe", 0));
  EXPECT_EQ(platform_.started_programs, (Texts{"C:\\Dest\\gone.exe"}));
  EXPECT_TRUE(platform_.message_boxes.empty());
  // ...but a script sees it in the exit code.
  EXPECT_EQ(CurrentExitCode(), ExitCode::kStepFailed);
}

TEST_F(ProgramsTest, PackageProblemsAreShownAndTheProgramStillRuns) {
  BuildPackage({"r", "s", "o"});
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "setup1.exe", 0);
  entry.ExtractFirst = 1;
  platform_.LockFile(ExePath);
  RunPreRunFile(record_, entry);
  EXPECT_EQ(platform_.MessageTexts(),
            (Texts{"Cannot read data from file. Probably sharing violation."}));
  EXPECT_EQ(platform_.started_programs, (Texts{"C:\\Dest\\setup1.exe"}));
}

TEST(StartAndWaitTest, ReturnsTheExitCodeOrTheLaunchFailure) {
  fake::FakePlatform platform;
  fake::FakePlatformScope scope(&platform);
  platform.programs["C:\\P.EXE"] = {42, 3, nullptr};
  EXPECT_EQ(StartAndWait("C:\\p.exe"), 42u);
  // 259 is also what the query gives while a program runs; the wait is on
  // the process, so its end is seen all the same.
  platform.programs["C:\\STILL.EXE"] = {os::kStillActive, 2, nullptr};
  EXPECT_EQ(StartAndWait("C:\\still.exe"), os::kStillActive);
  EXPECT_EQ(StartAndWait("C:\\missing.exe"), kLaunchFailedCode);
}

TEST(LaunchCommandTest, TranslatesEveryStartFailure) {
  fake::FakePlatform platform;
  fake::FakePlatformScope scope(&platform);
  struct Case {
    std::uint32_t code;
    const char* message;
  };
  const Case cases[] = {
      {0,
       "System was out of memory, executable file was corrupt, or "
       "relocations were invalid."},
      {2, "File was not found."},
      {3, "Path was not found."},
      {5,
       "Attempt was made to dynamically link to a task, or there was a "
       "sharing or network-protection error."},
      {6, "Library required separate data segments for each task."},
      {8, "There was insufficient memory to start the application."},
      {10, "Windows version was incorrect."},
      {11,
       "Executable file was invalid. Either it was not a Windows "
       "application or there was an error in the .EXE image."},
      {12, "Application was designed for a different operating system."},
      {13, "Application was designed for MS-DOS 4.0."},
      {14, "Type of executable file was unknown."},
      {15,
       "Attempt was made to load a real-mode application (developed for "
       "an earlier version of Windows)."},
      {16,
       "Attempt was made to load a second instance of an executable file "
       "containing multiple data segments that were not marked "
       "read-only."},
      {19,
       "Attempt was made to load a compressed executable file. The file "
       "must bedecompressed before it can be loaded."},
      {20,
       "Dynamic-link library (DLL) file was invalid. One of the DLLs "
       "required to run thisapplication was corrupt."},
      {21, "Application requires 32-bit extensions."},
      {1, "Execution error."},
      {4, "Execution error."},
      {31, "Execution error."},
  };
  for (const Case& c : cases) {
    platform.winexec_result = c.code;
    EXPECT_EQ(LaunchCommand("x.exe"), std::string(c.message) + ", x.exe")
        << c.code;
  }
  platform.winexec_result = 32;
  EXPECT_EQ(LaunchCommand("x.exe"), "");
  EXPECT_EQ(platform.log.back(), "WinExec x.exe show=5");
}

TEST(LaunchCommandTest, WorkingDirectoryAndLengthLimit) {
  fake::FakePlatform platform;
  fake::FakePlatformScope scope(&platform);
  platform.AddDirectory("C:\\Work");
  platform.winexec_result = 2;
  EXPECT_EQ(LaunchCommand("x.exe", "C:\\Work"),
            "File was not found., C:\\Workx.exe");
  EXPECT_EQ(platform.current_dir, "C:\\WORK");

  // 255 characters pass; longer texts are refused before the system sees
  // them.
  platform.winexec_result = 33;
  platform.winexec_calls.clear();
  EXPECT_EQ(LaunchCommand(std::string(255, 'c')), "");
  EXPECT_NE(LaunchCommand(std::string(256, 'c')), "");
  EXPECT_NE(LaunchCommand("x.exe", std::string(256, 'd')), "");
  EXPECT_EQ(platform.winexec_calls.size(), 1u);
}

}  // namespace
}  // namespace sfx
