// Assembles the installer file: the stub with its StubSizeBlock filled in,
// the compressed header block, the file count, one entry per file, the
// header offset, the marker and the checksum. Each file is read and
// written block by block; an entry's header and block table are written
// as placeholders first and filled in once its blocks are out.
#include "package/package_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "codec/file_entry.h"
#include "codec/lzh_encoder.h"
#include "package/container.h"
#include "package/record_writer.h"
#include "package/signature.h"
#include "paths/text.h"
#include "platform/file_io.h"
#include "platform/posix_file.h"

namespace sfx {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// The installer being written: a read-write file, so that placeholders
// can be filled in and the checksum pass can read back what was written.
class OutputFile : public PosixFile {
 public:
  explicit OutputFile(const std::string& path)
      : PosixFile(CreateOrRaise(path)), path_(path) {}

  // Writes all of `bytes` or raises.
  void Put(const void* bytes, std::size_t n) {
    const char* p = static_cast<const char*>(bytes);
    while (n > 0) {
      const ssize_t w = ::write(fd(), p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        throw PackageWriteError("cannot write " + path_ + ": " + ErrnoText());
      }
      p += w;
      n -= static_cast<std::size_t>(w);
    }
  }
  void PutUint32(std::uint32_t value) {
    std::uint8_t bytes[4];
    StoreUint32(bytes, value);
    Put(bytes, 4);
  }
  std::int64_t Position() {
    std::int64_t at = 0;
    if (!Seek(0, Origin::kCurrent, &at)) {
      throw PackageWriteError("cannot seek in " + path_);
    }
    return at;
  }
  void MoveTo(std::int64_t offset) {
    if (!Seek(offset, Origin::kBegin, nullptr)) {
      throw PackageWriteError("cannot seek in " + path_);
    }
  }
  void Truncate(std::int64_t size) {
    if (::ftruncate(fd(), size) != 0) {
      throw PackageWriteError("cannot write " + path_ + ": " + ErrnoText());
    }
  }

 private:
  static int CreateOrRaise(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      throw PackageWriteError("cannot create " + path + ": " + ErrnoText());
    }
    return fd;
  }

  std::string path_;
};

struct SourceCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using SourceFile = std::unique_ptr<std::FILE, SourceCloser>;

// Fills `buffer` with exactly `n` bytes of the source or raises: a source
// that shrinks while it is packed would give a wrong FileSize.
void ReadSource(std::FILE* f, const std::string& path, std::uint8_t* buffer,
                std::size_t n) {
  if (std::fread(buffer, 1, n, f) != n) {
    throw PackageWriteError("cannot read " + path +
                            (std::ferror(f)
                                 ? ": read error"
                                 : ": the file changed while it was packed"));
  }
}

// An offset that must fit the 32-bit fields of the format.
std::uint32_t Offset32(std::int64_t offset) {
  if (offset > INT32_MAX) {
    throw PackageWriteError("the installer would exceed 2 GiB");
  }
  return static_cast<std::uint32_t>(offset);
}

// Looks for the trailer marker in data that arrives in pieces, so that a
// marker straddling two pieces is found too.
class MarkerScanner {
 public:
  MarkerScanner() : marker_(std::string(kMarkerHalf) + kMarkerHalf) {}
  void Feed(const std::uint8_t* bytes, std::size_t n) {
    if (found_) return;
    window_.append(reinterpret_cast<const char*>(bytes), n);
    found_ = window_.find(marker_) != std::string::npos;
    if (window_.size() >= kMarkerSize) {
      window_.erase(0, window_.size() - (kMarkerSize - 1));
    }
  }
  bool found() const { return found_; }

 private:
  const std::string marker_;
  std::string window_;
  bool found_ = false;
};

