// Code signing of a built installer. Signing (Authenticode) appends an
// attribute certificate table behind the trailer, pads the file to 8 bytes
// before it, and rewrites two fields of the program's PE optional header:
// CheckSum and the security data directory entry that locates the table.
// The packer builds every installer with both fields zero; the integrity
// check of a file that carries such a table reads those 12 header bytes as
// zero and ignores everything from the end of the trailer on, so a signed
// installer passes exactly when the unsigned one did (docs/package-format.md).
#ifndef SFX_PACKAGE_SIGNATURE_H_
#define SFX_PACKAGE_SIGNATURE_H_

#include <cstdint>

#include "base/vector.h"
#include "platform/platform.h"

namespace sfx {

// Where the signing fields of a PE file lie.
struct PeSigningFields {
  std::int64_t checksum_field = -1;  // offset of the 4-byte CheckSum
  std::int64_t security_entry = -1;  // offset of the 8-byte directory entry
  std::uint32_t table_offset = 0;    // the entry's file offset of the table
  std::uint32_t table_size = 0;      // and its length
};

// Reads the PE headers from the start of `file` (its position moves).
// False when the file is no PE image or its optional header has no
// security directory entry.
bool ReadPeSigningFields(File& file, PeSigningFields* fields);

// The same over a PE image in memory (the stub of the packer).
bool FindPeSigningFields(const Vector<std::uint8_t>& image,
                         PeSigningFields* fields);

// The certificate table's offset when `file` (of length `size`) carries one
// that runs to the end of the file, else -1. Such a file is a candidate for
// the signed-file rule; it is signed when its trailer ends at most 7 bytes
// before that offset (TrailerMeetsTable).
std::int64_t CandidateSignature(File& file, std::int64_t size,
                                PeSigningFields* fields);

// True when a trailer whose marker starts at `marker_offset` ends within
// the padding before a certificate table at `table_offset`.
bool TrailerMeetsTable(std::int64_t marker_offset, std::int64_t table_offset);

// Zeroes, in `block` (the bytes of the file from `start` on, `n` of them),
// whatever it holds of the two signing fields.
void ClearSigningFields(const PeSigningFields& fields, std::int64_t start,
                        std::uint8_t* block, std::uint32_t n);

// The length of the installer file as it was built: for a signed file the
// certificate table's offset, less the padding that signing added when
// `expected` (the built length) explains it; otherwise the file's length.
// -1 when the file cannot be measured.
std::int64_t LengthBeforeSigning(File& file, std::int64_t expected);

}  // namespace sfx

#endif  // SFX_PACKAGE_SIGNATURE_H_
