// The installer under Wine, watched as a user would: each fixture installer
// is started with CreateProcess, its message boxes are read and answered,
// and what it left behind is read back through the system's interfaces.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "harness.h"

namespace sfx::e2e {
namespace {

using Texts = std::vector<std::string>;

constexpr char kTestsKey[] = "Software\\SfxTests\\";
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The registry key of a test fixture.
std::string Key(const std::string& name) { return kTestsKey + name; }

std::string TempDir() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  return std::string(buffer, n);
}

std::string WindowsDir() {
  char buffer[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, n);
}

// A fresh start for one fixture: its log key, its uninstall key and its
// work directory are gone.
class InstallerTest : public ::testing::Test {
 protected:
  // `key` is the package's registry key (the log key's parent).
  std::string Prepare(const std::string& name, const std::string& key,
                      const std::string& product) {
    log_key_ = key + "\\install";
    DeleteRegistryTree(HKEY_CURRENT_USER, key);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey + product);
    work_ = WorkDir(name);
    return work_;
  }

  std::optional<std::string> Log(const std::string& name) const {
    return RegistryString(HKEY_CURRENT_USER, log_key_, name);
  }

  std::set<std::string> LogNames() const {
    Texts names = RegistryValueNames(HKEY_CURRENT_USER, log_key_);
    return std::set<std::string>(names.begin(), names.end());
  }

  std::string log_key_;
  std::string work_;
};

TEST_F(InstallerTest, UnattendedInstallOfTheExample) {
  const std::string dest =
      Prepare("hello", Key("HelloE2E"), "Hello E2E") + "Hello";
  const std::string programs = SpecialFolder(CSIDL_PROGRAMS);
  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  const std::string menu = programs + "\\Hello E2E";
  RemoveTree(menu);
  DeleteFileA((desktop + "\\Hello.LNK").c_str());

  const RunResult run = RunInstaller(Fixture("hello"), Quoted(dest));
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);

  // The product's program was started at the end; it greets with a box.
  EXPECT_TRUE(WaitUntil([] { return CloseDialogsCaptioned("Hello") > 0; }));

  const std::string hello_source = WinePath(SFX_E2E_HELLO_EXE);
  EXPECT_EQ(ReadFileBytes(dest + "\\hello.exe"), ReadFileBytes(hello_source));
  EXPECT_EQ(ReadFileText(dest + "\\Docs\\readme.txt"),
            "Hello, reader.\r\nThis is the example product.\r\n");
  EXPECT_TRUE(FileExists(dest + "\\TIV_UNINSTAL.EXE"));
  // The packaged time is the source's, to the two seconds a DOS time holds.
  const auto source_time = LastWriteTime(hello_source);
  ASSERT_TRUE(source_time);
  EXPECT_EQ(LastWriteTime(dest + "\\hello.exe"),
            *source_time / 20000000 * 20000000);

  const std::string d = dest + "\\";
  EXPECT_EQ(Log("Name"), "Hello E2E");
  EXPECT_EQ(Log("Location"), d);
  EXPECT_EQ(Log("InstallerFile"), Fixture("hello"));
  EXPECT_EQ(Log("Prog0"), d + "hello.exe");
  EXPECT_EQ(Log("Prog1"), d + "Docs\\readme.txt");
  EXPECT_EQ(Log("Prog2"), d + "TIV_UNINSTAL.EXE");
  EXPECT_EQ(Log("Prog3"), d + "hello.ini");
  EXPECT_EQ(Log("NumbOfProg"), "4");
  EXPECT_EQ(Log("Exec1"), "cleanup.exe");
  EXPECT_EQ(Log("ExecComLine1"), "/all");
  EXPECT_EQ(Log("NumbOfExec"), "1");
  EXPECT_EQ(Log("NumbOfPostExec"), "0");
  EXPECT_EQ(Log("MenuFolder"), menu);
  EXPECT_EQ(Log("Shortcut0"), menu + "\\Hello.LNK");
  EXPECT_EQ(Log("Shortcut1"), menu + "\\Read me.LNK");
  EXPECT_EQ(Log("DeskIcon0"), desktop + "\\Hello.LNK");
  EXPECT_EQ(Log("Dir0"), d + "Docs");
  EXPECT_EQ(LogNames(),
            (std::set<std::string>{"Name", "Location", "InstallerFile", "Dir0",
                                   "Prog0", "Prog1", "Prog2", "Prog3",
                                   "NumbOfProg", "Exec1", "ExecComLine1",
                                   "NumbOfExec", "NumbOfPostExec", "MenuFolder",
                                   "Shortcut0", "Shortcut1", "DeskIcon0"}));

  const std::string uninstall = std::string(kUninstallKey) + "Hello E2E";
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, "DisplayName"),
            "Hello E2E");
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, "UninstallString"),
            Quoted(d + "TIV_UNINSTAL.EXE") + " Software\\SfxTests\\HelloE2E");

  for (const std::string& link :
       {menu + "\\Hello.LNK", desktop + "\\Hello.LNK"}) {
    const auto info = ReadShellLink(link);
    ASSERT_TRUE(info) << link;
    EXPECT_EQ(info->target, d + "hello.exe") << link;
    EXPECT_EQ(info->arguments, "/greet \"dear user\"") << link;
    EXPECT_EQ(info->working_dir, d) << link;
    EXPECT_EQ(info->description, "") << link;
  }
  const auto readme = ReadShellLink(menu + "\\Read me.LNK");
  ASSERT_TRUE(readme);
  EXPECT_EQ(readme->target, d + "Docs\\readme.txt");
  EXPECT_EQ(readme->working_dir, d + "Docs");
  EXPECT_FALSE(FileExists(desktop + "\\Read me.LNK"));
}