// Writes the entry of one file at the output's position; returns the
// entry's bytes in the package and adds the file's size to `data_size`.
std::int64_t WriteEntry(OutputFile& out, const std::string& name,
                        const std::string& source,
                        std::optional<std::time_t> newest, LzhLevel level,
                        std::int64_t* data_size) {
  SourceFile file(std::fopen(source.c_str(), "rb"));
  struct stat st;
  if (!file || ::fstat(::fileno(file.get()), &st) != 0) {
    throw PackageWriteError("cannot open " + source + ": " + ErrnoText());
  }
  if (!S_ISREG(st.st_mode)) {
    throw PackageWriteError(source + " is not a regular file");
  }
  if (st.st_size > UINT32_MAX) {
    throw PackageWriteError(source + " is larger than 4 GiB");
  }
  const std::uint32_t size = static_cast<std::uint32_t>(st.st_size);
  const std::uint32_t count = (size + kFileBlockSize - 1) / kFileBlockSize;

  const std::int64_t entry_start = out.Position();
  const std::uint8_t name_length = static_cast<std::uint8_t>(name.size());
  out.Put(&name_length, 1);
  out.Put(name.data(), name.size());
  const std::int64_t header_at = out.Position();
  std::vector<std::uint8_t> placeholder(kPackedFileHeaderSize +
                                        8 * std::size_t{count});
  out.Put(placeholder.data(), placeholder.size());
  const std::int64_t blocks_start = out.Position();

  std::vector<TPackedBlock> table(count);
  std::vector<std::uint8_t> block(kFileBlockSize);
  std::uint64_t packed_total = 0;
  MarkerScanner raw_marker;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t n = std::min(kFileBlockSize, size - i * kFileBlockSize);
    ReadSource(file.get(), source, block.data(), n);
    raw_marker.Feed(block.data(), n);
    const std::vector<std::uint8_t> stream =
        LzhEncodeBuffer(block.data(), n, level);
    if (stream.size() > kMaxBlockBufferSize) {
      throw PackageWriteError(source + ": a block does not compress into " +
                              std::to_string(kMaxBlockBufferSize) + " bytes");
    }
    table[i].BlockOffset = Offset32(out.Position());
    table[i].BlockSize = static_cast<std::uint32_t>(stream.size());
    out.Put(stream.data(), stream.size());
    packed_total += stream.size();
  }
  // Stored is chosen for the whole entry when compression does not pay;
  // its blocks overwrite the compressed ones. A file that holds the trailer
  // marker stays compressed: stored, the installer's check would stop at
  // that copy of the marker.
  const bool packed =
      size > 0 && (packed_total < size || raw_marker.found());
  if (!packed && count > 0) {
    out.MoveTo(blocks_start);
    std::rewind(file.get());
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t n =
          std::min(kFileBlockSize, size - i * kFileBlockSize);
      ReadSource(file.get(), source, block.data(), n);
      table[i].BlockOffset = Offset32(out.Position());
      table[i].BlockSize = n;
      out.Put(block.data(), n);
    }
  }
  const std::int64_t entry_end = out.Position();

  TPackedFileHeader header;
  header.FileSize = size;
  header.BlockCount = count;
  header.DosDateTime = DosDateTimeOf(st.st_mtime, newest);
  header.Packed = packed ? 1 : 0;
  EncodePackedFileHeader(header, placeholder.data());
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* p =
        placeholder.data() + kPackedFileHeaderSize + 8 * std::size_t{i};
    for (int b = 0; b < 4; ++b) {
      p[b] = static_cast<std::uint8_t>(table[i].BlockSize >> (8 * b));
      p[4 + b] = static_cast<std::uint8_t>(table[i].BlockOffset >> (8 * b));
    }
  }
  out.MoveTo(header_at);
  out.Put(placeholder.data(), placeholder.size());
  out.MoveTo(entry_end);
  *data_size += size;
  return entry_end - entry_start;
}

}  // namespace

std::vector<std::uint8_t> PrepareStubForSigning(
    const std::vector<std::uint8_t>& stub) {
  std::vector<std::uint8_t> copy = stub;
  PeSigningFields fields;
  if (!FindPeSigningFields(copy, &fields)) return copy;
  if (fields.table_offset != 0 || fields.table_size != 0) {
    throw PackageWriteError(
        "the stub is signed; build with the unsigned installer program and "
        "sign the finished installer");
  }
  ClearSigningFields(fields, 0, copy.data(),
                     static_cast<std::uint32_t>(copy.size()));
  return copy;
}

std::size_t FindStubSizeBlock(const std::vector<std::uint8_t>& stub) {
  const std::size_t tag_size = sizeof(kStubSizeTag) - 1;
  std::vector<std::size_t> hits;
  for (auto it = stub.begin();;) {
    it = std::search(it, stub.end(), kStubSizeTag, kStubSizeTag + tag_size);
    if (it == stub.end()) break;
    hits.push_back(static_cast<std::size_t>(it - stub.begin()));
    ++it;
  }
  if (hits.size() != 1) {
    throw PackageWriteError(
        "the stub must hold the tag \"RealFileSize=\" exactly once; found " +
        std::to_string(hits.size()));
  }
  const std::size_t tag = hits[0];
  if (tag < 1 || stub[tag - 1] != kStubSizeBlockSize - 1 ||
      tag - 1 + kStubSizeBlockSize > stub.size()) {
    throw PackageWriteError(
        "the stub's size block around \"RealFileSize=\" is malformed");
  }
  std::string marker = std::string(kMarkerHalf) + kMarkerHalf;
  if (std::search(stub.begin(), stub.end(), marker.begin(), marker.end()) !=
      stub.end()) {
    throw PackageWriteError("the stub holds the trailer marker");
  }
  return tag - 1;
}

