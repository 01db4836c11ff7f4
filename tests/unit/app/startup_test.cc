// The start-up sequence over the in-memory platform: command-line rules,
// the corruption message with its size sentence, destination preparation
// and the choice between the unattended run and the window.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../install/install_fixture.h"
#include "app/command_line.h"
#include "app/stub_size_block.h"
#include "install/report.h"
#include "ui/main_window.h"

namespace sfx {

// The window is not part of the native build; the tests see whether the
// start-up sequence opened it.
int g_main_window_runs = 0;
void RunMainWindow(TInstalRecord&) { ++g_main_window_runs; }

namespace {

using fake::AddFileEntry;
using fake::FakeExit;
using Texts = std::vector<std::string>;

TEST(FirstArgumentTest, FollowsTheCommandLineRules) {
  struct Case {
    const char* line;
    const char* argument;
  };
  const Case cases[] = {
      {"setup.exe", ""},
      {"setup.exe C:\\Dest", "C:\\Dest"},
      {"\"C:\\Down loads\\setup.exe\" C:\\Dest other", "C:\\Dest"},
      {"setup.exe \"C:\\My Apps\\Tool\"", "C:\\My Apps\\Tool"},
      {"setup.exe C:\\\"My Apps\"\\Tool", "C:\\My Apps\\Tool"},
      {"setup.exe \"\" C:\\Dest", "C:\\Dest"},
      {"setup.exe \"\"C:\\Dest", "C:\\Dest"},
      {"setup.exe \"\"", ""},
      {"setup.exe\t\x01 C:\\Dest\x1f", "C:\\Dest"},
      {"setup.exe \"unterminated quote", "unterminated quote"},
      {"setup.exe a\"\"b", "ab"},
      {"setup.exe \xe9t\xe9", "\xe9t\xe9"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstArgument(c.line), c.argument) << c.line;
  }
}

TEST(CorruptionMessageTest, SizeSentenceOnlyWhenTheBlockKnowsTheSize) {
  const std::string head = "File setup.exe is corrupted. \r";
  const std::string tail =
      "Probably you have not completed file downloading or some errors "
      "occured during download process.\rPlease try to download the file "
      "again.";
  EXPECT_EQ(CorruptionMessage("C:\\Downloads\\setup.exe", 1000000,
                              {2500000, 2500000, 0}, ","),
            head +
                "The size of file 1,000,000 bytes, must be 2,500,000 bytes\r" +
                tail);
  const StubSizeValues without[] = {
      {2500000, 2500001, 0},  // the copies differ
      {0, 0, 0},              // never filled
      {-5, -5, 0},
      {1000000, 1000000, 0},  // the size is right: the content is not
  };
  for (const StubSizeValues& stub : without) {
    EXPECT_EQ(CorruptionMessage("C:\\Downloads\\setup.exe", 1000000, stub, ","),
              head + tail);
  }
  // A file that cannot be measured has no size to show.
  EXPECT_EQ(CorruptionMessage("setup.exe", -1, {10, 10, 0}, ","), head + tail);
}

class StartupTest : public InstallFixture {
 protected:
  StartupTest() {
    g_main_window_runs = 0;
    record_.ProductName = "Hello";
    record_.RegistryKey = "Software\\TIV\\Hello";
    record_.InstallDir = "C:\\Program Files\\Hello";
    AddFileEntry(record_, "hello.exe");
  }

  // Writes the installer file and points ExePath at it, as the entry does.
  void WriteInstaller(std::vector<std::uint8_t> image) {
    platform_.AddFile(platform_.module_file_name, image);
    ExePath = platform_.module_file_name;
  }

