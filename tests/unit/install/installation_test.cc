// The installation run over an in-memory platform and real packages: the
// order and content of the log values, directories, the failure paths with
// their messages, progress in interactive mode and the final launch.
#include "install/installation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/report.h"
#include "paths/text.h"
#include "install_fixture.h"

namespace sfx {
namespace {

using fake::AddFileEntry;
using fake::AddPreRunEntry;
using Texts = std::vector<std::string>;

// The main window as the run sees it: the field's text, and the calls in
// order ("progress 12", "file", "hide", "close", "show").
class RecordingView : public InstallView {
 public:
  std::string field;
  std::vector<std::string> calls;

  String Destination(int max_chars) override {
    return field.size() > static_cast<std::size_t>(max_chars)
               ? field.substr(0, static_cast<std::size_t>(max_chars))
               : field;
  }
  void ShowProgress() override { calls.push_back("show"); }
  void SetProgress(int percent) override {
    calls.push_back("progress " + std::to_string(percent));
  }
  void HideProgress() override { calls.push_back("hide"); }
  void ShowFile() override { calls.push_back("file"); }
  void Close() override { calls.push_back("close"); }
};

class InstallationTest : public InstallFixture {
 protected:
  // An interactive run: the window shows `field` in its destination field.
  void RunInWindow(const std::string& field) {
    MainWindow = 0x100;
    view_.field = field;
    RunInstallation(record_, &view_);
  }

  InstallationTest() {
    record_.ProductName = "Hello";
    record_.RegistryKey = "Software\\TIV\\Hello";
  }

  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const auto& box : platform_.message_boxes) {
      if (box.caption == "Error") texts.push_back(box.text);
    }
    return texts;
  }

  RecordingView view_;
};

TEST_F(InstallationTest, FullRunWritesTheLogInOrder) {
  AddFileEntry(record_, "hello.exe");
  AddFileEntry(record_, "nolog.txt", "Docs").AddToLog = 0;
  AddFileEntry(record_, "readme.txt", "Docs\\");
  auto& uninstaller = AddFileEntry(record_, "bin\\tiv_uninstal.exe", "Bin");
  uninstaller.Parameters = "/log";
  record_.ExtraProgEntries = {"%WINDOWS%hello.ini", "D:\\abs.txt", "rel.txt"};
  AddPreRunEntry(record_, "tools\\first.exe", 2).Directory = "%WINDOWS%";
  AddPreRunEntry(record_, "second.exe", 2).Parameters = "/s";
  AddPreRunEntry(record_, "post.exe", 3).Parameters = "/p";
  AddPreRunEntry(record_, "never.exe", 7);
  record_.Directories = {"Docs", "Bin", "%TEMP%hello"};
  BuildPackage({"exe", "nolog", "readme", "uninst"});
  SetDestination("C:\\Program Files\\Hello");

  RunInstallation(record_, nullptr);

  EXPECT_EQ(Errors(), (Texts{}));
  EXPECT_EQ(InstallLocation, "C:\\Program Files\\Hello\\");
  EXPECT_EQ(platform_.FileText("C:\\Program Files\\Hello\\hello.exe"), "exe");
  EXPECT_EQ(platform_.FileText("C:\\Program Files\\Hello\\Docs\\nolog.txt"),
            "nolog");
  EXPECT_EQ(
      platform_.FileText("C:\\Program Files\\Hello\\Bin\\tiv_uninstal.exe"),
      "uninst");
  EXPECT_TRUE(platform_.HasDirectory("C:\\Program Files\\Hello\\Docs"));
  EXPECT_TRUE(platform_.HasDirectory("C:\\TEMP\\hello"));

  // Every log value, in the order written.
  const std::pair<std::string, std::string> log[] = {
      {"Name", "Hello"},
      {"Location", "C:\\Program Files\\Hello\\"},
      {"InstallerFile", "C:\\Downloads\\setup.exe"},
      {"Dir0", "C:\\Program Files\\Hello\\Docs"},
      {"Dir1", "C:\\Program Files\\Hello\\Bin"},
      {"Dir2", "C:\\TEMP\\hello"},  // a macro directory the run created
      {"Prog0", "C:\\Program Files\\Hello\\hello.exe"},
      {"Prog2", "C:\\Program Files\\Hello\\Docs\\readme.txt"},
      {"Prog3", "C:\\Program Files\\Hello\\Bin\\tiv_uninstal.exe"},
      {"Prog4", "C:\\WINDOWS\\hello.ini"},
      {"Prog5", "D:\\abs.txt"},
      {"Prog6", "C:\\Program Files\\Hello\\rel.txt"},
      {"NumbOfProg", "7"},
      {"Exec1", "C:\\WINDOWS\\first.exe"},
      {"ExecComLine1", ""},
      {"Exec2", "second.exe"},
      {"ExecComLine2", "/s"},
      {"NumbOfExec", "2"},
      {"PostExec1", "post.exe"},
      {"PostExecComLine1", "/p"},
      {"NumbOfPostExec", "1"},
  };
  Texts names;
  for (const auto& [name, value] : log) {
    names.push_back(name);
    EXPECT_EQ(LogValue(name), value) << name;
  }
  EXPECT_EQ(platform_.RegistryNames(kHkcu, record_.RegistryKey + "\\install"),
            names);

  const std::string uninstall =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello";
  EXPECT_EQ(platform_.RegistryValue(kHklm, uninstall, "DisplayName"), "Hello");
  EXPECT_EQ(platform_.RegistryValue(kHklm, uninstall, "UninstallString"),
            "\"C:\\Program Files\\Hello\\Bin\\TIV_UNINSTAL.EXE\" /log");
  // Stage 2 and 3 entries and unknown stages are never run.
  EXPECT_EQ(platform_.started_programs, (Texts{}));
  EXPECT_EQ(platform_.winexec_calls, (Texts{}));
}