// The example product from its own manifest: installed unattended, then
// removed again by the uninstaller it registered.
TEST_F(InstallerTest, ExampleInstallsAndUninstalls) {
  const std::string product = "Hello World";
  const std::string dest =
      Prepare("example", "Software\\Example Makers\\Hello World", product) +
      "Hello World";
  const std::string menu = SpecialFolder(CSIDL_PROGRAMS) + "\\" + product;
  const std::string desk_link =
      SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Hello World.LNK";

  const RunResult run = RunInstaller(Fixture("example"), Quoted(dest));
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(WaitUntil([] { return CloseDialogsCaptioned("Hello") > 0; }));

  const std::string d = dest + "\\";
  EXPECT_EQ(Log("Name"), product);
  EXPECT_EQ(Log("Location"), d);
  EXPECT_EQ(Log("Prog0"), d + "hello.exe");
  EXPECT_EQ(Log("Prog1"), d + "readme.txt");
  EXPECT_EQ(Log("Prog2"), d + "LICENSE.TXT");
  EXPECT_EQ(Log("Prog3"), d + "Data\\greetings.txt");
  EXPECT_EQ(Log("Prog4"), d + "TIV_UNINSTAL.EXE");
  EXPECT_EQ(Log("NumbOfProg"), "5");
  EXPECT_EQ(Log("Shortcut0"), menu + "\\Hello World.LNK");
  EXPECT_EQ(Log("DeskIcon0"), desk_link);
  EXPECT_EQ(Log("Shortcut1"), menu + "\\Read me.LNK");
  EXPECT_TRUE(FileExists(d + "Data\\greetings.txt"));
  const auto link = ReadShellLink(desk_link);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, d + "hello.exe");
  EXPECT_EQ(link->working_dir, d);

  const std::string uninstall = std::string(kUninstallKey) + product;
  const auto command =
      RegistryString(HKEY_LOCAL_MACHINE, uninstall, "UninstallString");
  ASSERT_EQ(command, Quoted(d + "TIV_UNINSTAL.EXE") +
                         " \"Software\\Example Makers\\Hello World\"");
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, "DisplayName"),
            product);

  // Wait for the greeting program to end: a running program keeps its file
  // (the uninstaller would report it and keep the keys).
  Sleep(1000);
  EXPECT_TRUE(WaitUntil([&d] {
    HANDLE file = CreateFileA((d + "hello.exe").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }));
  const RunResult removal = RunInstaller(
      d + "TIV_UNINSTAL.EXE", command->substr(command->find("\" ") + 2));
  EXPECT_EQ(removal.Texts(),
            (Texts{"Remove Hello World and everything its installation put "
                   "on this computer?",
                   "Hello World has been removed."}));
  EXPECT_EQ(removal.exit_code, 0u);
  for (const char* file :
       {"hello.exe", "readme.txt", "LICENSE.TXT", "Data\\greetings.txt"}) {
    EXPECT_FALSE(FileExists(d + file)) << file;
  }
  EXPECT_FALSE(DirectoryExists(d + "Data"));
  EXPECT_FALSE(FileExists(desk_link));
  EXPECT_FALSE(DirectoryExists(menu));
  EXPECT_FALSE(Log("Name"));
  EXPECT_FALSE(RegistryString(HKEY_LOCAL_MACHINE, uninstall, "DisplayName"));
  // The uninstaller itself goes once it has ended.
  EXPECT_TRUE(WaitUntil([&d] { return !DirectoryExists(d); })) << d;
}

