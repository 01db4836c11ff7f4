// The manifest's mistakes, each with the message that must name it, and
// what a good manifest turns into: trees, patterns, added directories,
// the converted licence.
#include "manifest.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "licence.h"
#include "support/temp_dir.h"
#include "tree.h"

namespace sfxtool {
namespace {

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("a.txt", "a");
    Write("b.txt", "b");
  }
  void Write(const std::string& name, const std::string& bytes) {
    temp_.Write(name, bytes);
  }
  std::string Path(const std::string& name) const { return dir_ + name; }
  // Loads `body` after the three required keys (lines 1-3).
  Manifest Load(const std::string& body) {
    Write("m.toml",
          "product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\n"
          "registry_key = \"Software\\\\P\"\n" +
              body);
    return LoadManifest(Path("m.toml"));
  }
  std::string ErrorOf(const std::string& toml) {
    Write("m.toml", toml);
    try {
      LoadManifest(Path("m.toml"));
    } catch (const ManifestError& e) {
      return e.what();
    }
    return "(no error)";
  }

  sfx_test::TempDir temp_;
  const std::string dir_ = temp_.path();
};

constexpr char kHead[] =
    "product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\n"
    "registry_key = \"Software\\\\P\"\n";

TEST_F(ManifestTest, EachMistakeNamesLineFieldAndProblem) {
  struct Case {
    std::string toml;
    std::string message;  // a fragment of "m.toml:LINE: field: ..."
  };
  const std::string h = kHead;
  const Case cases[] = {
      // Required texts, types, keys.
      {"product_name = \"\"\ninstall_dir = \"C:\\\\P\"\nregistry_key = \"K\"",
       "m.toml:1: product_name: may not be empty"},
      {"product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\nregistry_key = \"\"",
       "m.toml:3: registry_key: may not be empty"},
      {"product_name = \"P\"\nregistry_key = \"K\"",
       "install_dir: missing, e.g. install_dir = \"C:\\\\Program Files"},
      {h + "format = 2.4",
       "m.toml:4: format: must be a string, e.g. format = \"2.4\""},
      {h + "skip_checksum = \"yes\"",
       "4: skip_checksum: must be true or false, e.g. skip_checksum = false"},
      {h + "welcome = \"Hi\"",
       "4: welcome: must be an array of strings, e.g. welcome = ["},
      {h + "menu_fodler = \"M\"",
       "4: menu_fodler: unknown key; did you mean menu_folder?"},
      {h + "[[file]]\nsource = \"a.txt\"\ntarget = \"Data\"",
       "6: file[0].target: unknown key; did you mean target_dir?"},
      {h + "colour = 1", "4: colour: unknown key"},
      {h + "exclude = [\"*.o\"]",
       "4: exclude: unknown key here; it belongs in [[tree]]"},
      {h + "menu_folder = \"M\"\n[[file]]\nsource = \"a.txt\"\n"
           "shortcut = \"Go\"\n[[file]]\nsource = \"b.txt\"\nshortcut = \"GO\"",
       "10: file[1].shortcut: \"GO\" and \"Go\" of file[0].shortcut (line 7) "
       "are the same shortcut file"},
      {h + "[file]\nsource = \"a.txt\"", "4: file: must be an array of tables"},
      {h + "[[file]]\nsource = \"a.txt\"\ntarget_dir = \"%TEMP%Logs\"",
       "6: file[0].target_dir: \"%TEMP%Logs\" joins its name to the macro's "
       "folder name; write \"%TEMP%\\Logs\""},
      // The registry key and the destination.
      {"product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\n"
       "registry_key = \"HKLM\\\\Software\\\\P\"",
       "3: registry_key: \"HKLM\\Software\\P\" names a root key"},
      {"product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\n"
       "registry_key = \"HKEY_CURRENT_USER\\\\Software\"",
       "names a root key"},
      {"product_name = \"P\"\ninstall_dir = \"C:\\\\P\"\n"
       "registry_key = \"Software\\\\Q\\\"x\"",
       "3: registry_key: \"Software\\Q\"x\" holds a double quote"},
      {"product_name = \"P\"\ninstall_dir = \"Program Files\\\\P\"\n"
       "registry_key = \"K\"",
       "2: install_dir: \"Program Files\\P\" is relative"},
      {"product_name = \"P\"\ninstall_dir = \"C:P\"\nregistry_key = \"K\"",
       "2: install_dir: \"C:P\" is relative to the current folder of drive C:"},
      {"product_name = \"P\"\ninstall_dir = \"%INSTALLDIR%P\"\n"
       "registry_key = \"K\"",
       "2: install_dir: \"%INSTALLDIR%P\" does not start with a macro"},
      {"product_name = \"P\"\ninstall_dir = \"C:\\\\P\\\\..\\\\..\"\n"
       "registry_key = \"K\"",
       "2: install_dir: \"P\\..\\..\", which has a . or .. component"},
      // Name rules in every name and directory field.
      {h + "[[file]]\nsource = \"a.txt\"\ntarget_dir = \"..\\\\..\\\\Escaped\"",
       "6: file[0].target_dir: \"..\\..\\Escaped\", which has a . or .. "
       "component"},
      {h + "[[file]]\nsource = \"a.txt\"\ntarget_dir = \"C:\\\\Windows\"",
       "6: file[0].target_dir: \"C:\\Windows\", which names a drive or root"},
      {h + "[[file]]\nsource = \"a.txt\"\ntarget_dir = \"\\\\Windows\"",
       "names a drive or root"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"CON.txt\"",
       "6: file[0].name: must be a plain file name: \"CON.txt\" is a Windows "
       "device name"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"lpt9\"", "device name"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"a.txt.\"",
       "6: file[0].name: must be a plain file name: \"a.txt.\" ends with a dot "
       "or a blank"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"a?.txt\"",
       "character Windows forbids"},
      {h + "[[file]]\nsource = \"a.txt\"\nshortcut = \"A: B\"",
       "6: file[0].shortcut: must be a plain name: \"A: B\" holds a character"},
      {h + "menu_folder = \"Maker\\\\Product\"",
       "4: menu_folder: must be one folder name"},
      {h + "directories = [\"Data\", \"AUX\"]",
       "4: directories[1]: \"AUX\", which is a Windows device name"},
      {h + "launch_program = '..\\x.exe\" /s'",
       "4: launch_program: \"..\\x.exe\", which has a . or .. component"},
      {h + "[[pre_run]]\nfile = \"x.exe\"\ndirectory = \"C:\\\\Tools\"\n"
           "stage = 0",
       "6: pre_run[0].directory: \"C:\\Tools\", which names a drive"},
      {h + "[[pre_run]]\nfile = \"x.exe \"\nstage = 1",
       "5: pre_run[0].file: \"x.exe \", which ends with a dot or a blank"},
      // Two entries Windows would take for one file.
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"Same.txt\"\n"
           "target_dir = \"Data\"\n[[file]]\nsource = \"b.txt\"\n"
           "name = \"SAME.TXT\"\ntarget_dir = \"%INSTALLDIR%Data\\\\\"",
       "10: file[1].name: \"SAME.TXT\" and \"Same.txt\" of file[0].name (line "
       "6) are the same file in \"Data\"; Windows does not tell"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"Data\"\n[[file]]\n"
           "source = \"b.txt\"\ntarget_dir = \"Data\"",
       "6: file[0].name: the file \"Data\" stands where the folder \"Data\" "
       "must be"},
      // Host files.
      {h + "[[file]]\nsource = \"*.none\"",
       "5: file[0].source: matches no file"},
      {h + "[[file]]\nsource = \"missing.txt\"",
       "5: file[0].source: cannot find"},
      {h + "[[tree]]\nsource = \"a.txt\"", "5: tree[0].source: "},
      {h + "format = \"2.2\"\n[[file]]\nsource = \"a.txt\"\ndesktop_icon = "
           "true",
       "7: file[0].desktop_icon: needs format 2.4"},
      // Texts, formats and choices.
      {"install_dir = \"C:\\\\P\"\nregistry_key = \"K\"",
       "product_name: missing"},
      {h + "menu_folder = \"" + std::string(256, 'm') + "\"",
       "m.toml:4: menu_folder: is 256 bytes"},
      {h + "welcome = [\"ok\", \"\xE6\x97\xA5\"]",
       "m.toml:4: welcome[1]: \"\xE6\x97\xA5\" cannot be written in code page "
       "1252"},
      {h + "[[file]]\nsource = \"a.txt\"\nname = \"a\\\\b.txt\"",
       "6: file[0].name: must be a plain file name"},
      {"format = \"1.2\"\n" + h + "[[pre_run]]\nfile = \"x\"\nstage = 0",
       ": pre_run: needs format 2.1 or later"},
      {h + "[[pre_run]]\nfile = \"x\"\nstage = \"later\"",
       "m.toml:6: pre_run[0].stage: must be"},
      {h + "= broken", "m.toml:4: "},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorOf(c.toml);
    EXPECT_NE(error.find(c.message), std::string::npos)
        << "manifest:\n"
        << c.toml << "\nexpected: " << c.message << "\ngot: " << error;
  }
}

