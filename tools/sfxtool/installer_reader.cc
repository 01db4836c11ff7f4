// Reads an installer file through the same readers as the installer
// program, collecting what they find instead of showing it.
#include "installer_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "codec/lzh_decoder.h"
#include "package/signature.h"

namespace sfxtool {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
  return text;
}

// The offset of the first StubSizeBlock (length byte 22 and the tag) in
// [0, limit), read in bounded pieces; -1 when there is none.
std::int64_t FindSizeBlock(sfx::File& file, std::int64_t limit) {
  std::string pattern(1, static_cast<char>(sfx::kStubSizeBlockSize - 1));
  pattern += sfx::kStubSizeTag;
  std::vector<char> buffer(1 << 16);
  std::string window;  // the end of the previous piece, then this piece
  std::int64_t window_start = 0;
  if (!file.Seek(0, sfx::File::Origin::kBegin)) return -1;
  std::int64_t done = 0;
  while (done < limit) {
    const std::uint32_t want =
        static_cast<std::uint32_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(buffer.size()), limit - done));
    std::uint32_t got = 0;
    if (!file.Read(buffer.data(), want, &got) || got == 0) return -1;
    window.append(buffer.data(), got);
    done += got;
    const std::size_t at = window.find(pattern);
    if (at != std::string::npos)
      return window_start + static_cast<std::int64_t>(at);
    const std::size_t keep = pattern.size() - 1;
    if (window.size() > keep) {
      window_start += static_cast<std::int64_t>(window.size() - keep);
      window.erase(0, window.size() - keep);
    }
  }
  return -1;
}

}  // namespace

std::string CheckProblem(const InstallerInfo& info) {
  const sfx::PackageCheckResult& c = info.check;
  std::string text;
  switch (c.status) {
    case sfx::PackageCheck::kOk:
      text = info.accepted ? "" : "the check fails";
      break;
    case sfx::PackageCheck::kReadFailed:
      text = "the file cannot be read";
      break;
    case sfx::PackageCheck::kNoMarker:
      text = "no trailer marker (\"File CRC\" twice) in the file";
      break;
    case sfx::PackageCheck::kTooLarge:
      text = "the marker lies beyond the " +
             std::to_string(sfx::kMaxChecksummedSize) +
             " bytes that the checksum covers";
      break;
    case sfx::PackageCheck::kNoStoredChecksum:
      text = "the file ends inside the stored checksum";
      break;
    case sfx::PackageCheck::kChecksumMismatch:
      text = "checksum mismatch: stored " + Hex(c.stored_checksum) +
             ", computed " + Hex(c.computed_checksum);
      break;
  }
  if (info.has_size_block) {
    text += "; the file is " + std::to_string(info.file_size) +
            " bytes, StubSizeBlock expects " +
            std::to_string(info.size_block.expected_size1);
    if (info.size_block.expected_size2 != info.size_block.expected_size1) {
      text += " and " + std::to_string(info.size_block.expected_size2);
    }
  } else {
    text += "; no StubSizeBlock found";
  }
  return text;
}