TEST_F(InstallerTest, LogNumbering) {
  const std::string dest =
      Prepare("numbering", Key("Numbering"), "Numbering") + "N";
  const RunResult run = RunInstaller(Fixture("numbering"), dest);
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);
  const std::string d = dest + "\\";
  EXPECT_EQ(Log("Prog0"), d + "a.txt");
  EXPECT_FALSE(Log("Prog1"));
  EXPECT_EQ(ReadFileText(d + "b.txt"), "bravo\r\n");
  EXPECT_EQ(Log("Prog2"), d + "c.txt");
  EXPECT_EQ(Log("Prog3"), WindowsDir() + "\\numbering.ini");
  EXPECT_EQ(Log("Prog4"), "D:\\absolute.txt");
  EXPECT_EQ(Log("Prog5"), d + "relative.txt");
  EXPECT_EQ(Log("NumbOfProg"), "6");
  EXPECT_EQ(Log("Exec1"), WindowsDir() + "\\first.exe");
  EXPECT_EQ(Log("ExecComLine1"), "");
  EXPECT_EQ(Log("Exec2"), "second.exe");
  EXPECT_EQ(Log("ExecComLine2"), "/s");
  EXPECT_EQ(Log("NumbOfExec"), "2");
  EXPECT_EQ(Log("PostExec1"), "post.exe");
  EXPECT_EQ(Log("PostExecComLine1"), "/p");
  EXPECT_EQ(Log("NumbOfPostExec"), "1");
  EXPECT_EQ(LogNames().size(), 17u);
  // No uninstaller in the package: no registration, no menu.
  EXPECT_FALSE(RegistryString(HKEY_LOCAL_MACHINE,
                              std::string(kUninstallKey) + "Numbering",
                              "DisplayName"));
  EXPECT_FALSE(Log("MenuFolder"));
}

TEST_F(InstallerTest, KeepsNewerFilesInMacroDirectories) {
  const std::string dest =
      Prepare("keep", Key("KeepNewer"), "Keep Newer") + "K";
  const std::string shared =
      SpecialFolder(CSIDL_COMMON_APPDATA) + "\\sfx-keep\\";
  RemoveTree(shared);
  CreateDirectoryA(shared.c_str(), nullptr);
  CreateDirectoryA(dest.c_str(), nullptr);
  // Before 2044: the DOS times compare as signed 32-bit numbers.
  const std::uint64_t future = LocalTimeToFileTime(2040, 1, 1, 12, 0, 0);
  const std::uint64_t past = LocalTimeToFileTime(1990, 1, 1, 12, 0, 0);
  ASSERT_TRUE(WriteFileText(shared + "newer.txt", "mine"));
  ASSERT_TRUE(SetLastWriteTime(shared + "newer.txt", future));
  ASSERT_TRUE(WriteFileText(shared + "older.txt", "mine"));
  ASSERT_TRUE(SetLastWriteTime(shared + "older.txt", past));
  ASSERT_TRUE(WriteFileText(dest + "\\plain.txt", "mine"));
  ASSERT_TRUE(SetLastWriteTime(dest + "\\plain.txt", future));

  const RunResult run = RunInstaller(Fixture("keep_newer"), dest);
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);

  EXPECT_EQ(ReadFileText(shared + "newer.txt"), "mine");
  EXPECT_EQ(LastWriteTime(shared + "newer.txt"), future);
  EXPECT_EQ(ReadFileText(shared + "older.txt"), "packaged\r\n");
  EXPECT_EQ(LastWriteTime(shared + "older.txt"),
            LastWriteTime(dest + "\\plain.txt"));
  EXPECT_EQ(ReadFileText(dest + "\\plain.txt"), "packaged\r\n");
  EXPECT_LT(*LastWriteTime(dest + "\\plain.txt"), future);
  // A kept file is logged like a written one.
  EXPECT_EQ(Log("Prog0"), shared + "newer.txt");
  RemoveTree(shared);
}