TEST_F(InstallationTest, RegistryKeyWithLeadingBackslashOrEmptyStillLogs) {
  const struct {
    const char* registry_key;
    const char* log_key;
  } cases[] = {
      {"\\Software\\TIV\\Hello", "Software\\TIV\\Hello\\install"},
      {"", "install"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.registry_key);
    record_.RegistryKey = c.registry_key;
    AddFileEntry(record_, "hello.exe");
    BuildPackage({"exe"});
    SetDestination("C:\\Dest");
    RunInstallation(record_, nullptr);
    EXPECT_EQ(Errors(), (Texts{}));
    EXPECT_EQ(platform_.RegistryValue(kHkcu, c.log_key, "Prog0"),
              "C:\\Dest\\hello.exe");
    record_.Files.clear();
  }
}

TEST_F(InstallationTest, PackageWithoutFilesNumbersExtraEntriesFromZero) {
  record_.ExtraProgEntries = {"a.txt"};
  BuildPackage({});
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(LogValue("Prog0"), "C:\\Dest\\a.txt");
  EXPECT_EQ(LogValue("NumbOfProg"), "1");
  EXPECT_EQ(LogValue("NumbOfExec"), "0");
  EXPECT_FALSE(platform_.RegistryValue(
      kHklm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello",
      "DisplayName"));
}

TEST_F(InstallationTest, UninstallerWithoutParametersEndsInABlank) {
  AddFileEntry(record_, "TIV_Uninstal.exe", "%WINDOWS%");
  BuildPackage({"u"});
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(
      platform_.RegistryValue(
          kHklm,
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello",
          "UninstallString"),
      "\"C:\\WINDOWS\\TIV_UNINSTAL.EXE\" ");
}

