// One file entry of the package: its name, the 21-byte entry header, the
// block table and the blocks. ExtractPackedEntry writes the entry into a
// directory through the platform seam, block by block through two bounded
// buffers; the smaller readers here are shared with sfxtool.
#include "codec/file_entry.h"

#include <memory>

#include "base/vector.h"
#include "codec/lzh_decoder.h"
#include "paths/concat.h"
#include "paths/name_rules.h"
#include "platform/file_io.h"

namespace sfx {

String LastExtractedPath;
bool LastExtractedWasNew = false;

void EncodePackedFileHeader(const TPackedFileHeader& header,
                            std::uint8_t out[kPackedFileHeaderSize]) {
  StoreUint32(out, header.FileSize);
  StoreUint32(out + 4, header.Reserved1);
  StoreUint32(out + 8, header.BlockCount);
  StoreUint32(out + 12, header.Reserved2);
  StoreUint32(out + 16, header.DosDateTime);
  out[20] = header.Packed;
}

TPackedFileHeader DecodePackedFileHeader(
    const std::uint8_t bytes[kPackedFileHeaderSize]) {
  TPackedFileHeader header;
  header.FileSize = LoadUint32(bytes);
  header.Reserved1 = LoadUint32(bytes + 4);
  header.BlockCount = LoadUint32(bytes + 8);
  header.Reserved2 = LoadUint32(bytes + 12);
  header.DosDateTime = LoadUint32(bytes + 16);
  header.Packed = bytes[20];
  return header;
}

bool ReadPackedFileEntry(File& package, PackedFileEntry* entry) {
  std::uint8_t length = 0;
  if (!ReadExact(package, &length, 1)) return false;
  entry->name.assign(length, '\0');
  if (length > 0 && !ReadExact(package, &entry->name[0], length)) return false;
  std::uint8_t header[kPackedFileHeaderSize];
  if (!ReadExact(package, header, kPackedFileHeaderSize)) return false;
  entry->header = DecodePackedFileHeader(header);
  // The table is allocated only when the rest of the file can hold it.
  std::int64_t position = 0;
  std::int64_t size = 0;
  if (!package.Seek(0, File::Origin::kCurrent, &position) ||
      !package.Size(&size) || position > size ||
      entry->header.BlockCount >
          static_cast<std::uint64_t>(size - position) / 8) {
    return false;
  }
  Vector<std::uint8_t> table(std::size_t{entry->header.BlockCount} * 8);
  if (!table.empty() && !ReadExact(package, table.data(),
                                   static_cast<std::uint32_t>(table.size()))) {
    return false;
  }
  entry->blocks.resize(entry->header.BlockCount);
  for (std::size_t i = 0; i < entry->blocks.size(); ++i) {
    entry->blocks[i].BlockSize = LoadUint32(&table[8 * i]);
    entry->blocks[i].BlockOffset = LoadUint32(&table[8 * i + 4]);
  }
  return true;
}

BlockRead ReadFileBlock(File& package, std::uint32_t block_size, bool packed,
                        std::uint8_t* input, std::uint8_t* output,
                        const std::uint8_t** data, std::uint32_t* length) {
  if (block_size == 0 || block_size > kMaxBlockBufferSize) {
    return BlockRead::kReadFailed;
  }
  std::uint32_t got = 0;
  if (!package.Read(input, block_size, &got) || got == 0) {
    return BlockRead::kReadFailed;
  }
  if (!packed) {
    *data = input;
    *length = got;
    return BlockRead::kOk;
  }
  return DecodeFileBlock(input, got, output, data, length);
}

BlockRead DecodeFileBlock(const std::uint8_t* input, std::uint32_t got,
                          std::uint8_t* output, const std::uint8_t** data,
                          std::uint32_t* length) {
  if (got >= 4 && LoadInt32(input) > 0 &&
      LoadUint32(input) > kMaxBlockBufferSize) {
    return BlockRead::kBadStream;
  }
  std::int32_t produced = 0;
  if (!LzhDecodeBuffer(input, got, output, kMaxBlockBufferSize, &produced)
           .ok()) {
    return BlockRead::kUndecodable;
  }
  *data = output;
  *length = produced > 0 ? static_cast<std::uint32_t>(produced) : 0;
  return BlockRead::kOk;
}

namespace {

// The suffix of the temporary file that an entry is written to beside its
// target before it replaces it.
constexpr char kTemporarySuffix[] = ".sfxnew";

// The rule that the latest kBadName entry broke, for its message.
NameProblem g_name_problem = NameProblem::kNone;

// Reads, decodes and writes every block of `entry` into `target`; the
// written length must equal the entry's FileSize.
ExtractStatus CopyBlocks(EntrySource& source, const PackedFileEntry& entry,
                         File& target) {
  std::uint64_t total = 0;
  for (const TPackedBlock& block : entry.blocks) {
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    const BlockRead read =
        source.NextBlock(block, entry.header.Packed != 0, &data, &length);
    if (read == BlockRead::kBadStream || read == BlockRead::kUndecodable) {
      return ExtractStatus::kDamaged;
    }
    if (read != BlockRead::kOk) return ExtractStatus::kCannotRead;
    std::uint32_t written = 0;
    if (!target.Write(data, length, &written) || written < length) {
      return ExtractStatus::kCannotWrite;
    }
    total += length;
  }
  return total == entry.header.FileSize ? ExtractStatus::kDone
                                        : ExtractStatus::kDamaged;
}

}  // namespace

bool PackageEntrySource::NextEntry(PackedFileEntry* entry) {
  return ReadPackedFileEntry(package_, entry);
}

BlockRead PackageEntrySource::NextBlock(const TPackedBlock& block, bool packed,
                                        const std::uint8_t** data,
                                        std::uint32_t* length) {
  buffers_.resize(2 * kMaxBlockBufferSize);
  return ReadFileBlock(package_, block.BlockSize, packed, buffers_.data(),
                       buffers_.data() + kMaxBlockBufferSize, data, length);
}

bool PackageEntrySource::SkipBlocks(const PackedFileEntry& entry) {
  for (const TPackedBlock& block : entry.blocks) {
    if (!package_.Seek(block.BlockSize, File::Origin::kCurrent)) return false;
  }
  return true;
}

ExtractStatus ExtractPackedEntry(File& package, const String& directory,
                                 bool keep_newer) {
  PackageEntrySource source(package);
  return ExtractPackedEntry(source, directory, keep_newer);
}

ExtractStatus ExtractPackedEntry(EntrySource& source, const String& directory,
                                 bool keep_newer) {
  PackedFileEntry entry;
  LastExtractedWasNew = false;
  if (!source.NextEntry(&entry)) {
    LastExtractedPath = directory;
    return ExtractStatus::kCannotRead;
  }
  String dir = directory;
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  const String path = dir + entry.name;
  LastExtractedPath = path;

  ExtractStatus passed_over = ExtractStatus::kDone;
  if (dir.empty()) {
    // Skipped.
  } else if ((g_name_problem = CheckNameComponent(entry.name)) !=
             NameProblem::kNone) {
    // A name that is a path, a device or one Windows would change would
    // land elsewhere than the log says.
    passed_over = ExtractStatus::kBadName;
  } else {
    std::uint32_t existing = 0;
    // Unsigned: DOS dates of 2044 and later have the top bit set.
    const bool keep = keep_newer &&
                      Os().GetFileAttributes(path) != os::kInvalidAttributes &&
                      Os().GetLastWriteDosTime(path, &existing) &&
                      existing > entry.header.DosDateTime;
    if (!keep) {
      // A file that replaces another is written beside it and moved over it
      // only when it is complete, so that no failure leaves a partial file
      // or none in place of the old one. Where there is none yet, the file
      // is written in place and removed again on failure; not where newer
      // files are kept, since a partial file left by a run that was killed
      // would look newer to the next run.
      std::unique_ptr<File> target =
          keep_newer ? nullptr : Os().CreateNew(path);
      const bool in_place = target != nullptr;
      LastExtractedWasNew = in_place;  // read only after a success
      const String written_to = in_place ? path : path + kTemporarySuffix;
      if (!target) target = Os().CreateWrite(written_to);
      if (!target) {
        passed_over = ExtractStatus::kCannotCreate;
      } else {
        ExtractStatus status = CopyBlocks(source, entry, *target);
        if (status == ExtractStatus::kDone) {
          target->SetLastWriteDosTime(entry.header.DosDateTime);
        }
        target.reset();
        if (status == ExtractStatus::kDone && !in_place &&
            !Os().MoveFileReplace(written_to, path)) {
          status = ExtractStatus::kCannotCreate;  // the package is past it
        }
        if (status != ExtractStatus::kDone) Os().DeleteFile(written_to);
        return status;
      }
    }
  }
  if (!source.SkipBlocks(entry)) return ExtractStatus::kCannotRead;
  return passed_over;
}

String ExtractFailureMessage(ExtractStatus status, const String& path) {
  switch (status) {
    case ExtractStatus::kDone:
      return String();
    case ExtractStatus::kCannotRead:
      return "Cannot read the data block.";
    case ExtractStatus::kCannotWrite:
      return "Cannot write the data block.";
    case ExtractStatus::kDamaged:
      return Concat(
          {"Cannot unpack ", path, " file.\rThe installer file is damaged."});
    case ExtractStatus::kBadName:
      return Concat({"Cannot create ", path, " file.\rThe name ",
                     std::string_view(DescribeNameProblem(g_name_problem)),
                     "."});
    case ExtractStatus::kCannotCreate:
      break;
  }
  return Concat(
      {"Cannot create ", path,
       " file.\rProbably file is opened.\rClose file and try again."});
}

}  // namespace sfx