TEST_F(InstallerTest, ProgramsBeforeAndAfterTheCopy) {
  const std::string dest =
      Prepare("programs", Key("Programs"), "Programs") + "P";
  const std::string temp = TempDir();
  DeleteFileA((temp + "probe-stage0.exe").c_str());
  DeleteFileA((temp + "probe-stage0.exe.ran").c_str());

  const RunResult run = RunInstaller(Fixture("programs"), dest);
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);
  const std::string d = dest + "\\";

  // Extracted into its directory, waited for, deleted.
  EXPECT_TRUE(FileExists(temp + "probe-stage0.exe.ran"));
  EXPECT_FALSE(FileExists(temp + "probe-stage0.exe"));
  EXPECT_TRUE(FileExists(d + "probe-stage1-exit7.exe.ran"));
  EXPECT_FALSE(FileExists(d + "probe-stage1-exit7.exe"));
  // Started with its parameters without waiting, and the launch program.
  EXPECT_TRUE(
      WaitUntil([&] { return FileExists(d + "probe-params.exe.ran"); }));
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFileText(d + "probe-params.exe.ran").find("/x Programs") !=
           std::string::npos;
  }));
  EXPECT_TRUE(
      WaitUntil([&] { return FileExists(d + "probe-launch.exe.ran"); }));
  EXPECT_EQ(Log("NumbOfProg"), "5");
  DeleteFileA((temp + "probe-stage0.exe.ran").c_str());
}

TEST_F(InstallerTest, ProgramBeforeTheCopyCancels) {
  const std::string dest =
      Prepare("cancel0", Key("CancelBefore"), "Cancel Before") + "C";
  const std::string temp = TempDir();
  DeleteFileA((temp + "probe-exit1962.exe.ran").c_str());
  const RunResult run = RunInstaller(Fixture("cancel_before"), dest);
  ASSERT_EQ(run.dialogs.size(), 1u);
  EXPECT_EQ(run.dialogs[0].caption, "Canceled");
  EXPECT_EQ(run.dialogs[0].text, "The installation has been canceled.");
  EXPECT_EQ(run.dialogs[0].buttons, Texts{"OK"});
  EXPECT_EQ(run.exit_code, 3u);
  EXPECT_TRUE(FileExists(temp + "probe-exit1962.exe.ran"));
  EXPECT_FALSE(FileExists(temp + "probe-exit1962.exe"));
  EXPECT_FALSE(DirectoryExists(dest));
  EXPECT_FALSE(Log("Name"));
  DeleteFileA((temp + "probe-exit1962.exe.ran").c_str());
}

TEST_F(InstallerTest, ProgramAfterTheCopyCancels) {
  const std::string dest =
      Prepare("cancel1", Key("CancelAfter"), "Cancel After") + "C";
  const RunResult run = RunInstaller(Fixture("cancel_after"), dest);
  EXPECT_EQ(run.Texts(), Texts{"The installation has been canceled."});
  EXPECT_EQ(run.exit_code, 3u);
  const std::string d = dest + "\\";
  EXPECT_TRUE(FileExists(d + "probe-exit1962.exe.ran"));
  EXPECT_EQ(ReadFileText(d + "a.txt"), "alpha\r\n");
  EXPECT_EQ(Log("NumbOfProg"), "4");
  // Nothing after the cancelling program ran.
  Sleep(1000);
  EXPECT_FALSE(FileExists(d + "probe-next.exe.ran"));
  EXPECT_FALSE(FileExists(d + "probe-launch.exe.ran"));
}

TEST_F(InstallerTest, LaunchProgramThatDoesNotExist) {
  const std::string dest =
      Prepare("launch", Key("LaunchMissing"), "Launch Missing") + "L";
  const RunResult run = RunInstaller(Fixture("launch_missing"), dest);
  const std::string command = Quoted(dest + "\\missing.exe");
  ASSERT_EQ(run.dialogs.size(), 1u);
  EXPECT_EQ(run.dialogs[0].caption, "Error");
  EXPECT_EQ(run.dialogs[0].text,
            command + "\r\rFile was not found., " + command);
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_EQ(Log("NumbOfProg"), "1");
}

