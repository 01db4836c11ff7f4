// ExtractPackedFile against the host file system: written, skipped and
// kept entries, time stamps, and each failure with its message.
#include "codec/file_entry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/bytes.h"
#include "codec/decode_ahead.h"
#include "codec/lzh_encoder.h"
#include "install/package_reports.h"
#include "paths/name_rules.h"
#include "support/memory_file.h"
#include "support/temp_dir.h"
#include "unit/package/test_platform.h"

namespace sfx {
namespace {

// 2021-06-15 10:20:30 as a DOS date and time.
constexpr std::uint32_t kDosTime =
    ((41u << 9) | (6u << 5) | 15u) << 16 | (10u << 11) | (20u << 5) | 15u;
constexpr std::uint8_t kSentinel = 0xA5;

void Put32(std::vector<std::uint8_t>* s, std::uint32_t v) {
  ByteWriter(s).Uint32(v);
}

struct EntrySpec {
  std::string name = "file.txt";
  std::vector<std::vector<std::uint8_t>> blocks;  // as stored
  bool packed = false;
  std::uint32_t dos = kDosTime;
  std::vector<std::uint32_t> sizes;        // overrides the table's sizes
  std::uint32_t block_count = UINT32_MAX;  // overrides the count
  std::uint32_t file_size = UINT32_MAX;    // overrides the stored sum
};

// One entry followed by a sentinel byte that marks the next entry.
std::vector<std::uint8_t> Entry(const EntrySpec& e) {
  std::vector<std::uint8_t> out;
  out.push_back(static_cast<std::uint8_t>(e.name.size()));
  out.insert(out.end(), e.name.begin(), e.name.end());
  std::uint32_t size = 0;
  for (const auto& b : e.blocks) size += static_cast<std::uint32_t>(b.size());
  Put32(&out, e.file_size != UINT32_MAX ? e.file_size : size);
  Put32(&out, 0);
  Put32(&out, e.block_count != UINT32_MAX
                  ? e.block_count
                  : static_cast<std::uint32_t>(e.blocks.size()));
  Put32(&out, 0);
  Put32(&out, e.dos);
  out.push_back(e.packed ? 1 : 0);
  for (std::size_t i = 0; i < e.blocks.size(); ++i) {
    Put32(&out, i < e.sizes.size()
                    ? e.sizes[i]
                    : static_cast<std::uint32_t>(e.blocks[i].size()));
    Put32(&out, 0);
  }
  for (const auto& b : e.blocks) out.insert(out.end(), b.begin(), b.end());
  out.push_back(kSentinel);
  return out;
}

std::vector<std::uint8_t> Text(std::size_t n, char seed = 'a') {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i)
    bytes[i] = static_cast<std::uint8_t>(seed + (i * 7 % 23));
  return bytes;
}

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    LastExtractedPath.clear();
  }

  static bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
  // The byte at the package's position must be the next entry's sentinel.
  static void ExpectAtNextEntry(sfx_test::MemoryFile& package) {
    std::uint8_t next = 0;
    std::uint32_t got = 0;
    ASSERT_TRUE(package.Read(&next, 1, &got));
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(next, kSentinel);
  }

  sfx_test::TestPlatform platform_;
  sfx_test::TempDir temp_;
  const std::string dir_ = temp_.path().substr(0, temp_.path().size() - 1);
};

TEST_F(ExtractTest, WritesStoredAndPackedEntriesWithTheirTime) {
  const auto first = Text(65000);
  const auto second = Text(1234, 'k');
  for (bool packed : {false, true}) {
    EntrySpec plan;
    plan.packed = packed;
    plan.file_size = static_cast<std::uint32_t>(first.size() + second.size());
    plan.blocks =
        packed ? std::vector<std::vector<std::uint8_t>>{LzhEncodeBuffer(
                                                            first.data(),
                                                            first.size()),
                                                        LzhEncodeBuffer(
                                                            second.data(),
                                                            second.size())}
               : std::vector<std::vector<std::uint8_t>>{first, second};
    sfx_test::MemoryFile package(Entry(plan));
    ASSERT_TRUE(ExtractPackedFile(package, dir_, false));
    ExpectAtNextEntry(package);
    const std::string path = dir_ + "/file.txt";
    EXPECT_EQ(LastExtractedPath, dir_ + "\\file.txt");
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(sfx_test::ReadBytes(path), expected);
    std::uint32_t dos = 0;
    ASSERT_TRUE(platform_.GetLastWriteDosTime(path, &dos));
    EXPECT_EQ(dos, kDosTime);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1623752430);  // the local (here UTC) time
  }
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(ExtractTest, EmptyDirectorySkipsTheEntry) {
  EntrySpec plan;
  plan.blocks = {Text(10), {}};  // a 0-byte block is harmless when skipped
  sfx_test::MemoryFile package(Entry(plan));
  EXPECT_TRUE(ExtractPackedFile(package, "", false));
  EXPECT_EQ(LastExtractedPath, "file.txt");
  ExpectAtNextEntry(package);
  EXPECT_TRUE(platform_.created.empty());
}

