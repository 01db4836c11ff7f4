// The licence search over a hand-made package in the in-memory platform:
// which entries are extracted, which path comes back, the boxes of a
// package that cannot be walked, and that a broken block leaves nothing in
// the temporary folder.
#include "ui/licence_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "codec/file_entry.h"
#include "fake_platform.h"
#include "install/report.h"
#include "package/container.h"

namespace sfx {
namespace {

using fake::FakeExit;
using fake::FakePlatform;
using fake::FakePlatformScope;

constexpr char kInstaller[] = "C:\\Downloads\\setup.exe";

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  ByteWriter(&out).Uint32(v);
}

struct Entry {
  std::string name;
  std::string data;
  bool truncated = false;  // a block of size 0: unreadable when written
};

// An installer file: program bytes, a dummy header block, the stored
// (unpacked) entries, the header offset and the marker.
std::vector<std::uint8_t> BuildPackage(const std::vector<Entry>& entries,
                                       std::int32_t* marker_offset) {
  std::vector<std::uint8_t> out(64, 'M');  // the program image
  std::uint32_t header_offset = static_cast<std::uint32_t>(out.size());
  Put32(out, 3);  // packed header size, then the packed header
  out.insert(out.end(), {1, 2, 3});
  Put32(out, 3);  // decoded header size
  Put32(out, static_cast<std::uint32_t>(entries.size()));
  for (const Entry& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.name.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    Put32(out, static_cast<std::uint32_t>(e.data.size()));  // FileSize
    Put32(out, 0);
    Put32(out, 1);  // one block
    Put32(out, 0);
    Put32(out, 0x52A76000);  // 2021-05-07 12:00
    out.push_back(0);        // stored, not packed
    Put32(out, e.truncated ? 0 : static_cast<std::uint32_t>(e.data.size()));
    Put32(out, 0);
    if (!e.truncated) out.insert(out.end(), e.data.begin(), e.data.end());
  }
  Put32(out, header_offset);
  *marker_offset = static_cast<std::int32_t>(out.size());
  const char marker[] = "File CRCFile CRC";
  out.insert(out.end(), marker, marker + 16);
  Put32(out, 0);  // checksum, not looked at here
  return out;
}

class LicenceSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ExePath = kInstaller;
    MainWindow = 0x1234;
    LastExtractedPath = "stale";
  }
  void TearDown() override { MainWindow = 0; }

  // Puts a package with `entries` on the fake disk and a record naming
  // them (with `names` when the record's names should differ).
  void Install(const std::vector<Entry>& entries) {
    std::int32_t marker = 0;
    fs_.AddFile(kInstaller, BuildPackage(entries, &marker));
    MarkerOffset = marker;
    record_.Files.clear();
    for (const Entry& e : entries) {
      auto file = std::make_unique<TInstallFileRecord>();
      file->FileName = "docs\\" + e.name;
      record_.Files.push_back(std::move(file));
    }
  }

  FakePlatform fs_;
  FakePlatformScope scope_{&fs_};
  TInstalRecord record_;
};

TEST_F(LicenceSearchTest, FindsTheLicenceWhateverItsCase) {
  Install({{"tool.exe", "MZ"}, {"license.txt", "Terms"}, {"readme.txt", "R"}});
  EXPECT_EQ(ExtractLicence(record_), "C:\\TEMP\\license.txt");
  EXPECT_EQ(fs_.FileText("C:\\TEMP\\license.txt"), "Terms");
  EXPECT_FALSE(fs_.HasFile("C:\\TEMP\\tool.exe"));
  EXPECT_FALSE(fs_.HasFile("C:\\TEMP\\readme.txt"));
  EXPECT_TRUE(LastExtractedPath.empty());
  EXPECT_TRUE(fs_.message_boxes.empty());
}