TEST_F(InstallerTest, SpaceQuestionAnsweredNoAndYes) {
  // A destination whose drive reports no free space at all ("space-dest"
  // names drive S:, which this session lacks), relative to the installer's
  // current directory.
  const std::string work = Prepare("space", Key("Space"), "Space");
  CreateDirectoryA((work + "space-dest").c_str(), nullptr);
  const std::string question =
      "There is not enough space available on the disk S:\r"
      "Please free up some space or change the target location to a "
      "different disk.\r\rProceed anyway?";

  RunResult no = RunInstaller(
      Fixture("space"), "space-dest", [](const Dialog&) { return "No"; }, work);
  ASSERT_EQ(no.dialogs.size(), 1u);
  EXPECT_EQ(no.dialogs[0].text, question);
  EXPECT_EQ(no.dialogs[0].caption, "Error");
  EXPECT_EQ(no.dialogs[0].buttons, (Texts{"Yes", "No"}));
  EXPECT_EQ(no.exit_code, 4u);
  EXPECT_FALSE(Log("Name"));

  RunResult yes = RunInstaller(
      Fixture("space"), "space-dest", [](const Dialog&) { return "Yes"; },
      work);
  EXPECT_EQ(yes.Texts(), Texts{question});
  EXPECT_EQ(yes.exit_code, 0u);
  // Installed and logged where the relative name pointed when it was given.
  EXPECT_EQ(Log("Location"), work + "space-dest\\");
  EXPECT_EQ(Log("Prog0"), TempDir() + "a.txt");
}

TEST_F(InstallerTest, DestinationFailures) {
  const std::string work = Prepare("nodir", Key("Plain"), "Plain");
  ASSERT_TRUE(WriteFileText(work + "blocker", "a file, not a directory"));
  const std::string dest = work + "blocker\\sub";
  const RunResult run = RunInstaller(Fixture("plain"), Quoted(dest));
  EXPECT_EQ(run.Texts(), Texts{"Cannot create directory:\r" + dest});
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_FALSE(Log("Name"));
}

TEST_F(InstallerTest, BlankDirectoryInTheWindow) {
  Prepare("blank", Key("Plain"), "Plain");
  Process installer(Fixture("plain"), "");
  ASSERT_TRUE(installer.started());
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    window = installer.Find("Plain installation");
    // The window shows before its controls exist.
    return window != nullptr && GetDlgItem(window, 1) != nullptr &&
           GetDlgItem(window, 4) != nullptr;
  }));
  HWND edit = GetDlgItem(window, 1);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  PostMessageA(window, WM_COMMAND, 4, 0);  // Install
  Dialog blank = installer.NextDialog();
  EXPECT_EQ(blank.caption, "Error");
  EXPECT_EQ(blank.text, "Directory name is blank.");
  ASSERT_TRUE(PressButton(blank.window, "OK"));
  // The window stays for another try; Cancel closes it.
  Sleep(500);
  EXPECT_TRUE(installer.Running());
  EXPECT_TRUE(IsWindow(window));
  PostMessageA(window, WM_COMMAND, 3, 0);  // Cancel
  EXPECT_EQ(installer.Wait(), 5u);         // the last attempt's code
  EXPECT_FALSE(Log("Name"));
}

TEST_F(InstallerTest, FileOpenedByAnotherProgram) {
  const std::string dest = Prepare("locked", Key("Plain"), "Plain") + "D";
  CreateDirectoryA(dest.c_str(), nullptr);
  const std::string locked = dest + "\\b.txt";
  ASSERT_TRUE(WriteFileText(locked, "in use"));
  HANDLE open = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  const RunResult run = RunInstaller(Fixture("plain"), dest);
  CloseHandle(open);
  EXPECT_EQ(run.Texts(), Texts{"Cannot create " + locked +
                               " file.\rProbably file is opened.\r"
                               "Close file and try again."});
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_EQ(ReadFileText(dest + "\\a.txt"), "alpha\r\n");
  EXPECT_EQ(ReadFileText(locked), "in use");
  EXPECT_FALSE(FileExists(locked + ".sfxnew"));
  EXPECT_FALSE(FileExists(dest + "\\c.txt"));
  EXPECT_EQ(Log("Prog0"), dest + "\\a.txt");
  EXPECT_FALSE(Log("NumbOfProg"));
}

