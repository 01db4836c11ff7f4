// The readers of the installer file as the installer program calls them:
// VerifyPackage, ReadFromStream, ReadPackageHeader and the walk to the
// first file entry, with a table of damaged layouts that must each end as a
// clean failure.
#include "install/package_reports.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

#include "base/bytes.h"
#include "codec/lzh_encoder.h"
#include "install/report.h"
#include "package/record_writer.h"
#include "paths/macros.h"
#include "support/memory_file.h"
#include "support/package_image.h"
#include "support/temp_dir.h"
#include "unit/package/test_platform.h"

namespace sfx {
namespace {

using sfx_test::ExitCalled;

void Put32(std::vector<std::uint8_t>* s, std::uint32_t v) {
  ByteWriter(s).Uint32(v);
}
void Set32(std::vector<std::uint8_t>* s, std::size_t at, std::uint32_t v) {
  StoreUint32(s->data() + at, v);
}
// The size of the compressed header that starts at `h` (behind its 4-byte
// size field: the size fits in 16 bits in these tests).
std::size_t PackedHeaderSize(const std::vector<std::uint8_t>* s,
                             std::size_t h) {
  return (*s)[h] | (*s)[h + 1] << 8;
}
// Sets the field `offset` bytes into the package header past the
// compressed header: 4 is HeaderSize, 8 the file count.
void SetPastPackedHeader(std::vector<std::uint8_t>* s, std::size_t h,
                         std::size_t offset, std::uint32_t v) {
  Set32(s, h + offset + PackedHeaderSize(s, h), v);
}

// The parts of a test installer, put together by Build().
struct Parts {
  std::vector<std::uint8_t> stub = std::vector<std::uint8_t>(100, 'S');
  std::vector<std::uint8_t> header;
  std::uint32_t file_count = 0;
  std::vector<std::uint8_t> entries;
  // Changes applied to the assembled bytes before they are sealed.
  std::function<void(std::vector<std::uint8_t>*, std::size_t /*h*/,
                     std::size_t /*marker*/)>
      damage;

