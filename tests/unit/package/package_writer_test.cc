// The packer: the stub's size block, time stamps, and installers that the
// readers accept, with the same bytes on every build.
#include "package/package_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "codec/file_entry.h"
#include "package/container.h"
#include "support/memory_file.h"
#include "support/package_image.h"
#include "support/temp_dir.h"

namespace sfx {
namespace {

using fake::StubImage;

TEST(FindStubSizeBlockTest, Cases) {
  EXPECT_EQ(FindStubSizeBlock(StubImage()), 64u);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> stub;
  };
  auto twice = StubImage();
  twice.insert(twice.end(), kStubSizeTag, kStubSizeTag + 13);
  auto wrong_length = StubImage();
  wrong_length[64] = 23;
  auto at_start = std::vector<std::uint8_t>(kStubSizeTag, kStubSizeTag + 13);
  at_start.resize(40);
  auto cut = StubImage();
  cut.resize(64 + 20);
  auto with_marker = StubImage();
  for (int i = 0; i < 2; ++i)
    with_marker.insert(with_marker.end(), kMarkerHalf, kMarkerHalf + 8);
  const Case cases[] = {{"no tag", std::vector<std::uint8_t>(100, 'x')},
                        {"tag twice", twice},
                        {"length byte not 22", wrong_length},
                        {"tag at the start", at_start},
                        {"block cut off", cut},
                        {"stub holds the marker", with_marker}};
  for (const Case& c : cases) {
    EXPECT_THROW(FindStubSizeBlock(c.stub), PackageWriteError) << c.name;
  }
}

TEST(DosDateTimeOfTest, LocalTimeClampedToTheDosRange) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 2020-02-29 13:45:31 UTC: seconds round down to even.
  const std::time_t t = 1582983931;
  const std::uint32_t expected =
      ((40u << 9) | (2u << 5) | 29u) << 16 | (13u << 11) | (45u << 5) | 15u;
  EXPECT_EQ(DosDateTimeOf(t, std::nullopt), expected);
  EXPECT_EQ(DosDateTimeOf(t + 1000, t), expected);  // clamped to newest
  EXPECT_EQ(DosDateTimeOf(t, t + 1000), expected);
  EXPECT_EQ(DosDateTimeOf(0, std::nullopt), 0x00210000u);  // 1970 -> 1980
  EXPECT_EQ(DosDateTimeOf(std::time_t{5000000000}, std::nullopt) >> 25, 127u);
  setenv("TZ", "Europe/Berlin", 1);  // one hour ahead in winter
  tzset();
  EXPECT_EQ(DosDateTimeOf(t, std::nullopt), expected + (1u << 11));
  setenv("TZ", "UTC", 1);
  tzset();
}

class WritePackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  std::string Source(const std::string& name,
                     const std::vector<std::uint8_t>& bytes) {
    return temp_.Write(name, bytes);
  }
  static std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
  }
  static std::vector<std::uint8_t> Text(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
      bytes[i] = "the quick brown fox\n"[i % 20];
    return bytes;
  }

  sfx_test::TempDir temp_;
  const std::string dir_ = temp_.path();
};

TEST_F(WritePackageTest, WritesWhatTheReadersAccept) {
  const std::vector<std::vector<std::uint8_t>> contents = {
      {}, Text(65000), Noise(130000, 1), Text(65001), Noise(10, 2)};
  PackagePlan plan;
  plan.stub = StubImage();
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    plan.sources.push_back(Source(name, contents[i]));
    auto entry = std::make_unique<TInstallFileRecord>();
    entry->FileName = "C:\\build\\" + name;  // only the last part is the name
    plan.record.Files.push_back(std::move(entry));
  }
  const std::string out = dir_ + "setup.exe";
  const PackageSummary summary = WritePackage(plan, out);
  const auto bytes = sfx_test::ReadBytes(out);
  ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), summary.installer_size);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 64, plan.stub.begin()));

  sfx_test::MemoryFile file(bytes);
  const PackageCheckResult check = CheckPackageFile(file, false);
  ASSERT_EQ(check.status, PackageCheck::kOk);
  EXPECT_EQ(check.marker_offset, summary.marker_offset);
  const StubSizeValues values = ParseStubSizeBlock(bytes.data() + 64);
  EXPECT_EQ(values.expected_size1, summary.installer_size);
  EXPECT_EQ(values.expected_size2, summary.installer_size);
  EXPECT_EQ(values.skip_checksum, 0);

  PackageLayout layout;
  std::vector<std::uint8_t> decoded;
  std::string reason;
  ASSERT_TRUE(
      LoadPackageHeader(file, check.marker_offset, &layout, &decoded, &reason))
      << reason;
  EXPECT_EQ(layout.header_offset, static_cast<std::int64_t>(plan.stub.size()));
  ASSERT_EQ(layout.file_count, 5);
  ASSERT_TRUE(
      static_cast<File&>(file).Seek(layout.first_entry, File::Origin::kBegin));
  std::vector<std::uint8_t> input(kMaxBlockBufferSize),
      output(kMaxBlockBufferSize);
  const bool expect_packed[] = {false, true, false, true, false};
  for (std::size_t i = 0; i < contents.size(); ++i) {
    PackedFileEntry entry;
    ASSERT_TRUE(ReadPackedFileEntry(file, &entry));
    EXPECT_EQ(entry.name, "f" + std::to_string(i) + ".bin");
    EXPECT_EQ(entry.header.FileSize, contents[i].size());
    EXPECT_EQ(entry.header.Reserved1, 0u);
    EXPECT_EQ(entry.header.Reserved2, 0u);
    EXPECT_EQ(entry.header.Packed != 0, expect_packed[i]) << i;
    EXPECT_EQ(entry.blocks.size(), (contents[i].size() + 64999) / 65000);
    std::vector<std::uint8_t> rebuilt;
    for (const TPackedBlock& block : entry.blocks) {
      EXPECT_EQ(block.BlockOffset, static_cast<std::uint32_t>(file.position()));
      const std::uint8_t* data = nullptr;
      std::uint32_t length = 0;
      ASSERT_EQ(ReadFileBlock(file, block.BlockSize, entry.header.Packed != 0,
                              input.data(), output.data(), &data, &length),
                BlockRead::kOk);
      rebuilt.insert(rebuilt.end(), data, data + length);
    }
    EXPECT_EQ(rebuilt, contents[i]) << i;
  }
  EXPECT_EQ(file.position(), layout.entries_end);

  // (The same inputs give the same bytes: AnyNumberOfThreadsGivesTheSameBytes.)
  // The skip flag lands in the size block.
  plan.skip_checksum = true;
  WritePackage(plan, dir_ + "skip.exe");
  EXPECT_EQ(sfx_test::ReadBytes(dir_ + "skip.exe")[64 + 22], 1);
}

