// Shortcuts over the in-memory platform: which links are made, where they
// point, and what the log key records.
#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "install/report.h"
#include "install_fixture.h"

namespace sfx {
namespace {

using fake::AddFileEntry;
using Texts = std::vector<std::string>;

constexpr char kPrograms[] = "C:\\Users\\me\\Start Menu\\Programs";

class ShortcutsTest : public InstallFixture {
 protected:
  ShortcutsTest() {
    record_.MenuFolderName = "Hello";
    DestBuffer = "C:\\Dest";
    ProgName = "Hello";
    key_ = platform_.CreateKey(kHkcu, "Log");
  }
  Texts Names() const { return platform_.RegistryNames(kHkcu, "Log"); }
  std::optional<std::string> Value(const std::string& name) const {
    return platform_.RegistryValue(kHkcu, "Log", name);
  }
  std::unique_ptr<RegistryKey> key_;
};

TEST_F(ShortcutsTest, MenuAndDesktopLinksAreMadeAndLogged) {
  AddFileEntry(record_, "bin\\hello.exe", "Bin").ShortcutName = "%PROGNAME%";
  AddFileEntry(record_, "readme.txt");
  AddFileEntry(record_, "nolink.txt").DesktopIcon = 1;
  auto& tool = AddFileEntry(record_, "tool.exe", "%WINDOWS%");
  tool.ShortcutName = "Tool";
  tool.Parameters = "/x \"a b\"";
  tool.DesktopIcon = 1;

  CreateShortcuts(record_, *key_);

  const std::string folder = std::string(kPrograms) + "\\Hello";
  EXPECT_TRUE(platform_.HasDirectory(folder));
  EXPECT_EQ(InstallLocation, "C:\\Dest\\");
  EXPECT_EQ(Names(),
            (Texts{"MenuFolder", "Shortcut0", "Shortcut3", "DeskIcon3"}));
  EXPECT_EQ(Value("MenuFolder"), folder);
  EXPECT_EQ(Value("Shortcut0"), folder + "\\Hello.LNK");
  EXPECT_EQ(Value("Shortcut3"), folder + "\\Tool.LNK");
  EXPECT_EQ(Value("DeskIcon3"), "C:\\Users\\me\\Desktop\\Tool.LNK");

  ASSERT_EQ(platform_.shell_links.size(), 3u);
  const auto& hello = platform_.shell_links[0];
  EXPECT_EQ(hello.target, "C:\\Dest\\Bin\\hello.exe");
  EXPECT_EQ(hello.working_dir, "C:\\Dest\\Bin");
  EXPECT_EQ(hello.arguments, "");
  EXPECT_EQ(hello.description, "");
  // A macro directory is used as expanded, not below the destination.
  const auto& desk = platform_.shell_links[2];
  EXPECT_EQ(desk.target, "C:\\WINDOWS\\tool.exe");
  EXPECT_EQ(desk.working_dir, "C:\\WINDOWS\\");
  EXPECT_EQ(desk.arguments, "/x \"a b\"");
  EXPECT_EQ(desk.link_path, "C:\\Users\\me\\Desktop\\Tool.LNK");

  EXPECT_EQ(platform_.co_initialize_calls, 1);
  EXPECT_EQ(platform_.co_uninitialize_calls, 1);
  EXPECT_EQ(platform_.settings_announcements, 1);
}

TEST_F(ShortcutsTest, LinksThatFailAreNotLoggedAndFailTheRun) {
  AddFileEntry(record_, "a.exe").ShortcutName = "A";
  AddFileEntry(record_, "b.exe").ShortcutName = "%WINDOWS%b";
  platform_.shell_link_status = -2147024891;  // access denied
  SetExitCode(ExitCode::kInstalled);
  CreateShortcuts(record_, *key_);
  EXPECT_FALSE(Value("Shortcut0"));
  EXPECT_EQ(CurrentExitCode(), ExitCode::kStepFailed);
  // A name that a macro made a path gets no link at all.
  ASSERT_EQ(platform_.shell_links.size(), 1u);
  EXPECT_FALSE(Value("Shortcut1"));
}

TEST_F(ShortcutsTest, NoMenuFolderMeansNothingAtAll) {
  record_.MenuFolderName.clear();
  AddFileEntry(record_, "a.exe").ShortcutName = "A";
  CreateShortcuts(record_, *key_);
  EXPECT_TRUE(Names().empty());
  EXPECT_TRUE(platform_.shell_links.empty());
  EXPECT_EQ(platform_.settings_announcements, 0);
  EXPECT_EQ(platform_.co_initialize_calls, 0);
}

TEST_F(ShortcutsTest, FolderTheShellCannotNameGetsNoLinks) {
  const struct {
    int unknown_folder;
    const char* log_key;
    Texts names;
  } cases[] = {
      {os::kCsidlPrograms, "NoMenu", {"DeskIcon0"}},
      {os::kCsidlDesktop, "NoDesktop", {"MenuFolder", "Shortcut0"}},
  };
  auto& entry = AddFileEntry(record_, "a.exe");
  entry.ShortcutName = "A";
  entry.DesktopIcon = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log_key);
    const auto known = platform_.special_folders;
    platform_.special_folders.erase(c.unknown_folder);
    platform_.shell_links.clear();
    auto key = platform_.CreateKey(kHkcu, c.log_key);
    CreateShortcuts(record_, *key);
    EXPECT_EQ(platform_.RegistryNames(kHkcu, c.log_key), c.names);
    ASSERT_EQ(platform_.shell_links.size(), 1u);
    EXPECT_NE(platform_.shell_links[0].link_path[0], '\\');
    platform_.special_folders = known;
  }
}

TEST_F(ShortcutsTest, NameExpandingToNothingGivesNoLink) {
  ProgName.clear();
  AddFileEntry(record_, "a.exe").ShortcutName = "%PROGNAME%";
  CreateShortcuts(record_, *key_);
  EXPECT_EQ(Names(), (Texts{"MenuFolder"}));
  EXPECT_TRUE(platform_.shell_links.empty());
}

TEST_F(ShortcutsTest, RefusedLogValueFailsAndStillUninitialises) {
  AddFileEntry(record_, "a.exe").ShortcutName = "A";
  platform_.failing_value_names = {"Shortcut0"};
  EXPECT_EQ(CreateShortcuts(record_, *key_).message(), "Shortcut0");
  EXPECT_EQ(platform_.co_uninitialize_calls, 1);
  EXPECT_EQ(platform_.settings_announcements, 0);
}

}  // namespace
}  // namespace sfx
