// The integrity check: the block checksum, the file checksum with its
// table, and the bounded single-pass marker search.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/container.h"
#include "support/memory_file.h"
#include "support/package_image.h"

namespace sfx {
namespace {

using sfx_test::MemoryFile;

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

const std::string kMarker = std::string(kMarkerHalf) + kMarkerHalf;

using fake::Sealed;

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
    if (b == 'F') b = 'G';  // keeps the marker out
  }
  return bytes;
}

TEST(BlockChecksumTest, KnownValues) {
  const auto abc = Bytes("abc");
  EXPECT_EQ(BlockChecksum(abc.data(), 3), 0x0060024Eu);
  const std::uint8_t table[] = {0x4E, 0x02, 0x60, 0x00};
  EXPECT_EQ(BlockChecksum(table, 4), 0x002C0172u);
  const std::vector<std::uint8_t> ones(300, 1);
  EXPECT_EQ(BlockChecksum(ones.data(), 300), 0x0000835Eu);
  EXPECT_EQ(BlockChecksum(nullptr, 0), 0u);
  // The 256th byte weighs nothing; the 257th weighs 1 again.
  std::vector<std::uint8_t> bytes(257, 0);
  bytes[255] = 7;
  EXPECT_EQ(BlockChecksum(bytes.data(), 257), 0x00070000u);
  bytes[256] = 2;
  EXPECT_EQ(BlockChecksum(bytes.data(), 257), 0x00050002u);
  // S wraps at 16 bits; the top byte stays 0.
  const std::vector<std::uint8_t> full(65535, 0xFF);
  EXPECT_EQ(BlockChecksum(full.data(), 65535) >> 24, 0u);
}

TEST(ComputePackageChecksumTest, ExamplesAndBlockCut) {
  MemoryFile abc(Bytes("abc"));
  std::uint32_t checksum = 0;
  ASSERT_TRUE(ComputePackageChecksum(abc, 3, &checksum));
  EXPECT_EQ(checksum, 0x002C0172u);
  ASSERT_TRUE(ComputePackageChecksum(abc, 0, &checksum));
  EXPECT_EQ(checksum, 0u);                                  // one empty block
  EXPECT_FALSE(ComputePackageChecksum(abc, 4, &checksum));  // short file

  // Two blocks: 65000 bytes and the rest, weights restarting at 1.
  const auto data = Pattern(65003);
  MemoryFile file(data);
  ASSERT_TRUE(ComputePackageChecksum(file, 65003, &checksum));
  PackageChecksum sum;
  ASSERT_TRUE(sum.AddBlock(data.data(), 65000));
  ASSERT_TRUE(sum.AddBlock(data.data() + 65000, 3));
  EXPECT_EQ(checksum, sum.Total());
  EXPECT_FALSE(
      ComputePackageChecksum(file, kMaxChecksummedSize + 1, &checksum));
}

TEST(PackageChecksumTest, TableHoldsAtMost16001Blocks) {
  PackageChecksum sum;
  const std::uint8_t byte = 1;
  for (std::uint32_t i = 0; i < kMaxChecksumBlocks; ++i) {
    ASSERT_TRUE(sum.AddBlock(&byte, 1));
  }
  EXPECT_FALSE(sum.AddBlock(&byte, 1));
  EXPECT_EQ(sum.BlockCount(), kMaxChecksumBlocks);
}

TEST(CheckPackageFileTest, SealedFilesPassAtEveryMarkerPosition) {
  // Marker positions around the block seams, where it straddles reads.
  const std::size_t positions[] = {0,     1,      3,      64983,  64984,
                                   64985, 64990,  64999,  65000,  65001,
                                   65016, 130000, 129990, 130001, 200000};
  for (std::size_t at : positions) {
    const auto sealed = Sealed(Pattern(at));
    MemoryFile file(sealed);
    const PackageCheckResult result = CheckPackageFile(file, false);
    EXPECT_EQ(result.status, PackageCheck::kOk) << "marker at " << at;
    EXPECT_EQ(result.marker_offset, static_cast<std::int64_t>(at));
  }
}

TEST(CheckPackageFileTest, MarkerAtZeroHasStoredValueZero) {
  auto bytes = Bytes(kMarker);
  bytes.resize(bytes.size() + 4);  // stored value 0
  MemoryFile file(bytes);
  EXPECT_EQ(CheckPackageFile(file, false).status, PackageCheck::kOk);
}