std::string Grouped(std::uint64_t n) {
  char separator[8] = ",";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator,
                 sizeof separator);
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

TEST_F(InstallerTest, DamagedInstallerFile) {
  const std::string work = Prepare("corrupt", Key("Plain"), "Plain");
  const std::vector<std::uint8_t> good = ReadFileBytes(Fixture("plain"));
  ASSERT_FALSE(good.empty());
  const std::string tail =
      "Probably you have not completed file downloading or some errors "
      "occured during download process.\rPlease try to download the file "
      "again.";

  // One changed byte: the size is right, so there is no size sentence. It
  // lies in the package: a byte of the program's own code could be one that
  // runs before the check and break the report itself.
  const std::size_t program_size =
      ReadFileBytes(WinePath(SFX_E2E_INSTALLER)).size();
  ASSERT_LT(program_size, good.size());
  std::vector<std::uint8_t> changed = good;
  changed[program_size + (good.size() - program_size) / 2] ^= 0x5A;
  ASSERT_TRUE(WriteFileBytes(work + "changed.exe", changed));
  RunResult run = RunInstaller(work + "changed.exe", Quoted(work + "dest"));
  ASSERT_EQ(run.dialogs.size(), 1u);
  EXPECT_EQ(run.dialogs[0].caption, "Error");
  EXPECT_EQ(run.dialogs[0].text, "File changed.exe is corrupted. \r" + tail);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_FALSE(DirectoryExists(work + "dest"));

  // A cut download: the size block knows the whole length.
  std::vector<std::uint8_t> cut(good.begin(), good.end() - 100);
  ASSERT_TRUE(WriteFileBytes(work + "cut.exe", cut));
  run = RunInstaller(work + "cut.exe", "");
  EXPECT_EQ(run.Texts(),
            Texts{"File cut.exe is corrupted. \rThe size of file " +
                  Grouped(cut.size()) + " bytes, must be " +
                  Grouped(good.size()) + " bytes\r" + tail});
  EXPECT_EQ(run.exit_code, 1u);
}

TEST_F(InstallerTest, HeaderThatCannotBeReadEndsWithOne) {
  const std::string work = Prepare("header", Key("PlainSkip"), "Plain Skip");
  const std::vector<std::uint8_t> good = ReadFileBytes(Fixture("plain_skip"));
  const std::size_t at = OffsetOf(good, "File CRCFile CRC");
  ASSERT_NE(at, std::string::npos);
  const std::size_t offset_field = at - 4;

  // A header offset beyond the file, and one at the file's start, where
  // the "compressed length" is the program's own first bytes.
  for (std::uint32_t header_offset : {0x7FFFFFF0u, 0u}) {
    std::vector<std::uint8_t> damaged = good;
    for (int i = 0; i < 4; ++i) {
      damaged[offset_field + i] =
          static_cast<std::uint8_t>(header_offset >> (8 * i));
    }
    ASSERT_TRUE(WriteFileBytes(work + "damaged.exe", damaged));
    const RunResult run =
        RunInstaller(work + "damaged.exe", Quoted(work + "dest"));
    EXPECT_EQ(run.Texts(), Texts{"Packed data is corrupted."}) << header_offset;
    EXPECT_EQ(run.exit_code, 1u) << header_offset;
    EXPECT_FALSE(DirectoryExists(work + "dest"));
  }
}

// --- Deployment: switches, the log and exit codes ---------------------------

// The log of a run, with its CR LF line ends.
std::string LogText(const std::string& path) { return ReadFileText(path); }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The /LOG of a run that met a damaged block in `file` of `dest`: the
// message at that file and exit code 5; no temporary file is left.
void ExpectDamagedAt(const std::string& dest, const std::string& file,
                     const std::string& log) {
  EXPECT_FALSE(FileExists(dest + "\\" + file + ".sfxnew"));
  const std::string text = LogText(log);
  EXPECT_TRUE(Contains(text, "Error: Cannot unpack " + dest + "\\" + file +
                                 " file.\r\n    The installer file is "
                                 "damaged.\r\n"))
      << text;
  EXPECT_TRUE(Contains(text, "Exit code 5\r\n")) << text;
}

