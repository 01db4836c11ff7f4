// The integrity check of the installer file: the block checksum, the
// checksum of a whole file through its table of block checksums, and the
// single bounded-memory pass that finds the trailer marker and compares the
// stored checksum.
#include <cstring>

#include "base/vector.h"
#include "package/container.h"
#include "package/signature.h"
#include "platform/file_io.h"

namespace sfx {
namespace {

// The 16-byte marker, formed from its two halves so that the program's own
// image never holds it.
struct Marker {
  std::uint8_t bytes[kMarkerSize];
  Marker() {
    std::memcpy(bytes, kMarkerHalf, kMarkerSize / 2);
    std::memcpy(bytes + kMarkerSize / 2, kMarkerHalf, kMarkerSize / 2);
  }
};

// The first position at or after `from` in `data` where the whole marker
// starts, or -1.
std::int64_t FindMarker(const Marker& marker, const std::uint8_t* data,
                        std::size_t size, std::size_t from = 0) {
  if (size < kMarkerSize) return -1;
  const std::size_t last = size - kMarkerSize;
  std::size_t i = from;
  while (i <= last) {
    const void* hit = std::memchr(data + i, marker.bytes[0], last - i + 1);
    if (!hit) return -1;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (std::memcmp(data + i, marker.bytes, kMarkerSize) == 0) {
      return static_cast<std::int64_t>(i);
    }
    ++i;
  }
  return -1;
}

}  // namespace

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
  const std::uint32_t value = BlockChecksum(bytes, n);
  for (int shift = 0; shift < 32; shift += 8) {
    table_.push_back(static_cast<std::uint8_t>(value >> shift));
  }
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
  const Marker marker;
  // Two block buffers: a marker that begins in the last bytes of one block
  // is seen only once the next block is in, and the checksum of the earlier
  // block must then stop at the marker.
  Vector<std::uint8_t> previous(kChecksumBlockSize);
  Vector<std::uint8_t> current(kChecksumBlockSize);
  std::uint32_t previous_size = 0;
  std::int64_t current_start = 0;  // file offset of current[0]
  PackageChecksum sum;
  std::int64_t found = -1;

  for (;;) {
    std::uint32_t current_size = 0;
    if (!ReadFull(file, current.data(), kChecksumBlockSize, &current_size)) {
      return result;
    }
    if (signing) {
      ClearSigningFields(*signing, current_start, current.data(), current_size);
    }
    // A marker across the boundary: the tail of the previous block
    // followed by the head of this one.
    if (previous_size > 0 && current_size > 0) {
      std::uint8_t seam[2 * (kMarkerSize - 1)];
      const std::uint32_t tail =
          previous_size < kMarkerSize - 1 ? previous_size : kMarkerSize - 1;
      const std::uint32_t head =
          current_size < kMarkerSize - 1 ? current_size : kMarkerSize - 1;
      std::memcpy(seam, previous.data() + previous_size - tail, tail);
      std::memcpy(seam + tail, current.data(), head);
      const std::int64_t at = FindMarker(marker, seam, tail + head);
      if (at >= 0 && at < tail) {
        const std::uint32_t in_previous =
            previous_size - tail + static_cast<std::uint32_t>(at);
        found = current_start - previous_size + in_previous;
        if (!skip_checksum && !sum.AddBlock(previous.data(), in_previous)) {
          result.status = PackageCheck::kTooLarge;
          return result;
        }
        break;
      }
    }
    if (previous_size > 0 && !skip_checksum &&
        !sum.AddBlock(previous.data(), previous_size)) {
      result.status = PackageCheck::kTooLarge;
      return result;
    }
    if (current_size == 0) break;
    const std::int64_t at = FindMarker(marker, current.data(), current_size);
    if (at >= 0) {
      found = current_start + at;
      // A marker at the very start of a later block leaves no empty block;
      // a marker at offset 0 of the file gives one.
      if (!skip_checksum && (at > 0 || current_start == 0) &&
          !sum.AddBlock(current.data(), static_cast<std::uint32_t>(at))) {
        result.status = PackageCheck::kTooLarge;
        return result;
      }
      break;
    }
    previous.swap(current);
    previous_size = current_size;
    current_start += current_size;
    // Past this point no marker could be covered by the table (nor by the
    // 32-bit marker offset), so reading on is pointless.
    if (current_start - static_cast<std::int64_t>(kMarkerSize) >
        (skip_checksum ? std::int64_t{INT32_MAX} : kMaxChecksummedSize)) {
      result.status = PackageCheck::kTooLarge;
      return result;
    }
  }

  if (found < 0) {
    result.status = PackageCheck::kNoMarker;
    return result;
  }
  if (found > (skip_checksum ? std::int64_t{INT32_MAX} : kMaxChecksummedSize)) {
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
