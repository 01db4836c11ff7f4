// Fuzz target: the walk through an installer file (marker search, layout,
// header, file entries and their blocks) never overruns a buffer, never
// allocates what the file could not hold, and ends on any input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/file_entry.h"
#include "codec/lzh_decoder.h"
#include "package/container.h"
#include "package/record.h"
#include "support/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  sfx_test::MemoryFile file(std::vector<std::uint8_t>(data, data + size));
  // The checksum is skipped: a fuzzer would rarely get it right, and what
  // lies behind it is what needs the exercise.
  const sfx::PackageCheckResult check = sfx::CheckPackageFile(file, true);
  sfx::CheckPackageFile(file, false);
  if (check.status != sfx::PackageCheck::kOk) return 0;

  sfx::PackageLayout layout;
  std::vector<std::uint8_t> header;
  std::string reason;
  // Headers that claim megabytes decode slowly from a few bytes of zero
  // bits; the unit tests cover them, the fuzzer keeps its pace.
  if (sfx::ReadPackageLayout(file, check.marker_offset, &layout, &reason) ==
          sfx::PackageWalk::kOk &&
      layout.header_size <= (1u << 20) &&
      sfx::LoadPackageHeader(file, check.marker_offset, &layout, &header,
                             &reason)) {
    sfx::TInstalRecord record;
    sfx::ParseRecord(record, header.data(), header.size());
  }
  if (sfx::ReadPackageLayout(file, check.marker_offset, &layout, &reason) !=
      sfx::PackageWalk::kOk) {
    return 0;
  }
  std::vector<std::uint8_t> input(sfx::kMaxBlockBufferSize);
  std::vector<std::uint8_t> output(sfx::kMaxBlockBufferSize);
  for (std::int32_t i = 0; i < layout.file_count; ++i) {
    sfx::PackedFileEntry entry;
    if (!sfx::ReadPackedFileEntry(file, &entry)) break;
    for (const sfx::TPackedBlock& block : entry.blocks) {
      const std::uint8_t* bytes = nullptr;
      std::uint32_t length = 0;
      if (sfx::ReadFileBlock(file, block.BlockSize, entry.header.Packed != 0,
                             input.data(), output.data(), &bytes,
                             &length) != sfx::BlockRead::kOk) {
        return 0;
      }
      if (length > sfx::kMaxBlockBufferSize) __builtin_trap();
    }
  }
  return 0;
}