  // Runs the start-up sequence on a fresh record; the exit code when the
  // process ended, -1 when it returned.
  long long Run(TInstalRecord* loaded = nullptr) {
    TInstalRecord record;
    long long code = -1;
    try {
      RunInstaller(record);
    } catch (const FakeExit& exit) {
      code = exit.code;
    }
    if (loaded) *loaded = std::move(record);
    return code;
  }
};

TEST_F(StartupTest, UnattendedInstallFromTheCommandLine) {
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  platform_.command_line =
      "\"C:\\Downloads\\setup.exe\" \"C:\\My Apps\\Hello\"";
  TInstalRecord loaded;
  EXPECT_EQ(Run(&loaded), -1);
  EXPECT_TRUE(platform_.message_boxes.empty());
  EXPECT_EQ(platform_.FileText("C:\\My Apps\\Hello\\hello.exe"), "program");
  EXPECT_EQ(DestBuffer, "C:\\My Apps\\Hello");
  EXPECT_TRUE(Unattended);
  EXPECT_EQ(g_main_window_runs, 0);
  // The package default is prepared but not replaced.
  EXPECT_EQ(loaded.InstallDir, "C:\\Program Files\\Hello");
}

TEST_F(StartupTest, TargetDriveComesFromTheArgument) {
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  platform_.command_line = "setup.exe d:\\x";
  platform_.free_space['D'] = 1 << 30;
  Run();
  EXPECT_EQ(TargetDrive, 'D');
}

TEST_F(StartupTest, WithoutArgumentTheWindowOpens) {
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  platform_.command_line = "setup.exe \"\"";
  platform_.windows_dir = "E:\\WINNT";
  TInstalRecord loaded;
  EXPECT_EQ(Run(&loaded), -1);
  EXPECT_EQ(g_main_window_runs, 1);
  EXPECT_FALSE(platform_.HasFile("C:\\Program Files\\Hello\\hello.exe"));
  // A drive-letter default moves to the Windows directory's drive.
  EXPECT_EQ(loaded.InstallDir, "E:\\Program Files\\Hello");
  EXPECT_EQ(TargetDrive, 'E');
  EXPECT_FALSE(AutoInstall);
}

TEST_F(StartupTest, MacroDefaultIsExpandedAndInstallsByItself) {
  record_.InstallDir = "%windows%Hello";
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  platform_.command_line = "setup.exe";
  TInstalRecord loaded;
  Run(&loaded);
  EXPECT_EQ(loaded.InstallDir, "C:\\WINDOWS\\Hello");
  EXPECT_EQ(TargetDrive, 'C');
  EXPECT_TRUE(AutoInstall);
  EXPECT_EQ(g_main_window_runs, 1);
}

TEST_F(StartupTest, DamagedFileShowsTheCorruptionMessageOnly) {
  std::vector<std::uint8_t> image =
      fake::BuildInstallerImage(record_, {"program"});
  const std::string tail =
      "Probably you have not completed file downloading or some errors "
      "occured during download process.\rPlease try to download the file "
      "again.";
  platform_.command_line = "setup.exe C:\\Dest";
  platform_.thousands_separator = ".";

  // A changed byte: the size is right, so there is no size sentence.
  std::vector<std::uint8_t> changed = image;
  changed[10] ^= 1;
  WriteInstaller(changed);
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(platform_.MessageTexts(),
            (Texts{"File setup.exe is corrupted. \r" + tail}));

  // A cut file has lost its trailer. The size sentence needs the sizes
  // that a packer writes into the running program's own block, which this
  // test program's block does not have (the end-to-end suite sees it).
  std::vector<std::uint8_t> cut(image.begin(), image.end() - 10);
  WriteInstaller(cut);
  platform_.message_boxes.clear();
  EXPECT_EQ(Run(), -1);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  const auto& box = platform_.message_boxes[0];
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.owner, 0u);
  EXPECT_EQ(box.flags, os::kMbOk | os::kMbIconError);
  EXPECT_EQ(box.text, "File setup.exe is corrupted. \r" + tail);
  EXPECT_FALSE(platform_.HasDirectory("C:\\Dest"));
  EXPECT_EQ(g_main_window_runs, 0);
}

TEST_F(StartupTest, EmptyDefaultDestinationEndsWithExitCodeOne) {
  record_.InstallDir.clear();
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  platform_.command_line = "setup.exe C:\\Dest";
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(platform_.MessageTexts(), (Texts{"Packed data is corrupted."}));
  EXPECT_FALSE(platform_.HasDirectory("C:\\Dest"));
}

TEST_F(StartupTest, OverlongArgumentIsRefusedNotCut) {
  WriteInstaller(fake::BuildInstallerImage(record_, {"program"}));
  const std::string destination = "C:\\" + std::string(497, 'd');
  platform_.command_line = "setup.exe " + destination;
  ASSERT_EQ(destination.size(), 500u);
  EXPECT_EQ(Run(), -1);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_NE(platform_.message_boxes[0].text.find("499"), std::string::npos);
  EXPECT_FALSE(platform_.HasDirectory(destination.substr(0, 499)));
  EXPECT_TRUE(DestBuffer.empty());

  // 499 characters are accepted.
  platform_.message_boxes.clear();
  platform_.command_line = "setup.exe " + destination.substr(0, 499);
  Run();
  EXPECT_TRUE(platform_.HasFile(destination.substr(0, 499) + "\\hello.exe"));
}

TEST(ParseCommandLineTest, SwitchesAndTheDestination) {
  struct Case {
    const char* line;
    const char* destination;
    bool quiet;
    const char* log;
    const char* unknown;
  };
  const Case cases[] = {
      {"setup.exe /S", "", true, "", ""},
      {"setup.exe /s C:\\Dest", "C:\\Dest", true, "", ""},
      {"setup.exe C:\\Dest /S second", "C:\\Dest", true, "", ""},
      {"setup.exe \"/LOG=C:\\My Logs\\a.log\" C:\\D", "C:\\D", false,
       "C:\\My Logs\\a.log", ""},
      {"setup.exe /log=x.log /LOG= /Silent", "", false, "x.log", "/LOG="},
      {"setup.exe \"\" /X /Y", "", false, "", "/X"},
  };
  for (const Case& c : cases) {
    const CommandLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.destination, c.destination) << c.line;
    EXPECT_EQ(parsed.quiet, c.quiet) << c.line;
    EXPECT_EQ(parsed.log_path, c.log) << c.line;
    EXPECT_EQ(parsed.unknown, c.unknown) << c.line;
  }
  EXPECT_TRUE(ParseCommandLine("setup.exe /?").usage);
}