TEST_F(InstallationTest, SpaceQuestion) {
  record_.SpaceRequired = 5000;
  platform_.free_space['C'] = 4999;
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  SetDestination("C:\\Dest");
  const std::string question =
      "There is not enough space available on the disk C:\r"
      "Please free up some space or change the target location to a "
      "different disk.\r\rProceed anyway?";

  platform_.answers = {os::kIdNo};
  RunInstallation(record_, nullptr);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.message_boxes[0].text, question);
  EXPECT_EQ(platform_.message_boxes[0].flags,
            os::kMbYesNo | os::kMbIconWarning);
  EXPECT_FALSE(platform_.HasDirectory("C:\\Dest"));

  // The free space is asked afresh at each run: the figure the window
  // painted may be another drive's.
  platform_.free_space['C'] = 1 << 30;
  RunInstallation(record_, nullptr);
  EXPECT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.FileText("C:\\Dest\\a.txt"), "a");
  platform_.free_space['C'] = 4999;
  FreeSpace = 1 << 30;
  platform_.answers = {os::kIdNo};
  RunInstallation(record_, nullptr);
  EXPECT_EQ(platform_.message_boxes.size(), 2u);
  EXPECT_EQ(CurrentExitCode(), ExitCode::kNoSpace);
}

TEST_F(InstallationTest, UnknownFreeSpaceAsksEvenForZeroBytes) {
  BuildPackage({});
  SetDestination("\\\\server\\share\\dest");
  platform_.AddDirectory("\\\\server\\share");
  platform_.answers = {os::kIdNo};
  RunInstallation(record_, nullptr);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.message_boxes[0].text.rfind("There is not enough", 0),
            0u);
  EXPECT_EQ(FreeSpace, -1);
  // A quiet run asks nobody: it stops only where the space is known short.
  QuietMode = true;
  RunInstallation(record_, nullptr);
  EXPECT_EQ(LogValue("Location"), "\\\\server\\share\\dest\\");
  EXPECT_EQ(CurrentExitCode(), ExitCode::kInstalled);
}

TEST_F(InstallationTest, DestinationFailures) {
  struct Case {
    const char* destination;
    const char* message;
  };
  const Case cases[] = {
      {"", "Directory name is blank."},
      {"name", "Cannot create directory:\rname"},
      {"name\\", "Cannot create directory:\rname\\"},
      {"Q:/nodrive/x", "Cannot create directory:\rQ:\\nodrive\\x"},
      // Doubled separators and blanks at the end, as Windows reads them.
      {"Q:\\\\nodrive\\x  ", "Cannot create directory:\rQ:\\nodrive\\x"},
      {"Q:\\nodrive\\x", "Cannot create directory:\rQ:\\nodrive\\x"},
  };
  BuildPackage({});
  platform_.free_space['Q'] = 1 << 30;
  for (const Case& c : cases) {
    platform_.message_boxes.clear();
    SetDestination(c.destination);
    FreeSpace = 1 << 30;
    RunInstallation(record_, nullptr);
    EXPECT_EQ(Errors(), (Texts{c.message})) << c.destination;
    EXPECT_FALSE(LogValue("Name")) << c.destination;
  }
}

TEST_F(InstallationTest, DriveRootCountsAsExisting) {
  BuildPackage({});
  SetDestination("C:\\");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{}));
  EXPECT_EQ(LogValue("Location"), "C:\\");
}

TEST_F(InstallationTest, FailedRunKeepsTheEarlierLogForTheUninstaller) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  const std::string log = record_.RegistryKey + "\\install";
  const std::string previous = log + ".previous";
  SetDestination("C:\\First");
  RunInstallation(record_, nullptr);
  SetDestination("C:\\Second");
  platform_.failing_value_names.insert("NumbOfProg");
  for (int failed_run = 0; failed_run < 2; ++failed_run) {
    RunInstallation(record_, nullptr);
    EXPECT_EQ(LogValue("Location"), "C:\\Second\\");  // the latest run's
    EXPECT_EQ(platform_.RegistryValue(kHkcu, previous, "Prog0"),
              "C:\\First\\a.txt");  // the last complete run's, kept
  }
  // The first failed run's log, which the second replaced, is kept too.
  EXPECT_EQ(platform_.RegistryValue(kHkcu, log + ".failed1", "Prog0"),
            "C:\\Second\\a.txt");
  platform_.failing_value_names.clear();
  RunInstallation(record_, nullptr);
  EXPECT_EQ(platform_.RegistryNames(kHkcu, previous), (Texts{}));
  EXPECT_TRUE(platform_.RegistryValue(kHkcu, log + ".failed1", "Prog0"));
}