TEST_F(ManifestTest, MissingManifestIsSaidPlainly) {
  try {
    LoadManifest(Path("nothing.toml"));
    FAIL() << "no error";
  } catch (const ManifestError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot open " + Path("nothing.toml") +
                                         ": No such file or directory");
  }
}

TEST_F(ManifestTest, WarningsForWhatMayNotInstallAsMeant) {
  struct Case {
    std::string body;
    std::string warning;  // empty: no warning at all
  };
  const Case cases[] = {
      {"[[file]]\nsource = \"a.txt\"\nshortcut = \"A\"",
       "m.toml:6: file[0].shortcut: makes no shortcut: menu_folder is empty"},
      {"launch_program = \"bin\\\\run.exe\"",
       "m.toml:4: launch_program: \"bin\\run.exe\" is not in the package"},
      {"launch_program = 'a.txt\" /x'\n[[file]]\nsource = \"a.txt\"", ""},
      {"launch_program = \"%WINDOWS%\\\\notepad.exe\"", ""},
      {"[[pre_run]]\nfile = \"setup.exe\"\nstage = 1",
       "m.toml:5: pre_run[0].file: \"setup.exe\" is not in the package"},
      {"[[pre_run]]\nfile = \"a.txt\"\nextract_first = true\nstage = 0\n"
       "[[file]]\nsource = \"a.txt\"",
       "m.toml:6: pre_run[0].extract_first: a program run \"before\""},
      {"[[pre_run]]\nfile = \"a.txt\"\ndirectory = \"%TEMP%\"\n"
       "extract_first = true\nstage = 0\n[[file]]\nsource = \"a.txt\"",
       ""},
      {"directories = [\"Data/Sub\"]",
       "m.toml:4: directories[0]: \"Data/Sub\" is taken as \"Data\\Sub\""},
      {"[[tree]]\nsource = \"old\"",
       "m.toml:5: tree[0].source: \"a.txt\": " + Path("old/a.txt") +
           " was modified in 19"},
      {"[[tree]]\nsource = \"old\"\nexclude = [\"*.txt\"]",
       "m.toml:5: tree[0].source: packs nothing: " + Path("old") +
           " holds nothing that the excludes leave in"},
      {"directories = [\"Cache%\", \"%SYSTEM%\\\\\"]",
       "m.toml:4: directories[0]: the folder \"Cache%\" ends in '%'"},
      {"[[tree]]\nsource = \"pct\"",
       "m.toml:5: tree[0].source: the folder \"%INSTALLDIR%Logs%\" ends"},
      {"[[tree]]\nsource = \"un\"",
       "m.toml:5: tree[0].source: \"old_tiv_uninstal.exe.bak\": "
       "\"old_tiv_uninstal.exe.bak\" holds TIV_UNINSTAL.EXE"},
  };
  Write("old/a.txt", "a");
  Write("un/old_tiv_uninstal.exe.bak", "x");
  Write("pct/Logs%/b.txt", "b");
  const struct timeval epoch[2] = {};
  ASSERT_EQ(::utimes(Path("old/a.txt").c_str(), epoch), 0);
  for (const Case& c : cases) {
    const Manifest manifest = Load(c.body);
    if (c.warning.empty()) {
      EXPECT_TRUE(manifest.warnings.empty())
          << c.body << "\ngot: " << manifest.warnings[0];
      continue;
    }
    ASSERT_EQ(manifest.warnings.size(), 1u) << c.body;
    EXPECT_NE(manifest.warnings[0].find(c.warning), std::string::npos)
        << c.body << "\ngot: " << manifest.warnings[0];
  }
}