// Every way through the start-up sequence leaves the code of the table in
// report.h, and a quiet run shows no box on any of them.
TEST_F(StartupTest, ExitCodesOfEveryOutcome) {
  struct Case {
    const char* name;
    std::string arguments;
    ExitCode code;
    std::size_t boxes;      // message boxes shown
    bool installed;         // hello.exe written to C:\\Dest
    bool damaged = false;   // a changed byte in the installer file
    bool no_space = false;  // the drive has no room
    bool bad_name = false;  // the package names ..\..\Escaped
  };
  const Case cases[] = {
      {"installed", "C:\\Dest", ExitCode::kInstalled, 0, true},
      {"quiet", "/S C:\\Dest", ExitCode::kInstalled, 0, true},
      {"quiet, switch last", "C:\\Dest /S", ExitCode::kInstalled, 0, true},
      {"window closed", "", ExitCode::kCancelled, 0, false},
      {"usage", "/?", ExitCode::kInstalled, 1, false},
      {"usage, quiet", "/? /S", ExitCode::kInstalled, 0, false},
      {"unknown switch", "/X C:\\Dest", ExitCode::kBadCommandLine, 1, false},
      {"unknown switch, quiet", "/S /X", ExitCode::kBadCommandLine, 0, false},
      {"too long", std::string(500, 'd'), ExitCode::kBadCommandLine, 1, false},
      {"damaged", "C:\\Dest", ExitCode::kDamaged, 1, false, true},
      {"damaged, quiet", "/S C:\\Dest", ExitCode::kDamaged, 0, false, true},
      {"no space, answered No", "C:\\Dest", ExitCode::kNoSpace, 1, false, false,
       true},
      {"no space, quiet", "/S C:\\Dest", ExitCode::kNoSpace, 0, false, false,
       true},
      {"bad name", "C:\\Dest", ExitCode::kDamaged, 1, false, false, false,
       true},
      {"bad name, quiet", "/S C:\\Dest", ExitCode::kDamaged, 0, false, false,
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform platform;
    fake::FakePlatformScope scope(&platform);
    ResetState();
    TInstalRecord record = fake::CloneRecord(record_);
    record.SpaceRequired = 1000;
    if (c.bad_name) record.Files[0]->TargetDir = "..\\..\\Escaped";
    std::vector<std::uint8_t> image =
        fake::BuildInstallerImage(record, {"program"});
    if (c.damaged) image[10] ^= 1;
    if (c.no_space) platform.free_space['C'] = 10;
    platform.answers = {os::kIdNo};
    platform.AddFile(platform.module_file_name, image);
    ExePath = platform.module_file_name;
    platform.command_line = "setup.exe " + c.arguments;
    Run();
    EXPECT_EQ(CurrentExitCode(), c.code);
    EXPECT_EQ(platform.message_boxes.size(), c.boxes);
    EXPECT_EQ(platform.HasFile("C:\\Dest\\hello.exe"), c.installed);
  }
}

}  // namespace
}  // namespace sfx