TEST_F(InstallationTest, RelativeDestinationIsTakenWhereItWasGiven) {
  // The run enters the destination before it creates the listed
  // directories and the files; each must land once, not inside itself.
  record_.Directories = {"Logs"};
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  platform_.AddDirectory("C:\\Work");
  platform_.current_dir = "C:\\Work";
  platform_.free_space['R'] = 1 << 30;  // the drive its first letter names
  SetDestination("Rel\\App");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{}));
  EXPECT_TRUE(platform_.HasDirectory("C:\\Work\\Rel\\App\\Logs"));
  EXPECT_EQ(LogValue("Prog0"), "C:\\Work\\Rel\\App\\a.txt");
  EXPECT_EQ(LogValue("Dir0"), "C:\\Work\\Rel\\App\\Logs");
  // The folder it made above the destination, for the uninstaller.
  EXPECT_TRUE(platform_.RegistryValue(
      kHkcu, record_.RegistryKey + "\\install.folders", "C:\\Work\\Rel"));
}

TEST_F(InstallationTest, FirstRunThatFailedKeepsItsLog) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  const std::string log = record_.RegistryKey + "\\install";
  SetDestination("C:\\First");
  platform_.failing_value_names.insert("NumbOfProg");
  RunInstallation(record_, nullptr);
  platform_.failing_value_names.clear();
  SetDestination("C:\\Second");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(platform_.RegistryValue(kHkcu, log + ".failed1", "Prog0"),
            "C:\\First\\a.txt");
  EXPECT_EQ(platform_.created_keys.count(UpperCaseLatin(log + ".running")), 0u);
}

TEST_F(InstallationTest, ListedDirectoryThatCannotBeCreated) {
  record_.Directories = {"Sub\\Deeper", "%PROGNAME%"};
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_TRUE(platform_.HasDirectory("C:\\Dest\\Sub\\Deeper"));
  // "%PROGNAME%" expands to a bare name: there is no parent to create.
  EXPECT_EQ(Errors(), (Texts{"Cannot create directory: Hello"}));
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\a.txt"));
}

TEST_F(InstallationTest, PackageWalkFailures) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  SetDestination("C:\\Dest");
  const std::int32_t marker = MarkerOffset;

  platform_.LockFile(ExePath);
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{"Cannot read data from file. Probably sharing "
                             "violation."}));

  // A marker offset that leaves no room for the header offset before it.
  platform_.AddFile(ExePath, fake::BuildInstallerImage(record_, {"a"}));
  platform_.message_boxes.clear();
  MarkerOffset = 2;
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{"Installation data is corrupted."}));

  MarkerOffset = marker;
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\a.txt"));
  EXPECT_FALSE(LogValue("Name"));
}

TEST_F(InstallationTest, MoreFileEntriesThanRecordsIsCorruption) {
  AddFileEntry(record_, "a.txt");
  AddFileEntry(record_, "b.txt");
  BuildPackage({"a", "b"});
  record_.Files.pop_back();
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{"Packed data is corrupted."}));
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\a.txt"));
}

TEST_F(InstallationTest, RefusedLogValueEndsTheRunQuietly) {
  AddFileEntry(record_, "a.txt");
  record_.LaunchProgram = "a.txt";
  BuildPackage({"a"});
  SetDestination("C:\\Dest");
  platform_.failing_value_names = {"Location"};
  RunInstallation(record_, nullptr);
  EXPECT_TRUE(platform_.message_boxes.empty());
  EXPECT_EQ(LogValue("Name"), "Hello");
  EXPECT_FALSE(LogValue("InstallerFile"));
  EXPECT_FALSE(platform_.HasFile("C:\\Dest\\a.txt"));
  EXPECT_EQ(platform_.winexec_calls, (Texts{}));
}