TEST_F(InstallerTest, QuietInstallIntoTheDefaultFolder) {
  const std::string work = Prepare("quiet", Key("Plain"), "Plain");
  RemoveTree("C:\\Plain");
  const std::string log = work + "setup.log";
  const RunResult run =
      RunInstaller(Fixture("plain"), "/S " + Quoted("/LOG=" + log));
  EXPECT_EQ(run.dialogs.size(), 0u);  // no window, no box
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(ReadFileText("C:\\Plain\\c.txt"), "charlie\r\n");
  EXPECT_TRUE(FileExists("C:\\Plain\\a.txt"));
  EXPECT_EQ(Log("Location"), "C:\\Plain\\");
  const std::string text = LogText(log);
  EXPECT_TRUE(Contains(text, "File C:\\Plain\\b.txt\r\n")) << text;
  EXPECT_TRUE(Contains(text, "Installed\r\nExit code 0\r\n")) << text;
  RemoveTree("C:\\Plain");
}

// A quiet rerun from a damaged installer over an older installation: the
// file whose entry is damaged and those after it keep their old bytes.
TEST_F(InstallerTest, QuietRunWithADamagedEntryKeepsTheOldFiles) {
  const std::string work = Prepare("damaged", Key("PlainSkip"), "Plain Skip");
  const std::string dest = work + "dest";
  CreateDirectoryA(dest.c_str(), nullptr);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    ASSERT_TRUE(WriteFileText(dest + "\\" + name, std::string("old ") + name));
  }
  // The checksum is not tested by this fixture; b.txt's entry now states a
  // size that its blocks do not give.
  std::vector<std::uint8_t> bytes = ReadFileBytes(Fixture("plain_skip"));
  const std::size_t program_size =
      ReadFileBytes(WinePath(SFX_E2E_INSTALLER)).size();
  const std::string name =
      "\x05"
      "b.txt";
  auto at = std::search(bytes.begin() + program_size, bytes.end(), name.begin(),
                        name.end());
  ASSERT_NE(at, bytes.end());
  at[6] ^= 0x40;  // the low byte of FileSize
  ASSERT_TRUE(WriteFileBytes(work + "damaged.exe", bytes));

  const std::string log = work + "setup.log";
  const RunResult run = RunInstaller(
      work + "damaged.exe", "/S " + Quoted("/LOG=" + log) + " " + Quoted(dest));
  EXPECT_EQ(run.dialogs.size(), 0u);
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_EQ(ReadFileText(dest + "\\a.txt"), "alpha\r\n");
  EXPECT_EQ(ReadFileText(dest + "\\b.txt"), "old b.txt");
  EXPECT_EQ(ReadFileText(dest + "\\c.txt"), "old c.txt");
  ExpectDamagedAt(dest, "b.txt", log);
}