  std::vector<std::uint8_t> Build(std::size_t* marker_at = nullptr) const {
    std::vector<std::uint8_t> out = stub;
    const std::size_t h = out.size();
    const auto packed = LzhEncodeBuffer(header.data(), header.size());
    Put32(&out, static_cast<std::uint32_t>(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    Put32(&out, static_cast<std::uint32_t>(header.size()));
    Put32(&out, file_count);
    out.insert(out.end(), entries.begin(), entries.end());
    Put32(&out, static_cast<std::uint32_t>(h));
    if (damage) damage(&out, h, out.size());
    if (marker_at) *marker_at = out.size();
    return fake::Sealed(out);
  }
};

// A one-file package: header and the entry of an empty file.
Parts OneFile() {
  Parts parts;
  TInstalRecord record;
  record.ProductName = "Walk";
  record.Files.push_back(std::make_unique<TInstallFileRecord>());
  record.Files[0]->FileName = "empty.txt";
  parts.header = WriteRecord(record, kFormat24);
  parts.file_count = 1;
  parts.entries.push_back(9);
  parts.entries.insert(parts.entries.end(),
                       {'e', 'm', 'p', 't', 'y', '.', 't', 'x', 't'});
  parts.entries.insert(parts.entries.end(), 21, 0);
  return parts;
}

class ContainerTest : public ::testing::Test {
 protected:
  ContainerTest() { ExePath = path_; }
  void WriteInstaller(const std::vector<std::uint8_t>& bytes) {
    sfx_test::WriteBytes(path_, bytes);
  }
  // Runs ReadPackageHeader; returns the exit code, or -1 when it returned.
  int ReadHeader(TInstalRecord* record) {
    try {
      ReadPackageHeader(*record);
    } catch (const ExitCalled& exit) {
      return static_cast<int>(exit.code);
    }
    return -1;
  }

  sfx_test::TestPlatform platform_;
  sfx_test::TempDir temp_;
  const std::string path_ = temp_.path() + "setup.exe";
};

TEST_F(ContainerTest, VerifiesAndReadsAGoodPackage) {
  std::size_t marker = 0;
  WriteInstaller(OneFile().Build(&marker));
  MarkerOffset = 0;
  ASSERT_TRUE(VerifyPackage(path_, false));
  EXPECT_EQ(MarkerOffset, static_cast<std::int32_t>(marker));
  TInstalRecord record;
  EXPECT_EQ(ReadHeader(&record), -1);
  EXPECT_EQ(record.ProductName, "Walk");
  EXPECT_EQ(ProgName, "Walk");
  ASSERT_EQ(record.Files.size(), 1u);
  EXPECT_TRUE(platform_.messages.empty());

  std::unique_ptr<File> file;
  std::int32_t count = -1;
  ASSERT_EQ(OpenPackageAtFirstEntry(&file, &count), PackageWalk::kOk);
  EXPECT_EQ(count, 1);
  std::uint8_t name_length = 0;
  std::uint32_t got = 0;
  ASSERT_TRUE(file->Read(&name_length, 1, &got));
  EXPECT_EQ(name_length, 9);
}

TEST_F(ContainerTest, VerifyReportsAFileItCannotOpen) {
  EXPECT_FALSE(VerifyPackage(path_ + ".missing", false));
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0].text,
            "Cannot open " + path_ + ".missing file.");
  EXPECT_EQ(platform_.messages[0].caption, "Error");
}

TEST_F(ContainerTest, VerifyFailsSilentlyOnADamagedFile) {
  auto bytes = OneFile().Build();
  bytes[10] ^= 0x40;
  WriteInstaller(bytes);
  EXPECT_FALSE(VerifyPackage(path_, false));
  EXPECT_TRUE(VerifyPackage(path_, true));
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(ContainerTest, DamagedLayoutsEndWithExitCodeOne) {
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>*, std::size_t, std::size_t)>
        damage;
    PackageWalk walk;  // what the walk to the first entry says
  };
  const Case cases[] = {
      {"header offset negative",
       [](auto* b, std::size_t, std::size_t m) {
         Set32(b, m - 4, 0xFFFFFFF0u);
       },
       PackageWalk::kBadHeaderOffset},
      {"header offset past the file",
       [](auto* b, std::size_t, std::size_t m) {
         Set32(b, m - 4, 0x7FFFFFF0u);
       },
       PackageWalk::kBadHeaderOffset},
      {"header offset at the trailer",
       [](auto* b, std::size_t, std::size_t m) {
         Set32(b, m - 4, static_cast<std::uint32_t>(m - 8));
       },
       PackageWalk::kBadHeaderOffset},
      {"compressed size huge",
       [](auto* b, std::size_t h, std::size_t) { Set32(b, h, 0xFFFFFFF0u); },
       PackageWalk::kNoFileCount},
      {"compressed size past the entries",
       [](auto* b, std::size_t h, std::size_t m) {
         Set32(b, h, static_cast<std::uint32_t>(m - h));
       },
       PackageWalk::kNoFileCount},
      {"file count negative",
       [](auto* b, std::size_t h, std::size_t) {
         SetPastPackedHeader(b, h, 8, 0xFFFFFFFFu);
       },
       PackageWalk::kNoFileCount},
      {"file count larger than the package could hold",
       [](auto* b, std::size_t h, std::size_t) {
         SetPastPackedHeader(b, h, 8, 1000000u);
       },
       PackageWalk::kNoFileCount},
      {"file count differs from the header's list",
       [](auto* b, std::size_t h, std::size_t) {
         SetPastPackedHeader(b, h, 8, 0u);
       },
       PackageWalk::kOk},
      {"HeaderSize smaller than the decoded length",
       [](auto* b, std::size_t h, std::size_t) {
         SetPastPackedHeader(b, h, 4, 10u);
       },
       PackageWalk::kOk},
      {"HeaderSize absurd",
       [](auto* b, std::size_t h, std::size_t) {
         SetPastPackedHeader(b, h, 4, 0xFFFFFFFFu);
       },
       PackageWalk::kOk},
      {"decoded length field above HeaderSize",
       [](auto* b, std::size_t h, std::size_t) {
         Set32(b, h + 4, 0x7FFFFFFFu);
       },
       PackageWalk::kOk},
      {"compressed header empty",
       [](auto* b, std::size_t h, std::size_t) {
         // P = 0: HeaderSize and FileCount follow right away.
         std::vector<std::uint8_t> rest(
             b->begin() + static_cast<long>(h + 4 + PackedHeaderSize(b, h)),
             b->end());
         b->resize(h);
         Put32(b, 0);
         b->insert(b->end(), rest.begin(), rest.end());
         Set32(b, b->size() - 4, static_cast<std::uint32_t>(h));
       },
       PackageWalk::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parts parts = OneFile();
    parts.damage = c.damage;
    std::size_t marker = 0;
    WriteInstaller(parts.Build(&marker));
    ASSERT_TRUE(VerifyPackage(path_, false));
    platform_.messages.clear();
    TInstalRecord record;
    EXPECT_EQ(ReadHeader(&record), 1);
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "Packed data is corrupted.");
    std::unique_ptr<File> file;
    std::int32_t count = 0;
    EXPECT_EQ(OpenPackageAtFirstEntry(&file, &count), c.walk);
  }
}

TEST_F(ContainerTest, UnknownSignatureEndsWithExitCodeOne) {
  Parts parts = OneFile();
  parts.header[10] = 'X';  // "InstallerX2.4"
  WriteInstaller(parts.Build());
  ASSERT_TRUE(VerifyPackage(path_, false));
  TInstalRecord record;
  EXPECT_EQ(ReadHeader(&record), 1);
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0].text, "Data is corrupted.");
}