TEST_F(ExtractTest, EmptyFileAndTrailingBackslash) {
  EntrySpec plan;
  sfx_test::MemoryFile package(Entry(plan));
  ASSERT_TRUE(ExtractPackedFile(package, dir_ + "\\", false));
  EXPECT_EQ(LastExtractedPath, dir_ + "\\file.txt");
  EXPECT_TRUE(sfx_test::ReadBytes(dir_ + "/file.txt").empty());
  std::uint32_t dos = 0;
  ASSERT_TRUE(platform_.GetLastWriteDosTime(dir_ + "/file.txt", &dos));
  EXPECT_EQ(dos, kDosTime);
}

// A file that is not there yet is made in place, but where newer files are
// kept it goes through the temporary name like a replacement: a partial
// file left there by a killed run would look newer than the entry.
TEST_F(ExtractTest, NewFileIsWrittenInPlaceUnlessNewerFilesAreKept) {
  const std::string target = dir_ + "\\file.txt";
  for (const bool keep_newer : {false, true}) {
    std::remove((dir_ + "/file.txt").c_str());
    platform_.created.clear();
    EntrySpec plan;
    plan.blocks = {Text(5)};
    sfx_test::MemoryFile package(Entry(plan));
    ASSERT_TRUE(ExtractPackedFile(package, dir_, keep_newer));
    EXPECT_EQ(platform_.created, std::vector<std::string>{
                                     keep_newer ? target + ".sfxnew" : target});
    EXPECT_EQ(sfx_test::ReadBytes(dir_ + "/file.txt"), Text(5));
    EXPECT_FALSE(Exists(dir_ + "/file.txt.sfxnew"));
  }
}

TEST_F(ExtractTest, KeepNewerKeepsOnlyStrictlyNewerFiles) {
  struct Case {
    bool keep_newer;
    std::int32_t existing_offset;  // existing time relative to the entry's
    bool kept;
  };
  // A file of 2044 has the top bit of its DOS date set; it is still newer.
  constexpr std::uint32_t k2044 = (64u << 25) | (1u << 21) | (1u << 16);
  const Case cases[] = {
      {true, 1 << 16, true},  // a day later: kept
      {true, static_cast<std::int32_t>(k2044 - kDosTime), true},
      {true, 0, false},           // same time: replaced
      {true, -(1 << 16), false},  // earlier: replaced
      {false, 1 << 16, false}};   // keepNewer off: replaced
  for (const Case& c : cases) {
    const std::string path = dir_ + "/file.txt";
    const std::uint32_t existing =
        kDosTime + static_cast<std::uint32_t>(c.existing_offset);
    std::uint32_t written = 0;
    const std::unique_ptr<sfx::File> old = platform_.CreateWrite(path);
    ASSERT_TRUE(old->Write("old", 3, &written) &&
                old->SetLastWriteDosTime(existing));
    EntrySpec plan;
    plan.blocks = {Text(5)};
    sfx_test::MemoryFile package(Entry(plan));
    EXPECT_TRUE(ExtractPackedFile(package, dir_, c.keep_newer));
    ExpectAtNextEntry(package);
    EXPECT_EQ(LastExtractedPath, dir_ + "\\file.txt");
    std::uint32_t dos = 0;
    ASSERT_TRUE(platform_.GetLastWriteDosTime(path, &dos));
    if (c.kept) {
      EXPECT_EQ(sfx_test::ReadBytes(path),
                std::vector<std::uint8_t>({'o', 'l', 'd'}));
      EXPECT_EQ(dos, existing);
    } else {
      EXPECT_EQ(sfx_test::ReadBytes(path), Text(5));
      EXPECT_EQ(dos, kDosTime);
    }
  }
}

