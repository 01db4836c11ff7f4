// The integrity check of the installer file: the block checksum, the
// checksum of a whole file through its table of block checksums, and the
// single bounded-memory pass that finds the trailer marker and compares the
// stored checksum.
#include <cstring>

#include "base/byte_search.h"
#include "base/bytes.h"
#include "base/vector.h"
#include "package/container.h"
#include "package/signature.h"
#include "platform/file_io.h"

namespace sfx {

TrailerMarker::TrailerMarker() {
  std::memcpy(bytes, kMarkerHalf, kMarkerSize / 2);
  std::memcpy(bytes + kMarkerSize / 2, kMarkerHalf, kMarkerSize / 2);
}

std::uint32_t BlockChecksum(const std::uint8_t* bytes, std::uint32_t n) {
  std::uint32_t sum = 0;
  std::uint8_t x = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    // Weights count from 1 and wrap at 256: the 256th byte weighs 0.
    sum += static_cast<std::uint32_t>(bytes[i]) * ((i + 1) & 0xFF);
    x ^= bytes[i];
  }
  return (static_cast<std::uint32_t>(x) << 16) | (sum & 0xFFFF);
}

StubSizeValues ParseStubSizeBlock(const std::uint8_t* block) {
  StubSizeValues values;
  values.expected_size1 = LoadInt32(block + 14);
  values.expected_size2 = LoadInt32(block + 18);
  values.skip_checksum = block[22];
  return values;
}

bool PackageChecksum::AddBlock(const std::uint8_t* bytes, std::uint32_t n) {
  if (table_.size() >= std::size_t{kMaxChecksumBlocks} * 4) return false;
  ByteWriter(&table_).Uint32(BlockChecksum(bytes, n));
  return true;
}

std::uint32_t PackageChecksum::BlockCount() const {
  return static_cast<std::uint32_t>(table_.size() / 4);
}

std::uint32_t PackageChecksum::Total() const {
  return BlockChecksum(table_.data(),
                       static_cast<std::uint32_t>(table_.size()));
}

bool ComputePackageChecksum(File& file, std::int64_t length,
                            std::uint32_t* checksum) {
  if (length < 0 || length > kMaxChecksummedSize) return false;
  if (!file.Seek(0, File::Origin::kBegin)) return false;
  Vector<std::uint8_t> block(kChecksumBlockSize);
  PackageChecksum sum;
  std::int64_t remaining = length;
  do {
    const std::uint32_t n = remaining < kChecksumBlockSize
                                ? static_cast<std::uint32_t>(remaining)
                                : kChecksumBlockSize;
    std::uint32_t got = 0;
    if (!ReadFull(file, block.data(), n, &got) || got != n) return false;
    if (!sum.AddBlock(block.data(), n)) return false;
    remaining -= n;
  } while (remaining > 0);
  *checksum = sum.Total();
  return true;
}

namespace {

// The check's one pass. With `signing`, the bytes of the two signing fields
// count as zero.
PackageCheckResult CheckPass(File& file, bool skip_checksum,
                             const PeSigningFields* signing) {
  PackageCheckResult result;
  if (!file.Seek(0, File::Origin::kBegin)) return result;
  const TrailerMarker marker;
  StreamSearch search(marker.bytes, kMarkerSize);
  // Two block buffers: a marker that begins in the last bytes of one block
  // is seen only once the next block is in, and the checksum of the earlier
  // block must then stop at the marker.
  Vector<std::uint8_t> previous(kChecksumBlockSize);
  Vector<std::uint8_t> current(kChecksumBlockSize);
  std::uint32_t previous_size = 0;
  std::int64_t current_start = 0;  // file offset of current[0]
  PackageChecksum sum;
  std::int64_t found = -1;
  // Beyond this no marker could be covered by the table (nor, without the
  // checksum, by the 32-bit marker offset).
  const std::int64_t limit =
      skip_checksum ? std::int64_t{INT32_MAX} : kMaxChecksummedSize;

  for (;;) {
    std::uint32_t current_size = 0;
    if (!ReadFull(file, current.data(), kChecksumBlockSize, &current_size)) {
      return result;
    }
    if (signing) {
      ClearSigningFields(*signing, current_start, current.data(), current_size);
    }
    found = search.Feed(current.data(), current_size);
    // The previous block, up to a marker that begins in it.
    const bool in_previous = found >= 0 && found < current_start;
    if (previous_size > 0 && !skip_checksum &&
        !sum.AddBlock(previous.data(),
                      in_previous ? static_cast<std::uint32_t>(
                                        found - (current_start - previous_size))
                                  : previous_size)) {
      result.status = PackageCheck::kTooLarge;
      return result;
    }
    if (in_previous || current_size == 0) break;
    if (found >= 0) {
      const std::uint32_t at =
          static_cast<std::uint32_t>(found - current_start);
      // A marker at the very start of a later block leaves no empty block;
      // a marker at offset 0 of the file gives one.
      if (!skip_checksum && (at > 0 || current_start == 0) &&
          !sum.AddBlock(current.data(), at)) {
        result.status = PackageCheck::kTooLarge;
        return result;
      }
      break;
    }
    previous.swap(current);
    previous_size = current_size;
    current_start += current_size;
    // Past the limit reading on is pointless.
    if (current_start - static_cast<std::int64_t>(kMarkerSize) > limit) {
      result.status = PackageCheck::kTooLarge;
      return result;
    }
  }

  if (found < 0) {
    result.status = PackageCheck::kNoMarker;
    return result;
  }
  if (found > limit) {
    result.status = PackageCheck::kTooLarge;
    return result;
  }
  result.marker_offset = found;
  if (skip_checksum) {
    result.status = PackageCheck::kOk;
    return result;
  }
  result.computed_checksum = sum.Total();
  std::uint8_t stored[4];
  std::uint32_t got = 0;
  if (!file.Seek(found + static_cast<std::int64_t>(kMarkerSize),
                 File::Origin::kBegin) ||
      !ReadFull(file, stored, 4, &got)) {
    result.status = PackageCheck::kReadFailed;
    return result;
  }
  if (got < 4) {
    result.status = PackageCheck::kNoStoredChecksum;
    return result;
  }
  result.stored_checksum = LoadUint32(stored);
  result.status = result.computed_checksum == result.stored_checksum
                      ? PackageCheck::kOk
                      : PackageCheck::kChecksumMismatch;
  return result;
}

}  // namespace

PackageCheckResult CheckPackageFile(File& file, bool skip_checksum) {
  // A file with a certificate table at its end is checked as it was before
  // signing, provided that the table follows the trailer; any other file,
  // and one whose table lies elsewhere, byte for byte.
  std::int64_t size = 0;
  PeSigningFields signing;
  const std::int64_t table =
      file.Size(&size) ? CandidateSignature(file, size, &signing) : -1;
  if (table >= 0) {
    PackageCheckResult result = CheckPass(file, skip_checksum, &signing);
    if (TrailerMeetsTable(result.marker_offset, table)) {
      result.signature_offset = table;
      return result;
    }
  }
  return CheckPass(file, skip_checksum, nullptr);
}

}  // namespace sfx
