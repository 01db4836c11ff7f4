// A setup.exe a vendor ships, under Wine: the signed installer installs
// unattended and registers itself in Add/Remove Programs with version,
// publisher and quiet command; the same file with one changed payload byte
// is refused as corrupted; the project's uninstaller removes everything the
// installation log names, itself included, and reports and leaves a file in
// use.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

namespace sfx::e2e {
namespace {

using Texts = std::vector<std::string>;

constexpr char kProduct[] = "Vendor E2E";
constexpr char kKey[] = "Software\\SfxTests\\VendorE2E";
const std::string kUninstall =
    std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
    kProduct;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

std::optional<DWORD> RegistryDword(HKEY root, const std::string& key,
                                   const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const LONG status = RegQueryValueExA(handle, name, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

class VendorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteRegistryTree(HKEY_CURRENT_USER, kKey);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstall);
    RemoveTree(menu_);
    RemoveTree(menu_ + " Old");
    DeleteFileA(desk_link_.c_str());
  }

  // Writes a value into the log key `log` beside the installation log.
  static void SetLogValue(const std::string& log, const std::string& name,
                          const std::string& value, DWORD type = REG_SZ) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                              (std::string(kKey) + "\\" + log).c_str(), 0,
                              nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, type,
                   reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }

  // Installs fixture `name` unattended into a folder "Maker\Vendor" that
  // it makes below a fresh work directory; the destination with a trailing
  // backslash.
  std::string Install(const std::string& name) {
    const std::string dest = WorkDir(name) + "Maker\\Vendor";
    const RunResult run = RunInstaller(Fixture(name), Quoted(dest));
    EXPECT_EQ(run.Texts(), Texts{});
    EXPECT_EQ(run.exit_code, 0u);
    return dest + "\\";
  }

  // Runs the registered quiet (or, with `quiet` false, the interactive)
  // uninstall command, answering each dialog with `answer`.
  RunResult Uninstall(bool quiet, const std::string& answer = "OK") {
    const auto command =
        RegistryString(HKEY_LOCAL_MACHINE, kUninstall,
                       quiet ? "QuietUninstallString" : "UninstallString");
    if (!command || command->size() < 2 || (*command)[0] != '"') {
      ADD_FAILURE() << "no uninstall command";
      return RunResult();
    }
    const std::size_t end = command->find('"', 1);
    return RunInstaller(command->substr(1, end - 1),
                        command->substr(std::min(command->size(), end + 2)),
                        [&answer](const Dialog& dialog) {
                          const auto& b = dialog.buttons;
                          return std::find(b.begin(), b.end(), answer) !=
                                         b.end()
                                     ? answer
                                     : std::string("OK");
                        });
  }

  const std::string menu_ =
      SpecialFolder(CSIDL_PROGRAMS) + "\\" + std::string(kProduct);
  const std::string desk_link_ =
      SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\A.LNK";
};

