// The integrity check of signed installers: a certificate table behind the
// trailer and the two rewritten header fields pass, every other change
// still fails; the packer's stub preparation and the built length.
#include "package/signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/container.h"
#include "package/package_writer.h"
#include "platform/file_io.h"
#include "support/memory_file.h"
#include "support/package_image.h"

namespace sfx {
namespace {

using sfx_test::MemoryFile;

constexpr std::size_t kPe = 0x40;            // e_lfanew
constexpr std::size_t kOptional = kPe + 24;  // optional header
constexpr std::size_t kChecksumAt = kOptional + 64;
constexpr std::size_t kSecurityAt = kOptional + 96 + 4 * 8;

void Put32(std::vector<std::uint8_t>* bytes, std::size_t at,
           std::uint32_t value) {
  StoreUint32(&bytes->at(at + 3) - 3, value);  // bounds-checked
}

// A PE32 header with 16 data directories, followed by payload bytes.
std::vector<std::uint8_t> PeImage(std::size_t payload) {
  std::vector<std::uint8_t> image(kOptional + 224 + payload, 0x11);
  std::fill(image.begin(), image.begin() + kOptional + 224, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(&image, 0x3C, kPe);
  image[kPe] = 'P';
  image[kPe + 1] = 'E';
  image[kPe + 20] = 224;  // SizeOfOptionalHeader
  image[kOptional] = 0x0B;
  image[kOptional + 1] = 0x01;
  Put32(&image, kOptional + 92, 16);
  return image;
}

using fake::Sealed;

// What signing does: a new CheckSum, padding to 8 bytes, a table at the
// end, and the security entry pointing at it. `gap` extra bytes before
// the padding model a table that does not follow the trailer.
std::vector<std::uint8_t> Signed(std::vector<std::uint8_t> file,
                                 std::size_t gap = 0) {
  file.resize(file.size() + gap, 0x55);
  while (file.size() % 8 != 0) file.push_back(0);
  const std::uint32_t table = static_cast<std::uint32_t>(file.size());
  file.resize(file.size() + 40, 0x30);
  Put32(&file, kChecksumAt, 0x00ABCDEF);
  Put32(&file, kSecurityAt, table);
  Put32(&file, kSecurityAt + 4, 40);
  return file;
}

TEST(SignatureTest, CheckAcceptsOnlyTheChangesOfSigning) {
  // 3 payload bytes make the sealed file end off the 8-byte grid.
  const std::vector<std::uint8_t> built = Sealed(PeImage(70003));
  ASSERT_NE(built.size() % 8, 0u);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    PackageCheck status;
    bool is_signed;
  };
  std::vector<std::uint8_t> payload_changed = Signed(built);
  payload_changed[kOptional + 224 + 66000] ^= 1;  // in the second block
  std::vector<std::uint8_t> header_changed = Signed(built);
  header_changed[kChecksumAt - 4] ^= 1;  // next to CheckSum
  std::vector<std::uint8_t> checksum_only = built;
  Put32(&checksum_only, kChecksumAt, 0x1234);
  std::vector<std::uint8_t> table_inside = Signed(built);
  Put32(&table_inside, kSecurityAt, 0x100);  // points into the stub
  const Case cases[] = {
      {"unsigned", built, PackageCheck::kOk, false},
      {"signed", Signed(built), PackageCheck::kOk, true},
      {"signed, payload changed", payload_changed,
       PackageCheck::kChecksumMismatch, true},
      {"signed, other header byte changed", header_changed,
       PackageCheck::kChecksumMismatch, true},
      {"CheckSum changed without a table", checksum_only,
       PackageCheck::kChecksumMismatch, false},
      {"table not behind the trailer", Signed(built, 16),
       PackageCheck::kChecksumMismatch, false},
      {"table not at the end", table_inside, PackageCheck::kChecksumMismatch,
       false},
  };
  for (const Case& c : cases) {
    MemoryFile file(c.bytes);
    const PackageCheckResult result = CheckPackageFile(file, false);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.signature_offset >= 0, c.is_signed) << c.name;
    EXPECT_EQ(result.marker_offset,
              static_cast<std::int64_t>(built.size()) - 20)
        << c.name;
  }
}

TEST(SignatureTest, LengthBeforeSigningIsTheBuiltLength) {
  const std::vector<std::uint8_t> built = Sealed(PeImage(1001));
  const std::int64_t length = static_cast<std::int64_t>(built.size());
  MemoryFile plain(built);
  EXPECT_EQ(LengthBeforeSigning(plain, length), length);
  MemoryFile signed_file(Signed(built));
  EXPECT_EQ(LengthBeforeSigning(signed_file, length), length);
  // A file cut short before signing shows its own (padded) length.
  std::vector<std::uint8_t> shorter(built.begin(), built.end() - 9);
  MemoryFile cut(Signed(shorter));
  EXPECT_EQ(LengthBeforeSigning(cut, length),
            static_cast<std::int64_t>((shorter.size() + 7) / 8 * 8));
}

TEST(SignatureTest, PackerClearsTheSigningFieldsOfItsStub) {
  std::vector<std::uint8_t> stub = PeImage(10);
  Put32(&stub, kChecksumAt, 0x4242);
  const std::vector<std::uint8_t> prepared = PrepareStubForSigning(stub);
  EXPECT_EQ(LoadUint32(&prepared[kChecksumAt]), 0u);
  stub[kChecksumAt] = prepared[kChecksumAt];
  stub[kChecksumAt + 1] = prepared[kChecksumAt + 1];
  EXPECT_EQ(prepared, stub);  // nothing else changes
  Put32(&stub, kSecurityAt, 0x200);
  Put32(&stub, kSecurityAt + 4, 8);
  EXPECT_THROW(PrepareStubForSigning(stub), PackageWriteError);
  // Anything that is no PE program passes unchanged.
  const std::vector<std::uint8_t> raw(100, 7);
  EXPECT_EQ(PrepareStubForSigning(raw), raw);
}

}  // namespace
}  // namespace sfx