TEST_F(ManifestTest, TreesPatternsAndTheDirectoriesFilesNeed) {
  Write("tree/z.txt", "z");
  Write("tree/Sub Dir/caf\xC3\xA9.txt", "c");
  Write("tree/Sub Dir/deep/x.bak", "x");
  Write("tree/A/b.txt", "b");
  ASSERT_EQ(::mkdir(Path("tree/Empty").c_str(), 0777), 0);
  Write("pics/1.png", "1");
  Write("pics/2.png", "2");
  const Manifest manifest = Load(
      "directories = [\"%COMMONAPPDATA%P\", \"data\"]\n"
      "[[file]]\nsource = \"pics/?.png\"\ntarget_dir = \"Data\\\\Pics\"\n"
      "[[tree]]\nsource = \"tree\"\ntarget_dir = \"Data\"\n"
      "exclude = [\"*.bak\"]\nadd_to_log = false\n"
      "[[file]]\nsource = \"a.txt\"\ntarget_dir = \"%SYSTEM%\\\\Tool\"\n");
  const sfx::TInstalRecord& record = manifest.plan.record;
  std::vector<std::string> files;
  for (const auto& file : record.Files) {
    files.push_back(file->TargetDir + "|" + file->FileName +
                    (file->AddToLog ? "" : " (no log)"));
  }
  const std::vector<std::string> expected_files = {
      "Data\\Pics|1.png",       "Data\\Pics|2.png",
      "Data\\A|b.txt (no log)", "Data\\Sub Dir|caf\xE9.txt (no log)",
      "Data|z.txt (no log)",    "%SYSTEM%\\Tool|a.txt",
  };
  EXPECT_EQ(files, expected_files);
  EXPECT_EQ(manifest.plan.sources[2], Path("tree/A/b.txt"));
  // The listed ones first; then, parents first, the folders files need
  // ("data" is "Data" to Windows), the empty folder of the tree.
  const std::vector<std::string> expected_directories = {
      "%COMMONAPPDATA%P",    "data",         "Data\\Pics",  "Data\\A",
      "Data\\Sub Dir",       "%SYSTEM%Tool", "Data\\Empty",
      "Data\\Sub Dir\\deep",  // what it holds is excluded
  };
  EXPECT_EQ(record.Directories, expected_directories);
  EXPECT_EQ(record.SpaceRequired, 6);
}