TEST_F(ExtractTest, UncreatableAndHostileNamesArePassedOver) {
  const std::string outside = ::testing::TempDir() + "evil.txt";
  std::remove(outside.c_str());
  const std::string names[] = {
      "locked.txt",   "..",           ".",          "",
      "sub/evil.txt", "..\\evil.txt", "C:evil.txt", std::string("a\0b", 3)};
  for (const std::string& name : names) {
    platform_.messages.clear();
    platform_.refuse_create = {dir_ + "\\locked.txt",
                               dir_ + "\\locked.txt.sfxnew"};
    EntrySpec plan;
    plan.name = name;
    plan.blocks = {Text(100), Text(200)};
    sfx_test::MemoryFile package(Entry(plan));
    EXPECT_FALSE(ExtractPackedFile(package, dir_, false)) << name;
    ExpectAtNextEntry(package);
    ASSERT_EQ(platform_.messages.size(), 1u) << name;
    // A name is refused with the rule it breaks, before anything is made.
    EXPECT_EQ(platform_.messages[0].text,
              "Cannot create " + dir_ + "\\" + name + " file.\r" +
                  (name == "locked.txt"
                       ? "Probably file is opened.\rClose file and try again."
                       : "The name " +
                             std::string(DescribeNameProblem(
                                 CheckNameComponent(name))) +
                             "."));
    EXPECT_EQ(platform_.messages[0].owner, 0u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
  }
  EXPECT_FALSE(Exists(outside));
  EXPECT_FALSE(Exists(::testing::TempDir() + "evil.txt"));
}

// A file whose writes stop short after `limit` bytes.
class ShortWriteFile : public File {
 public:
  ShortWriteFile(std::unique_ptr<File> inner, std::uint32_t limit)
      : inner_(std::move(inner)), limit_(limit) {}
  bool Read(void* b, std::uint32_t n, std::uint32_t* g) override {
    return inner_->Read(b, n, g);
  }
  bool Write(const void* b, std::uint32_t n, std::uint32_t* w) override {
    const std::uint32_t take = std::min(n, limit_ - std::min(limit_, done_));
    const bool ok = inner_->Write(b, take, w);
    done_ += *w;
    return ok;
  }
  bool Seek(std::int64_t o, Origin r, std::int64_t* p) override {
    return inner_->Seek(o, r, p);
  }
  bool Size(std::int64_t* s) override { return inner_->Size(s); }
  bool SetLastWriteDosTime(std::uint32_t t) override {
    return inner_->SetLastWriteDosTime(t);
  }

 private:
  std::unique_ptr<File> inner_;
  std::uint32_t limit_;
  std::uint32_t done_ = 0;
};

TEST_F(ExtractTest, BlockFailuresRaiseAfterTheirMessage) {
  auto huge_stream = LzhEncodeBuffer(Text(10).data(), 10);
  huge_stream[0] = 0x40;  // claims 200000 + bytes
  huge_stream[1] = 0x0D;
  huge_stream[2] = 0x03;
  struct Case {
    const char* name;
    EntrySpec plan;
    std::uint32_t write_limit;  // 0: no limit
    std::string message;
  };
  auto spec_with = [](std::vector<std::vector<std::uint8_t>> blocks,
                      bool packed, std::vector<std::uint32_t> sizes = {}) {
    EntrySpec s;
    s.blocks = std::move(blocks);
    s.packed = packed;
    s.sizes = std::move(sizes);
    return s;
  };
  EntrySpec huge_count;
  huge_count.block_count = 0x10000000;
  EntrySpec wrong_size = spec_with({Text(10)}, false);
  wrong_size.file_size = 11;
  const std::string damaged = "Cannot unpack " + dir_ +
                              "\\file.txt file.\rThe installer file is "
                              "damaged.";
  const Case cases[] = {
      {"block size 0", spec_with({Text(10), {}}, false), 0,
       "Cannot read the data block."},
      {"block above 130000", spec_with({Text(10)}, false, {130001}), 0,
       "Cannot read the data block."},
      // The first block swallows the second, which then reads nothing.
      {"block past the end", spec_with({Text(10), Text(5)}, false, {15, 5}), 0,
       "Cannot read the data block."},
      {"stream claims too much", spec_with({huge_stream}, true), 0, damaged},
      {"size differs from the entry's", wrong_size, 0, damaged},
      {"block table past the end", huge_count, 0,
       "Cannot read the data block."},
      {"short write", spec_with({Text(100)}, false), 50,
       "Cannot write the data block."},
  };
  const std::string existing = dir_ + "/file.txt";
  // Over an older file (written beside it) and where there was none
  // (written in place).
  for (const bool was_there : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (was_there ? ", over a file" : ""));
      std::remove(existing.c_str());
      if (was_there) std::ofstream(existing) << "old";
      platform_.messages.clear();
      platform_.wrap_created = nullptr;
      if (c.write_limit) {
        const std::uint32_t limit = c.write_limit;
        platform_.wrap_created = [limit](std::unique_ptr<File> f) {
          return std::unique_ptr<File>(new ShortWriteFile(std::move(f), limit));
        };
      }
      auto bytes = Entry(c.plan);
      bytes.pop_back();  // no sentinel: a block past the end reads nothing
      sfx_test::MemoryFile package(bytes);
      bool unusable = false;
      EXPECT_FALSE(ExtractPackedFile(package, dir_, false, &unusable));
      EXPECT_TRUE(unusable);
      ASSERT_EQ(platform_.messages.size(), 1u);
      EXPECT_EQ(platform_.messages[0].text, c.message);
      // The file that was there keeps its bytes; nothing else is left.
      if (was_there) {
        EXPECT_EQ(sfx_test::ReadBytes(existing),
                  std::vector<std::uint8_t>({'o', 'l', 'd'}));
      } else {
        EXPECT_FALSE(Exists(existing));
      }
      EXPECT_FALSE(Exists(existing + ".sfxnew"));
    }
  }
}