TEST_F(VendorTest, SignedInstallerRegistersAndUninstallsWithoutTrace) {
  const std::string d = Install("vendor");
  for (const char* file :
       {"a.txt", "b.txt", "Docs\\Deep\\readme.txt", "TIV_UNINSTAL.EXE"}) {
    EXPECT_TRUE(FileExists(d + file)) << file;
  }
  EXPECT_TRUE(FileExists(desk_link_));
  const std::string uninstaller = d + "TIV_UNINSTAL.EXE";
  const std::string command =
      Quoted(uninstaller) + " " + Quoted(std::string(kKey));
  const struct {
    const char* name;
    std::string value;
  } strings[] = {
      {"DisplayName", kProduct},
      {"UninstallString", command},
      {"QuietUninstallString", command + " /S"},
      {"DisplayVersion", "3.2.1"},
      {"Publisher", "Sfx Test Vendor"},
      {"DisplayIcon", uninstaller},
      {"InstallLocation", d},
  };
  for (const auto& s : strings) {
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstall, s.name), s.value)
        << s.name;
  }
  EXPECT_EQ(RegistryDword(HKEY_LOCAL_MACHINE, kUninstall, "NoModify"), 1u);
  EXPECT_EQ(RegistryDword(HKEY_LOCAL_MACHINE, kUninstall, "NoRepair"), 1u);
  const auto size =
      RegistryDword(HKEY_LOCAL_MACHINE, kUninstall, "EstimatedSize");
  ASSERT_TRUE(size);
  EXPECT_GE(*size, 10u);  // the uninstaller alone is over 10 KB

  // A second run finds the folders in place; the first one's record of
  // what it made stays.
  EXPECT_EQ(RunInstaller(Fixture("vendor"), Quoted(d.substr(0, d.size() - 1)))
                .exit_code,
            0u);
  // A file the user has marked read-only goes as well.
  ASSERT_TRUE(
      SetFileAttributesA((d + "b.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  const RunResult removal = Uninstall(true);
  EXPECT_EQ(removal.Texts(), Texts{});
  EXPECT_EQ(removal.exit_code, 0u);
  // The uninstaller's own file goes once it has ended, and with it the
  // destination and the folder the installation made above it.
  const std::string maker = d.substr(0, d.size() - 7);
  EXPECT_TRUE(WaitUntil([&maker] { return !DirectoryExists(maker); })) << maker;
  EXPECT_FALSE(FileExists(desk_link_));
  EXPECT_FALSE(DirectoryExists(menu_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
}

TEST_F(VendorTest, SignedInstallerWithAChangedPayloadByteIsCorrupted) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(Fixture("vendor"));
  const std::size_t at = OffsetOf(bytes, "File CRCFile CRC");
  ASSERT_NE(at, std::string::npos);
  bytes[at - 40] ^= 0x01;  // inside the last entry's blocks
  const std::string work = WorkDir("vendor_bad");
  ASSERT_TRUE(WriteFileBytes(work + "vendor-bad.exe", bytes));
  const RunResult run =
      RunInstaller(work + "vendor-bad.exe", Quoted(work + "Vendor"));
  ASSERT_EQ(run.dialogs.size(), 1u);
  // The size sentence stays away: the signed file has its built length.
  EXPECT_EQ(run.dialogs[0].text.rfind(
                "File vendor-bad.exe is corrupted. \rProbably you have", 0),
            0u)
      << run.dialogs[0].text;
  EXPECT_FALSE(DirectoryExists(work + "Vendor"));
}

TEST_F(VendorTest, UninstallerAsksAndLeavesAFileInUse) {
  const std::string d = Install("vendor_unsigned");
  // No: nothing is touched.
  const RunResult cancelled = Uninstall(false, "No");
  ASSERT_EQ(cancelled.dialogs.size(), 1u);
  EXPECT_EQ(cancelled.dialogs[0].buttons, (Texts{"Yes", "No"}));
  EXPECT_EQ(cancelled.exit_code, 3u);
  EXPECT_TRUE(FileExists(d + "a.txt"));

  HANDLE held = CreateFileA((d + "b.txt").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const RunResult partial = Uninstall(true);
  EXPECT_EQ(partial.Texts(), Texts{});
  EXPECT_EQ(partial.exit_code, 5u);
  EXPECT_TRUE(FileExists(d + "b.txt"));
  EXPECT_FALSE(FileExists(d + "a.txt"));
  EXPECT_FALSE(DirectoryExists(d + "Docs"));
  EXPECT_FALSE(FileExists(desk_link_));
  // It can be run again: its file and both keys stay. Interactive, it
  // names what it left.
  EXPECT_TRUE(FileExists(d + "TIV_UNINSTAL.EXE"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
  const RunResult reported = Uninstall(false, "Yes");
  ASSERT_EQ(reported.dialogs.size(), 2u);
  EXPECT_EQ(reported.dialogs[1].text,
            "These items could not be removed (they may be in use):\r\n" + d +
                "b.txt\r\n");
  EXPECT_EQ(reported.exit_code, 5u);
  CloseHandle(held);

  // Interactive this time: the question, then the closing note.
  const RunResult rest = Uninstall(false, "Yes");
  ASSERT_EQ(rest.dialogs.size(), 2u);
  EXPECT_EQ(rest.dialogs[1].text, "Vendor E2E has been removed.");
  EXPECT_EQ(rest.exit_code, 0u);
  EXPECT_TRUE(WaitUntil([&d] { return !DirectoryExists(d); })) << d;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
}

// A log edited by hand: a name that is no full path is not acted on (it
// would name a file in the uninstaller's current folder, %TEMP%); an
// expandable string, each log's menu folder and every kept log are.
TEST_F(VendorTest, UninstallerTakesAHandEditedLogAsItNamesThings) {
  const std::string d = Install("vendor_unsigned");
  const std::string temp = WorkDir("vendor_temp");
  const std::string old_menu = menu_ + " Old";
  ASSERT_TRUE(WriteFileText(temp + "a.txt", "the user's"));
  ASSERT_TRUE(WriteFileText(d + "extra.txt", "x"));
  ASSERT_TRUE(WriteFileText(d + "late.txt", "x"));
  ASSERT_TRUE(CreateDirectoryA(old_menu.c_str(), nullptr));
  SetLogValue("install", "Prog7", "a.txt");
  SetLogValue("install", "Prog8", "%SystemDrive%" + d.substr(2) + "extra.txt",
              REG_EXPAND_SZ);
  SetLogValue("install.previous", "MenuFolder", old_menu);
  for (int k = 1; k <= 40; ++k) {
    SetLogValue("install.failed" + std::to_string(k), "Name", kProduct);
  }
  SetLogValue("install.failed9", "Prog0", d + "late.txt");  // listed last
  Process quiet(d + "TIV_UNINSTAL.EXE", Quoted(kKey) + " /S", "", temp);
  EXPECT_EQ(quiet.Wait(), 0u);
  EXPECT_TRUE(FileExists(temp + "a.txt"));
  EXPECT_TRUE(WaitUntil([&d] { return !DirectoryExists(d); })) << d;
  EXPECT_FALSE(DirectoryExists(menu_));
  EXPECT_FALSE(DirectoryExists(old_menu));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
}

// Its own file cannot be handed to a copy (%TEMP% missing): the keys stay
// for another run. A second uninstaller, asking meanwhile, finds the log
// gone once the first has ended.
TEST_F(VendorTest, UninstallerKeepsItsKeysUntilItCanRemoveItself) {
  const std::string exe = Install("vendor_unsigned") + "TIV_UNINSTAL.EXE";
  Process no_temp(exe, Quoted(kKey) + " /S", "",
                  WorkDir("vendor_temp") + "missing");
  EXPECT_EQ(no_temp.Wait(), 5u);
  EXPECT_TRUE(FileExists(exe));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
  Process second(exe, Quoted(kKey));
  const Dialog question = second.NextDialog();
  EXPECT_EQ(Uninstall(true).exit_code, 0u);
  ASSERT_TRUE(PressButton(question.window, "Yes"));
  WaitUntil([&question] { return !IsWindow(question.window); });
  const Dialog gone = second.NextDialog();
  EXPECT_NE(gone.text.find("cannot be read"), std::string::npos) << gone.text;
  PressButton(gone.window, "OK");
  EXPECT_EQ(second.Wait(), 1u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
}

}  // namespace
}  // namespace sfx::e2e