// A product of files of many blocks, which a machine with more than one
// processor decodes ahead of the writes: the files arrive whole. Then a
// rerun over it from a copy with a damaged block in the middle of a file
// fails at that file, keeping it and the files after it as they were; its
// log holds that run's values only.
TEST_F(InstallerTest, FilesOfManyBlocksAndADamagedBlockInTheMiddle) {
  const std::string work = Prepare("large", Key("Large"), "Large");
  const std::string dest = work + "dest";
  const std::string log = work + "setup.log";
  const std::string alpha = "alpha\r\n";
  const std::string charlie = "charlie\r\n";
  const std::pair<std::string, std::vector<std::uint8_t>> files[] = {
      {"a.txt", {alpha.begin(), alpha.end()}},
      {"large.txt", ReadFileBytes(WinePath(SFX_E2E_LARGE_TXT))},
      {"sfxtool.bin", ReadFileBytes(WinePath(SFX_E2E_SFXTOOL))},
      {"Sub\\c.txt", {charlie.begin(), charlie.end()}}};
  ASSERT_GT(files[1].second.size(), 3 * 65000u);
  ASSERT_GT(files[2].second.size(), 3 * 65000u);
  const std::string arguments =
      "/S " + Quoted("/LOG=" + log) + " " + Quoted(dest);
  RunResult run = RunInstaller(Fixture("large"), arguments);
  EXPECT_EQ(run.exit_code, 0u);
  for (const auto& [name, bytes] : files) {
    EXPECT_TRUE(ReadFileBytes(dest + "\\" + name) == bytes) << name;
    ASSERT_TRUE(WriteFileText(dest + "\\" + name, "old " + name));
  }

  // The third of large.txt's blocks claims 1 MiB. An entry: the name's
  // length and the name, the 21-byte header (the block count at 8), then
  // the table of blocks (size, absolute offset).
  std::vector<std::uint8_t> bytes = ReadFileBytes(Fixture("large"));
  const std::string name = "\x09large.txt";
  auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
  ASSERT_NE(at, bytes.end());
  const std::size_t header = (at - bytes.begin()) + name.size();
  ASSERT_GE(LoadUint32(&bytes[header + 8]), 4u);
  const std::size_t block = LoadUint32(&bytes[header + 21 + 2 * 8 + 4]);
  bytes[block] = 0;
  bytes[block + 2] = 0x10;
  ASSERT_TRUE(WriteFileBytes(work + "damaged.exe", bytes));

  ASSERT_EQ(Log("NumbOfProg"), "4");
  run = RunInstaller(work + "damaged.exe", arguments);
  EXPECT_EQ(run.dialogs.size(), 0u);
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_EQ(LogNames(),
            (std::set<std::string>{"Name", "Location", "InstallerFile", "Dir0",
                                   "Prog0"}));
  EXPECT_TRUE(ReadFileBytes(dest + "\\a.txt") == files[0].second);
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(ReadFileText(dest + "\\" + files[i].first),
              "old " + files[i].first);
  }
  ExpectDamagedAt(dest, "large.txt", log);
}

TEST_F(InstallerTest, UsageAndUnknownSwitch) {
  Prepare("usage", Key("Plain"), "Plain");
  RunResult usage = RunInstaller(Fixture("plain"), "/?");
  ASSERT_EQ(usage.dialogs.size(), 1u);
  EXPECT_EQ(usage.dialogs[0].caption, "Usage");
  EXPECT_TRUE(Contains(usage.dialogs[0].text, "/LOG=file"));
  EXPECT_EQ(usage.exit_code, 0u);

  RunResult unknown = RunInstaller(Fixture("plain"), "/X C:\\Plain");
  ASSERT_EQ(unknown.dialogs.size(), 1u);
  EXPECT_EQ(unknown.dialogs[0].caption, "Error");
  EXPECT_EQ(unknown.dialogs[0].text.rfind("Unknown switch /X\r", 0), 0u)
      << unknown.dialogs[0].text;
  EXPECT_EQ(unknown.exit_code, 2u);
  EXPECT_FALSE(Log("Name"));
}

TEST_F(InstallerTest, LaunchProgramThroughAMacroStarts) {
  const std::string dest =
      Prepare("macro", Key("LaunchMacro"), "Launch Macro") + "M";
  const RunResult run = RunInstaller(Fixture("launch_macro"), Quoted(dest));
  EXPECT_EQ(run.Texts(), Texts{});
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(
      WaitUntil([&] { return FileExists(dest + "\\probe-macro.exe.ran"); }));
}

// An installer in a folder whose name the ANSI code page cannot hold.
TEST_F(InstallerTest, InstallerInAFolderOutsideTheCodePage) {
  const std::string work = Prepare("unicode", Key("Plain"), "Plain");
  std::wstring folder(work.begin(), work.end());
  folder += L"\x65e5\x672c";  // two CJK characters
  // The harness's ANSI clean-up cannot name this folder; it may remain
  // from an earlier run.
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring exe = folder + L"\\setup.exe";
  const std::string fixture = Fixture("plain");
  ASSERT_TRUE(CopyFileW(std::wstring(fixture.begin(), fixture.end()).c_str(),
                        exe.c_str(), FALSE));
  const std::string dest = work + "dest";
  std::wstring line =
      L"\"" + exe + L"\" /S " + std::wstring(dest.begin(), dest.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &info));
  CloseHandle(info.hThread);
  ASSERT_EQ(WaitForSingleObject(info.hProcess, kPatienceMs), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(ReadFileText(dest + "\\a.txt"), "alpha\r\n");
  DeleteFileW(exe.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace sfx::e2e