std::uint32_t DosDateTimeOf(std::time_t t, std::optional<std::time_t> newest) {
  if (newest && t > *newest) t = *newest;
  struct tm local;
  if (!localtime_r(&t, &local) || local.tm_year + 1900 < 1980) {
    return (0u << 9 | 1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00
  }
  if (local.tm_year + 1900 > 2107) {
    return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
  }
  const std::uint32_t date =
      static_cast<std::uint32_t>((local.tm_year + 1900 - 1980) << 9 |
                                 (local.tm_mon + 1) << 5 | local.tm_mday);
  const std::uint32_t time = static_cast<std::uint32_t>(
      local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

PackageSummary WritePackage(const PackagePlan& plan,
                            const std::string& output_path) {
  const TInstalRecord& record = plan.record;
  if (plan.sources.size() != record.Files.size()) {
    throw PackageWriteError("one source file is needed for each entry");
  }
  std::vector<std::string> names;
  for (const auto& file : record.Files) {
    names.push_back(LastPathComponent(file->FileName));
    if (!IsSafeEntryName(names.back()) || names.back().size() > kShortTextMax) {
      throw PackageWriteError("\"" + file->FileName +
                              "\" does not end in a usable file name");
    }
  }
  const std::size_t size_block = FindStubSizeBlock(plan.stub);
  const std::vector<std::uint8_t> stub = PrepareStubForSigning(plan.stub);
  std::vector<std::uint8_t> header;
  try {
    header = WriteRecord(record, plan.version);
  } catch (const RecordWriteError& e) {
    throw PackageWriteError(e.what());
  }
  if (header.size() > kMaxHeaderSize) {
    throw PackageWriteError("the header is larger than " +
                            std::to_string(kMaxHeaderSize) + " bytes");
  }
  const std::vector<std::uint8_t> packed_header =
      LzhEncodeBuffer(header.data(), header.size(), plan.level);

  PackageSummary summary;
  try {
    OutputFile out(output_path);
    out.Put(stub.data(), stub.size());
    summary.header_offset = static_cast<std::int64_t>(plan.stub.size());
    out.PutUint32(static_cast<std::uint32_t>(packed_header.size()));
    out.Put(packed_header.data(), packed_header.size());
    out.PutUint32(static_cast<std::uint32_t>(header.size()));
    out.PutUint32(static_cast<std::uint32_t>(record.Files.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
      summary.packed_size +=
          WriteEntry(out, names[i], plan.sources[i], plan.newest_time,
                     plan.level, &summary.data_size);
    }
    out.PutUint32(Offset32(summary.header_offset));
    summary.marker_offset = out.Position();
    Offset32(summary.marker_offset);
    if (!plan.skip_checksum && summary.marker_offset > kMaxChecksummedSize) {
      throw PackageWriteError(
          "the installer is too large for its integrity check (" +
          std::to_string(kMaxChecksummedSize) +
          " bytes at most before the trailer); build with --skip-checksum");
    }
    summary.installer_size =
        summary.marker_offset + static_cast<std::int64_t>(kMarkerSize) + 4;
    // The size block lies inside the checksummed range: fill it first.
    std::uint8_t values[9];
    const std::uint32_t total = Offset32(summary.installer_size);
    StoreUint32(values, total);
    StoreUint32(values + 4, total);
    values[8] = plan.skip_checksum ? 1 : 0;
    out.MoveTo(static_cast<std::int64_t>(size_block) + 14);
    out.Put(values, sizeof values);
    if (!ComputePackageChecksum(out, summary.marker_offset,
                                &summary.checksum)) {
      throw PackageWriteError("cannot read back " + output_path);
    }
    out.MoveTo(summary.marker_offset);
    out.Put(kMarkerHalf, kMarkerSize / 2);
    out.Put(kMarkerHalf, kMarkerSize / 2);
    out.PutUint32(summary.checksum);
    out.Truncate(summary.installer_size);
    // The installer takes the first marker in its file: one that the
    // packaged data happen to form before the trailer would break it.
    const PackageCheckResult check = CheckPackageFile(out, plan.skip_checksum);
    if (check.status != PackageCheck::kOk ||
        check.marker_offset != summary.marker_offset) {
      throw PackageWriteError(
          "the packaged data form the trailer marker \"File CRCFile CRC\" at "
          "offset " + std::to_string(check.marker_offset) +
          ", before the trailer; the installer would fail its own check");
    }
  } catch (...) {
    std::remove(output_path.c_str());
    throw;
  }
  return summary;
}

}  // namespace sfx
