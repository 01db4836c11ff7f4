// One file entry of the package: its name, the 21-byte entry header, the
// block table and the blocks. ExtractPackedFile writes the entry into a
// directory through the platform seam, block by block through two bounded
// buffers; the smaller readers here are shared with sfxtool.
#include "codec/file_entry.h"

#include <memory>
#include <vector>

#include "codec/lzh_decoder.h"
#include "platform/exception.h"
#include "platform/file_io.h"

namespace sfx {

std::string LastExtractedPath;

namespace {

constexpr char kCr = '\r';

void ShowError(const std::string& text) {
  Os().MessageBox(0, text, "Error", os::kMbIconError);
}

[[noreturn]] void FailBlock(const char* text) {
  ShowError(text);
  throw EInOutError();
}

}  // namespace

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

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos;
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
  std::vector<std::uint8_t> table(std::size_t{entry->header.BlockCount} * 8);
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
  if (got >= 4 && LoadInt32(input) > 0 &&
      LoadUint32(input) > kMaxBlockBufferSize) {
    return BlockRead::kBadStream;
  }
  const std::int32_t produced =
      LzhDecodeBuffer(input, got, output, kMaxBlockBufferSize);
  *data = output;
  *length = produced > 0 ? static_cast<std::uint32_t>(produced) : 0;
  return BlockRead::kOk;
}

bool ExtractPackedFile(File& package, const std::string& directory,
                       bool keep_newer) {
  std::vector<std::uint8_t> input(kMaxBlockBufferSize);
  std::vector<std::uint8_t> output(kMaxBlockBufferSize);
  PackedFileEntry entry;
  if (!ReadPackedFileEntry(package, &entry)) {
    FailBlock("Cannot read the data block.");
  }

  std::string dir = directory;
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  const std::string path = dir + entry.name;
  bool result = true;
  std::unique_ptr<File> target;
  if (!dir.empty()) {
    bool write = true;
    // A name that is a path of its own would land outside the directory.
    bool creatable = IsSafeEntryName(entry.name);
    if (creatable && keep_newer &&
        Os().GetFileAttributes(path) != os::kInvalidAttributes) {
      std::uint32_t existing = 0;
      if (Os().GetLastWriteDosTime(path, &existing) &&
          static_cast<std::int32_t>(existing) >
              static_cast<std::int32_t>(entry.header.DosDateTime)) {
        write = false;
      }
    }
    if (creatable && write) {
      Os().DeleteFile(path);
      target = Os().CreateWrite(path);
      creatable = target != nullptr;
    }
    if (!creatable) {
      ShowError("Cannot create " + path + " file." + kCr +
                "Probably file is opened." + kCr + "Close file and try again.");
      result = false;
    }
  }
  LastExtractedPath = path;

  for (const TPackedBlock& block : entry.blocks) {
    if (!target) {
      if (!package.Seek(block.BlockSize, File::Origin::kCurrent)) {
        FailBlock("Cannot read the data block.");
      }
      continue;
    }
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    BlockRead read;
    try {
      read = ReadFileBlock(package, block.BlockSize, entry.header.Packed != 0,
                           input.data(), output.data(), &data, &length);
    } catch (const ElzhException&) {
      throw EInOutError();
    }
    if (read != BlockRead::kOk) FailBlock("Cannot read the data block.");
    std::uint32_t written = 0;
    if (!target->Write(data, length, &written) || written < length) {
      FailBlock("Cannot write the data block.");
    }
  }
  if (target) {
    target.reset();
    Os().SetLastWriteDosTime(path, entry.header.DosDateTime);
  }
  return result;
}

}  // namespace sfx