TEST_F(ExtractTest, ShortFinalReadIsAccepted) {
  // The last block claims 20 bytes but the package ends after 10.
  EntrySpec plan;
  plan.blocks = {Text(10)};
  plan.sizes = {20};
  auto bytes = Entry(plan);
  bytes.pop_back();
  sfx_test::MemoryFile package(bytes);
  EXPECT_TRUE(ExtractPackedFile(package, dir_, false));
  EXPECT_EQ(sfx_test::ReadBytes(dir_ + "/file.txt"), Text(10));
}

TEST_F(ExtractTest, InvalidTimeStampLeavesTheSystemTime) {
  EntrySpec plan;
  plan.blocks = {Text(3)};
  plan.dos = 0xFFFFFFFFu;  // month 15, hour 31
  sfx_test::MemoryFile package(Entry(plan));
  EXPECT_TRUE(ExtractPackedFile(package, dir_, false));
  EXPECT_EQ(sfx_test::ReadBytes(dir_ + "/file.txt"), Text(3));
}

// The platform of a machine with two processors that starts at most
// `threads` threads.
class TwoProcessors : public sfx_test::TestPlatform {
 public:
  int ProcessorCount() override { return 2; }
  std::unique_ptr<Thread> StartThread(void (*body)(void*),
                                      void* context) override {
    if (threads == 0) {
      // Time for a started worker to read, were it allowed to.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return nullptr;
    }
    --threads;
    return sfx_test::TestPlatform::StartThread(body, context);
  }
  int threads = 0;
};

// Decode-ahead with a ring of one, two, three, four and eight blocks (one
// worker, then two) gives each entry's parts in order, passes over skipped
// entries (a damaged block there included) and stops after the entries it
// was asked for; so does the package read in place when the second worker
// cannot be started (the first must not have read by then).
TEST(DecodeAheadTest, GivesTheEntriesInOrderForAnyRing) {
  TwoProcessors platform;
  // The third entry is stored, in blocks of 20000 bytes.
  std::vector<std::vector<std::uint8_t>> files = {
      Text(65000), Text(7, 'x'), Text(30000, 'k'), Text(100, 'z')};
  files[0].insert(files[0].end(), files[2].begin(), files[2].end());
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < files.size(); ++i) {
    EntrySpec plan;
    plan.packed = i != 2;
    const std::size_t block = plan.packed ? 65000 : 20000;
    for (std::size_t at = 0; at < files[i].size(); at += block) {
      const std::size_t n = std::min(block, files[i].size() - at);
      const std::uint8_t* part = files[i].data() + at;
      plan.blocks.push_back(plan.packed
                                ? LzhEncodeBuffer(part, n)
                                : std::vector<std::uint8_t>(part, part + n));
    }
    if (i == 1) plan.blocks[0][2] = 0x10;  // claims 1 MiB
    auto entry = Entry(plan);
    entry.pop_back();  // the sentinel
    bytes.insert(bytes.end(), entry.begin(), entry.end());
  }
  struct Case {
    std::size_t ring;
    int threads;  // that can be started
  };
  for (const Case& c : {Case{1, 2}, Case{2, 2}, Case{3, 2}, Case{4, 2},
                        Case{8, 2}, Case{1, 1}, Case{2, 1}, Case{8, 1}}) {
    SCOPED_TRACE(std::to_string(c.ring) + " " + std::to_string(c.threads));
    platform.threads = c.threads;
    const std::size_t ring = c.ring;
    sfx_test::MemoryFile package(bytes);
    std::unique_ptr<EntrySource> source = OpenEntrySource(package, 4, ring);
    for (std::size_t i = 0; i < files.size(); ++i) {
      PackedFileEntry entry;
      ASSERT_TRUE(source->NextEntry(&entry));
      if (i == 1) {
        EXPECT_TRUE(source->SkipBlocks(entry));
        continue;
      }
      std::vector<std::uint8_t> got;
      for (const TPackedBlock& block : entry.blocks) {
        const std::uint8_t* data = nullptr;
        std::uint32_t length = 0;
        ASSERT_EQ(source->NextBlock(block, i != 2, &data, &length),
                  BlockRead::kOk);
        got.insert(got.end(), data, data + length);
      }
      EXPECT_EQ(got, files[i]);
    }
    PackedFileEntry more;
    EXPECT_FALSE(source->NextEntry(&more));
  }
}

}  // namespace
}  // namespace sfx