TEST_F(InstallationTest, LogKeyHoldsTheLatestRunOnly) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  const std::string key = record_.RegistryKey + "\\install";
  // An earlier run into another folder, with more files.
  platform_.CreateKey(kHkcu, key)->SetString("Location", "D:\\Old\\");
  platform_.CreateKey(kHkcu, key)->SetString("Prog1", "D:\\Old\\b.txt");
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_EQ(LogValue("Location"), "C:\\Dest\\");
  EXPECT_FALSE(LogValue("Prog1"));
  EXPECT_EQ(CurrentExitCode(), ExitCode::kInstalled);

  // A failed rerun leaves no value of the run before it either. The new
  // file whose value could not be written goes again: no log names it. A
  // file it replaced stays (the earlier run's log names it).
  platform_.failing_value_names = {"Prog0"};
  for (const char* destination : {"C:\\Other", "C:\\Dest"}) {
    SetDestination(destination);
    RunInstallation(record_, nullptr);
    EXPECT_EQ(LogValue("Location"), std::string(destination) + "\\");
    EXPECT_FALSE(LogValue("NumbOfProg"));
    EXPECT_EQ(CurrentExitCode(), ExitCode::kStepFailed);
  }
  EXPECT_FALSE(platform_.HasFile("C:\\Other\\a.txt"));
  EXPECT_TRUE(platform_.HasFile("C:\\Dest\\a.txt"));
}

TEST_F(InstallationTest, StageZeroProgramExtractedIntoTheNewDestination) {
  AddFileEntry(record_, "setup1.exe");
  TPreRunFileRecord& entry = AddPreRunEntry(record_, "setup1.exe", 0);
  entry.ExtractFirst = 1;
  BuildPackage({"program"});
  SetDestination("C:\\Fresh\\Dest");
  bool present = false;
  platform_.programs["C:\\FRESH\\DEST\\SETUP1.EXE"].on_start = [&] {
    present = platform_.FileText("C:\\Fresh\\Dest\\setup1.exe") == "program";
  };
  RunInstallation(record_, nullptr);
  EXPECT_TRUE(present);
  EXPECT_EQ(platform_.MessageTexts(), (Texts{}));
  EXPECT_EQ(CurrentExitCode(), ExitCode::kInstalled);
}

TEST_F(InstallationTest, UninstallKeyThatCannotBeCreatedIsSkipped) {
  AddFileEntry(record_, "TIV_UNINSTAL.EXE");
  record_.LaunchProgram = "TIV_UNINSTAL.EXE";
  BuildPackage({"u"});
  SetDestination("C:\\Dest");
  platform_.failing_keys = {
      "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\HELLO"};
  RunInstallation(record_, nullptr);
  EXPECT_TRUE(platform_.message_boxes.empty());
  EXPECT_EQ(platform_.winexec_calls, (Texts{"\"C:\\Dest\\TIV_UNINSTAL.EXE\""}));
}

TEST_F(InstallationTest, LaunchProgramForms) {
  struct Case {
    const char* launch;
    const char* command;
  };
  const Case cases[] = {
      {"hello.exe", "\"C:\\Dest\\hello.exe\""},
      {"hello.exe\" /x", "\"C:\\Dest\\hello.exe\" /x"},
      // The directory expansion's final backslash is not left on a file.
      {"%WINDOWS%\\notepad.exe", "C:\\WINDOWS\\NOTEPAD.EXE"},
      {"%INSTALLDIR%hello.exe", "C:\\Dest\\hello.exe"},
      {"%INSTALLDIR%bin\\", "C:\\Dest\\bin\\"},
  };
  BuildPackage({});
  for (const Case& c : cases) {
    record_.LaunchProgram = c.launch;
    platform_.winexec_calls.clear();
    SetDestination("C:\\Dest");
    RunInstallation(record_, nullptr);
    EXPECT_EQ(platform_.winexec_calls, (Texts{c.command})) << c.launch;
  }
}