bool InspectInstaller(sfx::File& file, InstallerInfo* info,
                      std::string* problem) {
  if (!file.Size(&info->file_size)) {
    *problem = "the file cannot be read";
    return false;
  }
  info->check = sfx::CheckPackageFile(file, false);
  std::int64_t marker = info->check.marker_offset;
  if (info->check.status == sfx::PackageCheck::kTooLarge) {
    marker = sfx::CheckPackageFile(file, true).marker_offset;
  }
  // The size block lies in the program image, before the header offset.
  std::int64_t limit = marker >= 0 ? marker : info->file_size;
  sfx::PackageLayout layout;
  if (marker >= 0 && sfx::ReadPackageLayout(file, marker, &layout, nullptr) ==
                         sfx::PackageWalk::kOk) {
    limit = layout.header_offset;
  }
  info->size_block_offset = FindSizeBlock(file, limit);
  if (info->size_block_offset >= 0) {
    std::uint8_t block[sfx::kStubSizeBlockSize];
    std::uint32_t got = 0;
    if (file.Seek(info->size_block_offset, sfx::File::Origin::kBegin) &&
        file.Read(block, sizeof block, &got) && got == sizeof block) {
      info->has_size_block = true;
      info->size_block = sfx::ParseStubSizeBlock(block);
    }
  }
  // A signed file is measured as it was built (package/signature.h).
  if (info->check.signature_offset >= 0 && info->has_size_block) {
    info->file_size =
        sfx::LengthBeforeSigning(file, info->size_block.expected_size1);
  }
  const bool skip = info->has_size_block && info->size_block.skip_checksum != 0;
  info->accepted = skip ? marker >= 0 && marker <= INT32_MAX
                        : info->check.status == sfx::PackageCheck::kOk;
  if (!info->accepted) {
    *problem = CheckProblem(*info);
    return false;
  }
  if (info->check.status != sfx::PackageCheck::kOk) {
    info->warnings.push_back(CheckProblem(*info) +
                             " (accepted: SkipChecksum is set)");
  }
  if (info->has_size_block &&
      info->size_block.expected_size1 != info->file_size) {
    info->warnings.push_back("the file is " + std::to_string(info->file_size) +
                             " bytes, StubSizeBlock expects " +
                             std::to_string(info->size_block.expected_size1) +
                             " (bytes appended after the checksum?)");
  }

  std::vector<std::uint8_t> decoded;
  std::string reason;
  if (!sfx::LoadPackageHeader(file, marker, &info->layout, &decoded, &reason)) {
    *problem = "header: " + reason;
    return false;
  }
  switch (sfx::ParseRecord(info->record, decoded.data(), decoded.size())) {
    case sfx::ReadResult::kOk:
      break;
    case sfx::ReadResult::kUnknownSignature:
      *problem = "header: unknown signature";
      return false;
    case sfx::ReadResult::kCorrupted:
      *problem = "header: the stream ends early or a count cannot fit";
      return false;
  }
  if (info->record.Files.size() !=
      static_cast<std::size_t>(info->layout.file_count)) {
    *problem = "the header lists " + std::to_string(info->record.Files.size()) +
               " files but the package holds " +
               std::to_string(info->layout.file_count);
    return false;
  }

  std::int64_t position = info->layout.first_entry;
  for (std::int32_t i = 0; i < info->layout.file_count; ++i) {
    sfx::PackedFileEntry entry;
    if (!file.Seek(position, sfx::File::Origin::kBegin) ||
        !sfx::ReadPackedFileEntry(file, &entry)) {
      *problem = "entry " + std::to_string(i) + " at offset " +
                 std::to_string(position) + " is unreadable";
      return false;
    }
    std::int64_t next = position + 1 +
                        static_cast<std::int64_t>(entry.name.size()) +
                        static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) +
                        8 * static_cast<std::int64_t>(entry.blocks.size());
    for (const sfx::TPackedBlock& block : entry.blocks) next += block.BlockSize;
    if (next > info->layout.entries_end) {
      *problem = "entry " + std::to_string(i) + " (" + entry.name +
                 ") runs into the trailer";
      return false;
    }
    info->entry_offsets.push_back(position);
    info->entries.push_back(std::move(entry));
    position = next;
  }
  if (position != info->layout.entries_end) {
    info->warnings.push_back(
        std::to_string(info->layout.entries_end - position) +
        " unused bytes between the last entry and the trailer");
  }
  return true;
}

bool CheckAllBlocks(sfx::File& file, const InstallerInfo& info,
                    std::string* problem) {
  std::vector<std::uint8_t> input(sfx::kMaxBlockBufferSize);
  std::vector<std::uint8_t> output(sfx::kMaxBlockBufferSize);
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    const sfx::PackedFileEntry& entry = info.entries[i];
    if (!sfx::IsSafeEntryName(entry.name)) {
      // The installer refuses to create such a file.
      *problem = "entry " + std::to_string(i) + ": \"" + entry.name +
                 "\" is not a plain file name";
      return false;
    }
    std::int64_t position =
        info.entry_offsets[i] + 1 +
        static_cast<std::int64_t>(entry.name.size()) +
        static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) +
        8 * static_cast<std::int64_t>(entry.blocks.size());
    std::uint64_t total = 0;
    for (std::size_t b = 0; b < entry.blocks.size(); ++b) {
      const sfx::TPackedBlock& block = entry.blocks[b];
      const std::string where = "entry " + std::to_string(i) + " (" +
                                entry.name + "), block " + std::to_string(b) +
                                " at offset " + std::to_string(position);
      const std::uint8_t* data = nullptr;
      std::uint32_t length = 0;
      sfx::BlockRead read = sfx::BlockRead::kReadFailed;
      if (!file.Seek(position, sfx::File::Origin::kBegin)) {
        *problem = where + ": cannot be reached";
        return false;
      }
      read = sfx::ReadFileBlock(file, block.BlockSize, entry.header.Packed != 0,
                                input.data(), output.data(), &data, &length);
      if (read == sfx::BlockRead::kUndecodable) {
        *problem = where + ": cannot be decoded";
        return false;
      }
      if (read != sfx::BlockRead::kOk) {
        *problem = where + (read == sfx::BlockRead::kBadStream
                                ? ": the stream claims more than 130000 bytes"
                                : ": size " + std::to_string(block.BlockSize) +
                                      " cannot be read");
        return false;
      }
      const bool last = b + 1 == entry.blocks.size();
      if (!last && length != sfx::kFileBlockSize) {
        *problem = where + ": holds " + std::to_string(length) +
                   " bytes instead of 65000";
        return false;
      }
      total += length;
      position += block.BlockSize;
    }
    if (total != entry.header.FileSize) {
      *problem = "entry " + std::to_string(i) + " (" + entry.name +
                 "): the blocks hold " + std::to_string(total) +
                 " bytes, the entry header says " +
                 std::to_string(entry.header.FileSize);
      return false;
    }
  }
  return true;
}

}  // namespace sfxtool