// Incompressible files would be stored as they are; one that holds the
// trailer marker must not be, or the installer's check would stop there.
TEST_F(WritePackageTest, FilesHoldingTheMarkerStillGiveAWorkingInstaller) {
  const std::string marker = std::string(kMarkerHalf) + kMarkerHalf;
  const struct {
    const char* name;
    std::size_t size;
    std::size_t marker_at;
  } cases[] = {
      {"inside a block", 5000, 1000},
      {"across two blocks", 70000, kFileBlockSize - 7},
      {"at the very end", 300, 300 - 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto content = Noise(c.size, 7);
    std::copy(marker.begin(), marker.end(), content.begin() + c.marker_at);
    PackagePlan plan;
    plan.stub = StubImage();
    plan.sources = {Source("noise.bin", content)};
    plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
    plan.record.Files.back()->FileName = "noise.bin";
    const PackageSummary summary = WritePackage(plan, dir_ + "marker.exe");
    sfx_test::MemoryFile file(sfx_test::ReadBytes(dir_ + "marker.exe"));
    const PackageCheckResult check = CheckPackageFile(file, false);
    EXPECT_EQ(check.status, PackageCheck::kOk);
    EXPECT_EQ(check.marker_offset, summary.marker_offset);
  }
}

TEST_F(WritePackageTest, EveryFlippedByteBeforeTheMarkerFailsTheCheck) {
  PackagePlan plan;
  plan.stub = StubImage();
  plan.sources = {Source("a.txt", Text(700)), Source("b.bin", Noise(300, 3))};
  for (const char* name : {"a.txt", "b.bin"}) {
    plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
    plan.record.Files.back()->FileName = name;
  }
  const PackageSummary summary = WritePackage(plan, dir_ + "flip.exe");
  const auto good = sfx_test::ReadBytes(dir_ + "flip.exe");
  for (std::int64_t at = 0; at < summary.marker_offset; ++at) {
    for (std::uint8_t mask : {0x01, 0x80}) {
      auto bytes = good;
      bytes[static_cast<std::size_t>(at)] ^= mask;
      sfx_test::MemoryFile file(bytes);
      ASSERT_NE(CheckPackageFile(file, false).status, PackageCheck::kOk)
          << "byte " << at << " mask " << int{mask};
    }
  }
}

TEST_F(WritePackageTest, AnyNumberOfThreadsGivesTheSameBytes) {
  PackagePlan plan;
  plan.stub = StubImage();
  const std::vector<std::vector<std::uint8_t>> contents = {
      Text(400000), {}, Noise(200000, 4), Text(10)};
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const std::string name = "t" + std::to_string(i);
    plan.sources.push_back(Source(name, contents[i]));
    plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
    plan.record.Files.back()->FileName = name;
  }
  std::vector<std::uint8_t> first;
  for (unsigned jobs : {1u, 2u, 7u}) {
    PackageWriteOptions options;
    options.jobs = jobs;
    std::vector<std::size_t> files;
    std::int64_t progress = 0;
    options.on_file = [&files](const PackedFileInfo& f) {
      files.push_back(f.index);
    };
    options.on_progress = [&progress](std::int64_t done) {
      EXPECT_GT(done, progress);
      progress = done;
    };
    const PackageSummary summary =
        WritePackage(plan, dir_ + "jobs.exe", options);
    EXPECT_EQ(files, (std::vector<std::size_t>{0, 1, 2, 3})) << jobs;
    EXPECT_EQ(progress, summary.data_size) << jobs;
    if (first.empty()) {
      first = sfx_test::ReadBytes(dir_ + "jobs.exe");
    } else {
      EXPECT_EQ(sfx_test::ReadBytes(dir_ + "jobs.exe"), first) << jobs;
    }
  }
}