TEST_F(InstallationTest, LaunchFailureIsShownAndTheRunGoesOn) {
  record_.LaunchProgram = "missing.exe";
  BuildPackage({});
  SetDestination("C:\\Dest");
  platform_.winexec_result = 2;
  RunInWindow("C:\\Dest");
  EXPECT_EQ(Errors(), (Texts{"\"C:\\Dest\\missing.exe\"\r\r"
                             "File was not found., "
                             "\"C:\\Dest\\missing.exe\""}));
  EXPECT_EQ(view_.calls.back(), "close");
}

TEST_F(InstallationTest, InteractiveRunShowsProgressAndClosesTheWindow) {
  for (const char* name : {"1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
    AddFileEntry(record_, std::string(name) + ".txt");
  }
  record_.FinishLines = {"Done.", "Enjoy."};
  BuildPackage(std::vector<std::string>(9, "x"));
  DestBuffer = "C:\\Dest";
  TargetDrive = 'C';

  RunInWindow("C:\\Dest");

  EXPECT_EQ(DestBuffer, "C:\\Dest");
  EXPECT_EQ(platform_.FileText("C:\\Dest\\9.txt"), "x");
  // Each file is shown, then the bar moves: i / 8 * 100 rounded half to
  // even. The run starts by resetting a bar of an earlier run.
  Texts expected = {"progress 1", "show"};
  for (int position : {0, 12, 25, 38, 50, 62, 75, 88, 100}) {
    expected.push_back("file");
    expected.push_back("progress " + std::to_string(position));
  }
  expected.push_back("close");
  EXPECT_EQ(view_.calls, expected);
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.message_boxes[0].caption, "Success");
  EXPECT_EQ(platform_.message_boxes[0].text, "Done.\rEnjoy.\r");
  EXPECT_EQ(platform_.message_boxes[0].owner, MainWindow);
}

TEST_F(InstallationTest, InteractiveRunTakesTheFieldAsItIsNow) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  // The window painted "C:\Old" and the user typed another directory.
  DestBuffer = "C:\\Old";
  TargetDrive = 'C';
  RunInWindow("C:\\New");
  EXPECT_EQ(platform_.FileText("C:\\New\\a.txt"), "a");
  EXPECT_EQ(LogValue("Location"), "C:\\New\\");
  EXPECT_EQ(LogValue("Prog0"), "C:\\New\\a.txt");
  EXPECT_FALSE(platform_.HasDirectory("C:\\Old"));
}

TEST_F(InstallationTest, InteractiveRunWithBlankFieldAndFailedFile) {
  AddFileEntry(record_, "a.txt");
  AddFileEntry(record_, "b.txt");
  BuildPackage({"a", "b"});
  DestBuffer = "C:\\Dest";
  TargetDrive = 'C';
  RunInWindow("");
  EXPECT_EQ(Errors(), (Texts{"Directory name is blank."}));

  platform_.AddFile("C:\\Dest\\b.txt", "locked");
  platform_.LockFile("C:\\Dest\\b.txt");
  platform_.message_boxes.clear();
  view_.calls.clear();
  RunInWindow("C:\\Dest");
  EXPECT_EQ(LogValue("Location"), "C:\\Dest\\");
  ASSERT_EQ(Errors().size(), 1u);
  // The bar is hidden and the window stays open.
  EXPECT_EQ(view_.calls,
            (Texts{"progress 1", "show", "file", "progress 0", "hide"}));
}