TEST_F(LicenceSearchTest, WithoutLicenceNothingIsExtracted) {
  Install({{"tool.exe", "MZ"}, {"LICENSE.DOC", "no"}});
  EXPECT_EQ(ExtractLicence(record_), "");
  EXPECT_FALSE(fs_.HasFile("C:\\TEMP\\LICENSE.DOC"));
  EXPECT_TRUE(LastExtractedPath.empty());
}

TEST_F(LicenceSearchTest, TheLastOfSeveralLicencesWins) {
  Install(
      {{"LICENSE.TXT", "first"}, {"x.dat", "x"}, {"License.Txt", "second"}});
  EXPECT_EQ(ExtractLicence(record_), "C:\\TEMP\\License.Txt");
  EXPECT_EQ(fs_.FileText("C:\\TEMP\\LICENSE.TXT"), "second");
}

TEST_F(LicenceSearchTest, PackageThatCannotBeWalkedIsReported) {
  const struct {
    const char* name;
    std::function<void(FakePlatform&)> damage;
    const char* message;
  } cases[] = {
      {"missing file", [](FakePlatform& fs) { fs.DeleteFile(kInstaller); },
       "Cannot read data from file. Probably sharing violation."},
      {"marker before any offset", [](FakePlatform&) { MarkerOffset = 2; },
       "Installation data is corrupted."},
      {"header offset outside", [](FakePlatform&) { MarkerOffset -= 30; },
       "Packed data is corrupted."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs_.message_boxes.clear();
    Install({{"LICENSE.TXT", "Terms"}});
    c.damage(fs_);
    EXPECT_EQ(ExtractLicence(record_), "");
    ASSERT_EQ(fs_.message_boxes.size(), 1u);
    EXPECT_EQ(fs_.message_boxes[0].text, c.message);
    EXPECT_EQ(fs_.message_boxes[0].caption, "Error");
    EXPECT_EQ(fs_.message_boxes[0].owner, MainWindow);
    EXPECT_EQ(fs_.message_boxes[0].flags, os::kMbIconError);
    EXPECT_TRUE(LastExtractedPath.empty());
  }
}

TEST_F(LicenceSearchTest, UncreatableLicenceStopsTheSearch) {
  Install({{"LICENSE.TXT", "first"}, {"other.txt", "o"}});
  fs_.AddFile("C:\\TEMP\\LICENSE.TXT", "open elsewhere");
  fs_.LockFile("C:\\TEMP\\LICENSE.TXT");
  EXPECT_EQ(ExtractLicence(record_), "");
  ASSERT_EQ(fs_.message_boxes.size(), 1u);  // the extraction's own box
  EXPECT_TRUE(LastExtractedPath.empty());
}

TEST_F(LicenceSearchTest, BrokenBlockEndsTheProgramWithoutLeftovers) {
  const std::vector<Entry> packages[] = {
      {{"a.txt", "a"}, {"LICENSE.TXT", "terms", true}},  // the licence breaks
      {{"LICENSE.TXT", "first"}, {"License.txt", "2nd", true}},  // a second
  };
  for (const auto& entries : packages) {
    fs_.message_boxes.clear();
    Install(entries);
    try {
      ExtractLicence(record_);
      ADD_FAILURE() << "the program should have ended";
    } catch (const FakeExit& exit) {
      EXPECT_EQ(exit.code, 1u);
    }
    EXPECT_EQ(fs_.MessageTexts(),
              std::vector<std::string>{"Cannot read the data block."});
    EXPECT_FALSE(fs_.HasFile("C:\\TEMP\\LICENSE.TXT"));
  }
}

TEST_F(LicenceSearchTest, CountBeyondTheRecordIsNotWalked) {
  Install({{"a.txt", "a"}, {"LICENSE.TXT", "terms"}});
  record_.Files.pop_back();  // the record names one file, the package two
  EXPECT_EQ(ExtractLicence(record_), "");
  EXPECT_FALSE(fs_.HasFile("C:\\TEMP\\LICENSE.TXT"));
}

}  // namespace
}  // namespace sfx