TEST(CheckPackageFileTest, FirstOccurrenceCountsEvenAcrossReads) {
  for (std::size_t first : {std::size_t{100}, std::size_t{64990}}) {
    auto bytes = Sealed(Pattern(first));
    // A second marker later on changes nothing.
    bytes.insert(bytes.end(), 70000, 'x');
    bytes.insert(bytes.end(), kMarker.begin(), kMarker.end());
    MemoryFile file(bytes);
    const PackageCheckResult result = CheckPackageFile(file, false);
    EXPECT_EQ(result.status, PackageCheck::kOk);
    EXPECT_EQ(result.marker_offset, static_cast<std::int64_t>(first));
  }
}

TEST(CheckPackageFileTest, Failures) {
  const auto good = Sealed(Pattern(70000));
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool skip;
    PackageCheck expected;
  };
  auto flipped = good;
  flipped[12345] ^= 0x01;
  auto flipped_weight0 = good;
  flipped_weight0[255] ^= 0x80;  // a byte whose weight is 0
  auto appended = good;
  appended.insert(appended.end(), 5000, 0xAB);
  auto no_marker = Pattern(1000);
  auto half_marker = Pattern(1000);
  half_marker.insert(half_marker.end(), kMarker.begin(), kMarker.begin() + 15);
  auto truncated = good;
  truncated.resize(truncated.size() - 2);
  const Case cases[] = {
      {"intact", good, false, PackageCheck::kOk},
      {"flipped byte", flipped, false, PackageCheck::kChecksumMismatch},
      {"flipped byte of weight 0", flipped_weight0, false,
       PackageCheck::kChecksumMismatch},
      {"flipped byte, skipped", flipped, true, PackageCheck::kOk},
      {"bytes appended", appended, false, PackageCheck::kOk},
      {"no marker", no_marker, false, PackageCheck::kNoMarker},
      {"no marker, skipped", no_marker, true, PackageCheck::kNoMarker},
      {"15 marker bytes at the end", half_marker, false,
       PackageCheck::kNoMarker},
      {"stored checksum cut", truncated, false,
       PackageCheck::kNoStoredChecksum},
      {"empty file", {}, false, PackageCheck::kNoMarker},
  };
  for (const Case& c : cases) {
    MemoryFile file(c.bytes);
    EXPECT_EQ(CheckPackageFile(file, c.skip).status, c.expected) << c.name;
  }
}

TEST(CheckPackageFileTest, ReadFailureIsReported) {
  MemoryFile file(Sealed(Pattern(100000)));
  file.FailReadsFrom(65000);
  EXPECT_EQ(CheckPackageFile(file, false).status, PackageCheck::kReadFailed);
}

// A file of zeros that is only as large as it says, without the memory.
class ZeroFile : public File {
 public:
  ZeroFile(std::int64_t size, std::int64_t marker_at)
      : size_(size), marker_at_(marker_at) {}
  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
    const std::int64_t left = size_ - position_;
    *got = static_cast<std::uint32_t>(
        std::min<std::int64_t>(n, std::max<std::int64_t>(left, 0)));
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::memset(out, 0, *got);
    for (std::int64_t i = 0; i < 16; ++i) {
      const std::int64_t at = marker_at_ + i - position_;
      if (at >= 0 && at < *got)
        out[at] =
            static_cast<std::uint8_t>(kMarker[static_cast<std::size_t>(i)]);
    }
    position_ += *got;
    return true;
  }
  bool Write(const void*, std::uint32_t, std::uint32_t*) override {
    return false;
  }
  bool Seek(std::int64_t offset, Origin origin,
            std::int64_t* position) override {
    position_ = (origin == Origin::kBegin     ? 0
                 : origin == Origin::kCurrent ? position_
                                              : size_) +
                offset;
    if (position) *position = position_;
    return true;
  }
  bool Size(std::int64_t* size) override {
    *size = size_;
    return true;
  }
  bool SetLastWriteDosTime(std::uint32_t) override { return false; }

 private:
  std::int64_t size_;
  std::int64_t marker_at_;
  std::int64_t position_ = 0;
};

TEST(CheckPackageFileTest, MarkerBeyondTheTableFailsInsteadOfOverrunning) {
  const std::int64_t beyond = kMaxChecksummedSize + 65000;
  ZeroFile file(beyond + 20, beyond);
  EXPECT_EQ(CheckPackageFile(file, false).status, PackageCheck::kTooLarge);
}

}  // namespace
}  // namespace sfx