TEST_F(InstallationTest, OverlongDestinationInTheWindowIsRefusedNotCut) {
  AddFileEntry(record_, "a.txt");
  BuildPackage({"a"});
  const std::string typed = "C:\\" + std::string(600, 'd');
  RunInWindow(typed);
  EXPECT_EQ(Errors(), (Texts{kDestinationTooLong}));
  EXPECT_EQ(CurrentExitCode(), ExitCode::kStepFailed);
  EXPECT_FALSE(platform_.HasDirectory(typed.substr(0, 499)));
  EXPECT_FALSE(LogValue("Name"));
}

TEST_F(InstallationTest, DestinationOutsideTheCodePageIsNamedAsSuch) {
  BuildPackage({});
  SetDestination("C:\\??");  // two CJK characters, as the ANSI calls give them
  RunInstallation(record_, nullptr);
  EXPECT_EQ(Errors(), (Texts{"Cannot create directory:\rC:\\??\rIts name "
                             "holds characters outside the system's code "
                             "page."}));
  EXPECT_EQ(CurrentExitCode(), ExitCode::kStepFailed);
}

TEST_F(InstallationTest, UnattendedRunShowsNoSuccessMessage) {
  record_.FinishLines = {""};
  BuildPackage({});
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  EXPECT_TRUE(platform_.message_boxes.empty());

  // A single empty line still makes a text in interactive mode.
  Unattended = false;
  RunInWindow("C:\\Dest");
  ASSERT_EQ(platform_.message_boxes.size(), 1u);
  EXPECT_EQ(platform_.message_boxes[0].text, "\r");
}

TEST_F(InstallationTest, StageOneRunsAfterRegistrationAndBeforeTheLaunch) {
  AddFileEntry(record_, "TIV_UNINSTAL.EXE");
  AddPreRunEntry(record_, "after.exe", 1);
  record_.LaunchProgram = "hello.exe";
  BuildPackage({"u"});
  platform_.AddFile("C:\\Dest\\after.exe", "");
  SetDestination("C:\\Dest");
  RunInstallation(record_, nullptr);
  std::vector<std::string> order;
  for (const std::string& entry : platform_.log) {
    if (entry.rfind("CreateKey HKLM", 0) == 0 ||
        entry.rfind("StartProcess", 0) == 0 || entry.rfind("WinExec", 0) == 0) {
      order.push_back(entry.substr(0, entry.find(' ')));
    }
  }
  EXPECT_EQ(order, (Texts{"CreateKey", "StartProcess", "WinExec"}));
}

TEST(CreateDirectoryPathTest, CreatesMissingParents) {
  fake::FakePlatform platform;
  fake::FakePlatformScope scope(&platform);
  EXPECT_TRUE(CreateDirectoryPath("C:\\a\\b\\c\\"));
  EXPECT_TRUE(platform.HasDirectory("C:\\a\\b\\c"));
  const std::vector<std::string> created(
      std::find(platform.log.begin(), platform.log.end(),
                "CreateDirectory C:\\a"),
      platform.log.end());
  EXPECT_EQ(created, (Texts{"CreateDirectory C:\\a", "CreateDirectory C:\\a\\b",
                            "CreateDirectory C:\\a\\b\\c"}));

  platform.log.clear();
  EXPECT_TRUE(CreateDirectoryPath("C:\\"));
  EXPECT_TRUE(CreateDirectoryPath("C:"));
  EXPECT_TRUE(CreateDirectoryPath("C:\\a\\b"));
  EXPECT_TRUE(platform.log.empty());
}

TEST(CreateDirectoryPathTest, FailsWithoutAParent) {
  fake::FakePlatform platform;
  fake::FakePlatformScope scope(&platform);
  for (const char* path : {"", "name", "name\\"}) {
    EXPECT_FALSE(CreateDirectoryPath(path)) << path;
  }
  for (const std::string& line : platform.log) {
    EXPECT_NE(line.rfind("CreateDirectory", 0), 0u) << line;
  }
}

}  // namespace
}  // namespace sfx