// An output that is an input is refused before anything is written; a
// build that fails leaves the file it would have replaced as it was.
TEST_F(WritePackageTest, InputsAndExistingOutputsSurvive) {
  PackagePlan plan;
  plan.stub = StubImage();
  const std::string source = Source("in.txt", Text(3000));
  const std::string other = Source("other.bin", Noise(50, 5));
  ::unlink((dir_ + "hard.txt").c_str());
  ASSERT_EQ(::link(source.c_str(), (dir_ + "hard.txt").c_str()), 0);
  plan.sources = {source};
  plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
  plan.record.Files[0]->FileName = "in.txt";
  PackageWriteOptions options;
  options.other_inputs = {other};
  for (const std::string& output :
       {source, dir_ + "hard.txt", dir_ + "./in.txt", other}) {
    const auto before = sfx_test::ReadBytes(output);
    EXPECT_THROW(WritePackage(plan, output, options), PackageWriteError)
        << output;
    EXPECT_EQ(sfx_test::ReadBytes(output), before) << output;
  }
  const std::string folder = dir_ + "folder";
  ::mkdir(folder.c_str(), 0777);
  EXPECT_THROW(WritePackage(plan, folder), PackageWriteError);
  const std::string existing = Source("existing.exe", Noise(77, 6));
  plan.sources = {dir_ + "missing.txt"};
  EXPECT_THROW(WritePackage(plan, existing), PackageWriteError);
  EXPECT_EQ(sfx_test::ReadBytes(existing), Noise(77, 6));
}

TEST_F(WritePackageTest, FailuresLeaveNoOutput) {
  struct Case {
    const char* name;
    void (*change)(PackagePlan&);
  };
  const Case cases[] = {
      {"missing source", [](PackagePlan& s) { s.sources[0] += ".missing"; }},
      {"source is a folder", [](PackagePlan& s) { s.sources[0] = "/tmp"; }},
      {"name ends in a separator",
       [](PackagePlan& s) { s.record.Files[0]->FileName = "dir\\"; }},
      {"name is ..",
       [](PackagePlan& s) { s.record.Files[0]->FileName = ".."; }},
      {"text too long",
       [](PackagePlan& s) { s.record.RegistryKey = std::string(256, 'k'); }},
      {"stub without size block",
       [](PackagePlan& s) { s.stub.assign(50, 'x'); }},
      {"sources and files differ",
       [](PackagePlan& s) { s.sources.push_back("x"); }},
  };
  for (const Case& c : cases) {
    PackagePlan plan;
    plan.stub = StubImage();
    plan.sources.push_back(Source("a.txt", Text(100)));
    plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
    plan.record.Files[0]->FileName = "a.txt";
    c.change(plan);
    const std::string out = dir_ + "failed.exe";
    EXPECT_THROW(WritePackage(plan, out), PackageWriteError) << c.name;
    struct stat st;
    EXPECT_NE(::stat(out.c_str(), &st), 0) << c.name;
  }
  // A source that grows, or is rewritten, while it is read (here after its
  // first block) is not packed as a mix of old and new bytes.
  for (const bool rewrite : {false, true}) {
    PackagePlan plan;
    plan.stub = StubImage();
    const std::string source = Source("grows.bin", Noise(200000, 9));
    // An old time, so that the write shows at any clock's resolution.
    const struct timespec old_times[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), old_times, 0), 0);
    plan.sources.push_back(source);
    plan.record.Files.push_back(std::make_unique<TInstallFileRecord>());
    plan.record.Files[0]->FileName = "grows.bin";
    PackageWriteOptions options;
    options.jobs = 1;
    options.on_progress = [&](std::int64_t) {
      std::FILE* f = std::fopen(source.c_str(), rewrite ? "r+b" : "ab");
      ASSERT_NE(f, nullptr);
      std::fputc('x', f);
      std::fclose(f);
    };
    const std::string out = dir_ + "failed.exe";
    EXPECT_THROW(WritePackage(plan, out, options), PackageWriteError)
        << rewrite;
    struct stat st;
    EXPECT_NE(::stat(out.c_str(), &st), 0) << rewrite;
  }
  // Nor a temporary file.
  DIR* dir = ::opendir(dir_.c_str());
  ASSERT_NE(dir, nullptr);
  while (const dirent* e = ::readdir(dir)) {
    EXPECT_EQ(std::string(e->d_name).find(".tmp"), std::string::npos)
        << e->d_name;
  }
  ::closedir(dir);
}

}  // namespace
}  // namespace sfx