TEST_F(ContainerTest, MissingFilesEndWithTheirOwnMessages) {
  WriteInstaller(OneFile().Build());
  ASSERT_TRUE(VerifyPackage(path_, false));
  ExePath = path_ + ".gone";
  TInstalRecord record;
  EXPECT_EQ(ReadHeader(&record), 1);
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0].text,
            "Cannot read data from file. Probably sharing violation.");
  std::unique_ptr<File> file;
  std::int32_t count = 0;
  EXPECT_EQ(OpenPackageAtFirstEntry(&file, &count), PackageWalk::kCannotOpen);

  ExePath = path_;
  MarkerOffset = 2;  // no room for the header offset before it
  EXPECT_EQ(OpenPackageAtFirstEntry(&file, &count),
            PackageWalk::kNoHeaderOffset);
}

TEST_F(ContainerTest, ReportPackageWalkShowsEachWalksBox) {
  const struct {
    PackageWalk walk;
    const char* message;  // empty: no box, true returned
  } cases[] = {
      {PackageWalk::kOk, ""},
      {PackageWalk::kCannotOpen,
       "Cannot read data from file. Probably sharing violation."},
      {PackageWalk::kNoHeaderOffset, "Installation data is corrupted."},
      {PackageWalk::kBadHeaderOffset, "Packed data is corrupted."},
      {PackageWalk::kNoFileCount, "the caller's file count text"},
  };
  const WindowHandle saved_main = MainWindow;
  MainWindow = 0x1234;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    platform_.messages.clear();
    EXPECT_EQ(ReportPackageWalk(c.walk, "the caller's file count text"),
              c.message[0] == '\0');
    if (c.message[0] == '\0') {
      EXPECT_TRUE(platform_.messages.empty());
      continue;
    }
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, c.message);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_EQ(platform_.messages[0].owner, 0x1234u);
    EXPECT_EQ(platform_.messages[0].flags, os::kMbIconError);
  }
  MainWindow = saved_main;
}

TEST(LoadPackageHeaderTest, TruncatedHeaderReadsFail) {
  Parts parts = OneFile();
  std::size_t marker = 0;
  const auto bytes = parts.Build(&marker);
  for (std::int64_t fail_at : {100, 104, 110, 130}) {
    sfx_test::MemoryFile file(bytes);
    file.FailReadsFrom(fail_at);
    PackageLayout layout;
    std::vector<std::uint8_t> decoded;
    std::string reason;
    EXPECT_FALSE(LoadPackageHeader(file, static_cast<std::int64_t>(marker),
                                   &layout, &decoded, &reason))
        << fail_at;
    EXPECT_FALSE(reason.empty());
  }
}

TEST(ReadFromStreamTest, PublishesTheProductNameAndReportsUnknownSignatures) {
  sfx_test::TestPlatform platform;
  TInstalRecord written;
  written.ProductName = "My Product";
  const auto stream = WriteRecord(written, kFormat12);
  TInstalRecord r;
  EXPECT_EQ(ReadFromStream(r, stream.data(), stream.size()), ReadResult::kOk);
  EXPECT_EQ(ProgName, "My Product");
  EXPECT_TRUE(platform.messages.empty());

  const std::string signature = "Installer 9.9";
  std::vector<std::uint8_t> bad(1, static_cast<std::uint8_t>(signature.size()));
  bad.insert(bad.end(), signature.begin(), signature.end());
  TInstalRecord untouched;
  EXPECT_EQ(ReadFromStream(untouched, bad.data(), bad.size()),
            ReadResult::kUnknownSignature);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Data is corrupted.");
  EXPECT_EQ(platform.messages[0].caption, "Error");
  EXPECT_EQ(platform.messages[0].flags, os::kMbIconError);
  EXPECT_TRUE(untouched.InstallDir.empty());
}

}  // namespace
}  // namespace sfx
