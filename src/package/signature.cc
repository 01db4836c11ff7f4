// Finds the fields that code signing rewrites in the installer's PE headers
// and the certificate table it appends. Only the first 4096 bytes are
// looked at: the headers of every program this packer builds lie there.
#include "package/signature.h"

#include <cstring>

#include "base/bytes.h"
#include "platform/file_io.h"

namespace sfx {
namespace {

constexpr std::uint32_t kHeaderWindow = 4096;
constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
// Signing pads the file to a multiple of 8 bytes before the table.
constexpr std::int64_t kTableAlignment = 8;

// Parses the headers in the first `n` bytes of a file.
bool ParseHeaders(const std::uint8_t* bytes, std::uint32_t n,
                  PeSigningFields* fields) {
  if (n < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  const std::uint32_t pe = LoadUint32(bytes + 0x3C);
  // Signature, file header (20 bytes), optional header.
  if (pe > n || n - pe < 24 || std::memcmp(bytes + pe, "PE\0\0", 4) != 0) {
    return false;
  }
  const std::uint32_t optional_size = LoadUint16(bytes + pe + 20);
  const std::uint32_t optional = pe + 24;
  if (optional_size > n - optional || optional_size < 2) return false;
  const std::uint32_t magic = LoadUint16(bytes + optional);
  std::uint32_t count_at = 0;
  if (magic == kPe32Magic) {
    count_at = 92;
  } else if (magic == kPe32PlusMagic) {
    count_at = 108;
  } else {
    return false;
  }
  const std::uint32_t entry_at = count_at + 4 + 8 * kSecurityDirectory;
  if (optional_size < entry_at + 8 ||
      LoadUint32(bytes + optional + count_at) <= kSecurityDirectory) {
    return false;
  }
  fields->checksum_field = optional + 64;
  fields->security_entry = optional + entry_at;
  fields->table_offset = LoadUint32(bytes + optional + entry_at);
  fields->table_size = LoadUint32(bytes + optional + entry_at + 4);
  return true;
}

void ClearRange(std::int64_t field, std::int64_t length, std::int64_t start,
                std::uint8_t* block, std::uint32_t n) {
  const std::int64_t end = start + n;
  const std::int64_t from = field > start ? field : start;
  const std::int64_t to = field + length < end ? field + length : end;
  if (from < to) {
    std::memset(block + (from - start), 0, static_cast<std::size_t>(to - from));
  }
}

}  // namespace

bool ReadPeSigningFields(File& file, PeSigningFields* fields) {
  Vector<std::uint8_t> head(kHeaderWindow);
  std::uint32_t got = 0;
  if (!file.Seek(0, File::Origin::kBegin) ||
      !ReadFull(file, head.data(), kHeaderWindow, &got)) {
    return false;
  }
  return ParseHeaders(head.data(), got, fields);
}

bool FindPeSigningFields(const Vector<std::uint8_t>& image,
                         PeSigningFields* fields) {
  const std::uint32_t n = image.size() < kHeaderWindow
                              ? static_cast<std::uint32_t>(image.size())
                              : kHeaderWindow;
  return ParseHeaders(image.data(), n, fields);
}

std::int64_t CandidateSignature(File& file, std::int64_t size,
                                PeSigningFields* fields) {
  if (!ReadPeSigningFields(file, fields) || fields->table_offset == 0 ||
      fields->table_size == 0) {
    return -1;
  }
  const std::int64_t table = fields->table_offset;
  if (table >= size || size - table != fields->table_size) return -1;
  return table;
}

bool TrailerMeetsTable(std::int64_t marker_offset, std::int64_t table_offset) {
  const std::int64_t trailer_end = marker_offset + 16 + 4;
  return marker_offset >= 0 && trailer_end <= table_offset &&
         table_offset - trailer_end < kTableAlignment;
}

void ClearSigningFields(const PeSigningFields& fields, std::int64_t start,
                        std::uint8_t* block, std::uint32_t n) {
  ClearRange(fields.checksum_field, 4, start, block, n);
  ClearRange(fields.security_entry, 8, start, block, n);
}

std::int64_t LengthBeforeSigning(File& file, std::int64_t expected) {
  std::int64_t size = 0;
  if (!file.Size(&size)) return -1;
  PeSigningFields fields;
  const std::int64_t table = CandidateSignature(file, size, &fields);
  if (table < 0) return size;
  if (expected > 0 && expected <= table && table - expected < kTableAlignment) {
    return expected;
  }
  return table;
}

}  // namespace sfx