TEST_F(ManifestTest, TreeNamesOutsideCodePage1252AndLinkLoopsAreNamed) {
  Write("t1/\xE6\x97\xA5.txt", "x");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"t1\"")
                .find("5: tree[0].source: the name of \"\xE6\x97\xA5.txt\" "
                      "cannot be written in code page 1252"),
            std::string::npos);
  Write("t2/sub/a.txt", "a");
  ASSERT_EQ(::symlink("..", Path("t2/sub/loop").c_str()), 0);
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"t2\"")
                .find("t2/sub/loop is a link back into a folder"),
            std::string::npos);
  Write("t4/a\\b.txt", "a");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"t4\"")
                .find("5: tree[0].source: \"a\\b.txt\": a backslash"),
            std::string::npos);
  Write("t3/a.txt", "a");
  Write("t3/A.TXT", "b");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"t3\"")
                .find("5: tree[0].source: \"a.txt\": \"a.txt\" and \"A.TXT\""),
            std::string::npos);
  Write("t5/A/x", "a");
  Write("t5/a/x", "b");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"t5\"")
                .find("\"a/x\": \"a\\x\" and \"A\\x\" of tree[0].source "
                      "\"A/x\" (line 5) are the same file; Windows does not"),
            std::string::npos);
}

TEST_F(ManifestTest, PercentSignsInTreeFolders) {
  // A '%' that starts no macro is part of a name; the installer expands
  // a listed directory that holds one instead of joining it to the
  // destination, so it is listed below %INSTALLDIR%.
  Write("t/50%/f", "f");
  Write("t/%ab%/x/q", "q");
  ASSERT_EQ(::mkdir(Path("t/e%mpty").c_str(), 0777), 0);
  const Manifest manifest =
      Load("directories = [\"Logs%\"]\n[[tree]]\nsource = \"t\"\n");
  const sfx::TInstalRecord& record = manifest.plan.record;
  ASSERT_EQ(record.Files.size(), 2u);
  EXPECT_EQ(record.Files[0]->TargetDir, "%ab%\\x");
  EXPECT_EQ(record.Files[1]->TargetDir, "50%");
  const std::vector<std::string> expected_directories = {
      "%INSTALLDIR%Logs%", "%INSTALLDIR%%ab%", "%INSTALLDIR%%ab%\\x",
      "%INSTALLDIR%50%", "%INSTALLDIR%e%mpty"};
  EXPECT_EQ(record.Directories, expected_directories);
  // A macro, in any case, would send the folder's files elsewhere.
  Write("u/sub/%Windows%/evil.txt", "x");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[tree]]\nsource = \"u\"")
                .find("5: tree[0].source: \"sub/%Windows%\": the folder's "
                      "name holds %WINDOWS%"),
            std::string::npos);
}

TEST_F(ManifestTest, LicenceIsPackedAsCodePage1252WithCrLf) {
  Write("LICENSE.TXT",
        "\xEF\xBB\xBF"
        "Caf\xC3\xA9\nline 2\r\nend\n");
  const Manifest manifest = Load("[[file]]\nsource = \"LICENSE.TXT\"");
  ASSERT_EQ(manifest.temp_files.size(), 1u);
  std::ifstream in(manifest.plan.sources[0], std::ios::binary);
  const std::string packed((std::istreambuf_iterator<char>(in)),
                           std::istreambuf_iterator<char>());
  EXPECT_EQ(packed, "Caf\xE9\r\nline 2\r\nend\r\n");
  EXPECT_EQ(manifest.sizes[0], static_cast<std::int64_t>(packed.size()));
  const Manifest raw =
      Load("[[file]]\nsource = \"LICENSE.TXT\"\nconvert = false");
  EXPECT_TRUE(raw.temp_files.empty());
  EXPECT_EQ(raw.plan.sources[0], Path("LICENSE.TXT"));
  Write("LICENSE.TXT", "ok\n\xE2\x86\x92 arrow\n");
  EXPECT_NE(ErrorOf(std::string(kHead) + "[[file]]\nsource = \"LICENSE.TXT\"")
                .find("5: file[0].source: the licence " + Path("LICENSE.TXT") +
                      ": line 2: \"\xE2\x86\x92\" cannot be written"),
            std::string::npos);
}

TEST_F(ManifestTest, LimitsOfTheHeaderAreCheckedBeforePacking) {
  // The product name and its texts share one 255-byte header text.
  const std::string text = "\"" + std::string(100, 'x') + "\"";
  Manifest manifest = Load("product_texts = [" + text + ", " + text + ", " +
                           text + "]\n[[file]]\nsource = \"a.txt\"");
  try {
    CheckLimits(&manifest);
    FAIL() << "no error";
  } catch (const ManifestError& e) {
    EXPECT_NE(std::string(e.what()).find(Path("m.toml") + ": "),
              std::string::npos);
    EXPECT_NE(std::string(e.what()).find("255"), std::string::npos) << e.what();
  }
  Manifest fits = Load("[[file]]\nsource = \"a.txt\"");
  CheckLimits(&fits);
  EXPECT_TRUE(fits.warnings.empty());
}

TEST(LicenceTextTest, Conversions) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", ""},
      {"a\nb", "a\r\nb"},
      {"a\r\nb\n\n", "a\r\nb\r\n\r\n"},
      {"\xEF\xBB\xBFx\n", "x\r\n"},
      {"caf\xE9\n", "caf\xE9\r\n"},  // not UTF-8: already code page 1252
      {"\xE2\x82\xAC 5", "\x80 5"},
  };
  for (const Case& c : cases) {
    std::string out;
    std::string problem;
    ASSERT_TRUE(ConvertLicenceText(c.in, &out, &problem)) << problem;
    EXPECT_EQ(out, c.out);
  }
  std::string out;
  std::string problem;
  EXPECT_FALSE(
      ConvertLicenceText("\xEF\xBB\xBF"
                         "caf\xE9",
                         &out, &problem));
  EXPECT_NE(problem.find("not UTF-8"), std::string::npos);
}

TEST(PatternTest, Matches) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*", "", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"?.png", "1.png", true},
      {"?.png", "12.png", false},
      {"[a-c]x", "bx", true},
      {"[!a-c]x", "bx", false},
      {"[!a-c]x", "dx", true},
      {"sub/*.o", "sub/a.o", true},
      {"*.o", "sub/a.o", false},
      {"[]]", "]", true},
      {"[ab", "[ab", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchPattern(c.pattern, c.name), c.match)
        << c.pattern << " " << c.name;
  }
}

}  // namespace
}  // namespace sfxtool
