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

#include "base/byte_search.h"
#include "base/dos_time.h"
#include "codec/file_entry.h"
#include "codec/lzh_encoder.h"
#include "package/block_pipeline.h"
#include "package/container.h"
#include "package/record_writer.h"
#include "package/signature.h"
#include "paths/name_rules.h"
#include "paths/text.h"
#include "platform/file_io.h"
#include "platform/posix_file.h"
#include "platform/replacing_file.h"

namespace sfx {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// The installer being written: a read-write file, so that placeholders
// can be filled in and the checksum pass can read back what was written.
class OutputFile : public PosixFile {
 public:
  // Takes over `fd`, a new file; `path` names the installer in messages.
  OutputFile(int fd, const std::string& path) : PosixFile(fd), path_(path) {}

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
  std::string path_;
};

// The one place where the packer calls the LZH encoder.
std::vector<std::uint8_t> Encode(const std::uint8_t* data, std::size_t size,
                                 LzhLevel level) {
  return LzhEncodeBuffer(data, size, level);
}

// An offset that must fit the 32-bit fields of the format.
std::uint32_t Offset32(std::int64_t offset) {
  if (offset > INT32_MAX) {
    throw PackageWriteError("the installer would exceed 2 GiB");
  }
  return static_cast<std::uint32_t>(offset);
}

// Looks for the trailer marker in data that arrives in pieces.
class MarkerScanner {
 public:
  MarkerScanner() = default;
  MarkerScanner(const MarkerScanner&) = delete;  // the search points into it
  MarkerScanner& operator=(const MarkerScanner&) = delete;
  void Feed(const std::uint8_t* bytes, std::size_t n) {
    search_.Feed(bytes, n);
  }
  bool found() const { return search_.found() >= 0; }

 private:
  TrailerMarker marker_;
  StreamSearch search_{marker_.bytes, kMarkerSize};
};

// One source file, open from its first block being read until its entry
// is complete (the stored form reads it a second time).
struct Source {
  std::string path;
  int fd = -1;
  std::uint32_t size = 0;
  std::uint32_t block_count = 0;
  std::time_t mtime = 0;
  struct timespec changed = {};  // the modification time, to the nanosecond
  MarkerScanner raw_marker;      // over the file's bytes, fed as they are read

  ~Source() {
    if (fd >= 0) ::close(fd);
  }
  // Reads exactly `n` bytes at `offset` or raises: a source that shrinks
  // while it is packed would give a wrong FileSize.
  void ReadAt(std::uint8_t* buffer, std::size_t n, std::int64_t offset) const {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd, buffer + done, n - done,
                                offset + static_cast<std::int64_t>(done));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        throw PackageWriteError("cannot read " + path + ": " + ErrnoText());
      }
      if (r == 0) {
        throw PackageWriteError("cannot read " + path +
                                ": the file changed while it was packed");
      }
      done += static_cast<std::size_t>(r);
    }
  }
  // Raises when the file is no longer the one whose size and time were
  // taken: a file that grows, or is rewritten in place, while it is read
  // would be packed as a mix of its old and new bytes, or cut short.
  void CheckUnchanged() const {
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(size) ||
        st.st_mtim.tv_sec != changed.tv_sec ||
        st.st_mtim.tv_nsec != changed.tv_nsec) {
      throw PackageWriteError("cannot read " + path +
                              ": the file changed while it was packed");
    }
  }
};

std::shared_ptr<Source> OpenSource(const std::string& path) {
  auto source = std::make_shared<Source>();
  source->path = path;
  source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (source->fd < 0 || ::fstat(source->fd, &st) != 0) {
    throw PackageWriteError("cannot open " + path + ": " + ErrnoText());
  }
  if (!S_ISREG(st.st_mode)) {
    throw PackageWriteError(path + " is not a regular file");
  }
  if (st.st_size > UINT32_MAX) {
    throw PackageWriteError(path + " is larger than 4 GiB");
  }
  source->size = static_cast<std::uint32_t>(st.st_size);
  source->block_count = (source->size + kFileBlockSize - 1) / kFileBlockSize;
  source->mtime = st.st_mtime;
  source->changed = st.st_mtim;
  return source;
}

// One block on its way through the pipeline; a file without blocks
// travels as one job with no data, so that its entry is written in turn.
struct BlockJob {
  std::shared_ptr<Source> source;
  std::size_t file = 0;
  std::uint32_t block = 0;
  std::vector<std::uint8_t> data;    // the file's bytes
  std::vector<std::uint8_t> stream;  // their LZH stream
};

// Reads the sources block by block in package order.
class BlockReader {
 public:
  explicit BlockReader(const std::vector<std::string>& sources)
      : sources_(sources) {}

  bool Next(BlockJob* job) {
    if (current_ && block_ == current_->block_count) {
      current_.reset();
      ++file_;
    }
    if (file_ == sources_.size()) return false;
    if (!current_) {
      current_ = OpenSource(sources_[file_]);
      block_ = 0;
    }
    job->source = current_;
    job->file = file_;
    job->block = block_;
    const std::uint32_t n =
        current_->block_count == 0
            ? 0
            : std::min(kFileBlockSize,
                       current_->size - block_ * kFileBlockSize);
    job->data.resize(n);
    current_->ReadAt(job->data.data(), n,
                     std::int64_t{block_} * kFileBlockSize);
    current_->raw_marker.Feed(job->data.data(), n);
    if (block_ + 1 >= current_->block_count) current_->CheckUnchanged();
    if (current_->block_count == 0) {
      block_ = 0;
      current_.reset();
      ++file_;
    } else {
      ++block_;
    }
    return true;
  }

 private:
  const std::vector<std::string>& sources_;
  std::size_t file_ = 0;
  std::shared_ptr<Source> current_;
  std::uint32_t block_ = 0;
};

// Writes the entries from the blocks in package order: an entry's name and
// a placeholder for its header and block table first, then its blocks, then
// the filled-in header and table.
class EntryWriter {
 public:
  EntryWriter(OutputFile& out, const std::vector<std::string>& names,
              const PackagePlan& plan, const PackageWriteOptions& options,
              PackageSummary* summary)
      : out_(out),
        names_(names),
        plan_(plan),
        options_(options),
        summary_(summary) {}

  void Take(const BlockJob& job) {
    const Source& source = *job.source;
    if (job.block == 0) Begin(job.file, source);
    if (source.block_count > 0) {
      if (job.stream.size() > kMaxBlockBufferSize) {
        throw PackageWriteError(source.path +
                                ": a block does not compress into " +
                                std::to_string(kMaxBlockBufferSize) + " bytes");
      }
      table_[job.block].BlockOffset = Offset32(out_.Position());
      table_[job.block].BlockSize =
          static_cast<std::uint32_t>(job.stream.size());
      out_.Put(job.stream.data(), job.stream.size());
      packed_total_ += job.stream.size();
      bytes_done_ += static_cast<std::int64_t>(job.data.size());
      if (options_.on_progress) options_.on_progress(bytes_done_);
    }
    if (source.block_count == 0 || job.block + 1 == source.block_count) {
      Finish(job.file, source);
    }
  }

 private:
  void Begin(std::size_t file, const Source& source) {
    const std::string& name = names_[file];
    entry_start_ = out_.Position();
    const std::uint8_t name_length = static_cast<std::uint8_t>(name.size());
    out_.Put(&name_length, 1);
    out_.Put(name.data(), name.size());
    header_at_ = out_.Position();
    placeholder_.assign(
        kPackedFileHeaderSize + 8 * std::size_t{source.block_count}, 0);
    out_.Put(placeholder_.data(), placeholder_.size());
    blocks_start_ = out_.Position();
    table_.assign(source.block_count, TPackedBlock());
    packed_total_ = 0;
  }

  void Finish(std::size_t file, const Source& source) {
    const std::uint32_t size = source.size;
    const std::uint32_t count = source.block_count;
    // Stored is chosen for the whole entry when compression does not pay;
    // its blocks overwrite the compressed ones. A file that holds the
    // trailer marker stays compressed: stored, the installer's check would
    // stop at that copy of the marker.
    const bool packed =
        size > 0 && (packed_total_ < size || source.raw_marker.found());
    if (!packed && count > 0) {
      out_.MoveTo(blocks_start_);
      std::vector<std::uint8_t> block(kFileBlockSize);
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t n =
            std::min(kFileBlockSize, size - i * kFileBlockSize);
        source.ReadAt(block.data(), n, std::int64_t{i} * kFileBlockSize);
        table_[i].BlockOffset = Offset32(out_.Position());
        table_[i].BlockSize = n;
        out_.Put(block.data(), n);
      }
      source.CheckUnchanged();
    }
    const std::int64_t entry_end = out_.Position();

    TPackedFileHeader header;
    header.FileSize = size;
    header.BlockCount = count;
    header.DosDateTime = DosDateTimeOf(source.mtime, plan_.newest_time);
    header.Packed = packed ? 1 : 0;
    EncodePackedFileHeader(header, placeholder_.data());
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint8_t* p =
          placeholder_.data() + kPackedFileHeaderSize + 8 * std::size_t{i};
      StoreUint32(p, table_[i].BlockSize);
      StoreUint32(p + 4, table_[i].BlockOffset);
    }
    out_.MoveTo(header_at_);
    out_.Put(placeholder_.data(), placeholder_.size());
    out_.MoveTo(entry_end);
    summary_->data_size += size;
    summary_->packed_size += entry_end - entry_start_;
    if (options_.on_file) {
      PackedFileInfo info;
      info.index = file;
      info.name = names_[file];
      info.size = size;
      info.entry_size = entry_end - entry_start_;
      info.packed = packed;
      options_.on_file(info);
    }
  }

  OutputFile& out_;
  const std::vector<std::string>& names_;
  const PackagePlan& plan_;
  const PackageWriteOptions& options_;
  PackageSummary* summary_;
  std::int64_t bytes_done_ = 0;
  // The entry being written.
  std::int64_t entry_start_ = 0;
  std::int64_t header_at_ = 0;
  std::int64_t blocks_start_ = 0;
  std::vector<std::uint8_t> placeholder_;
  std::vector<TPackedBlock> table_;
  std::uint64_t packed_total_ = 0;
};

// Raises when `output` exists and is a directory, a device or a pipe, or
// the same file as one of `inputs`.
void RefuseInputAsOutput(const std::string& output,
                         const std::vector<std::string>& inputs) {
  struct stat out;
  if (::stat(output.c_str(), &out) != 0) return;
  if (S_ISDIR(out.st_mode)) {
    throw PackageWriteError("the output " + output + " is a directory");
  }
  // The installer is written, read back and patched in place.
  if (!S_ISREG(out.st_mode)) {
    throw PackageWriteError("the output " + output + " is not a regular file");
  }
  for (const std::string& input : inputs) {
    struct stat in;
    if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino) {
      throw PackageWriteError("the output " + output + " is the input " +
                              input + "; choose another output");
    }
  }
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
  const auto* tag = reinterpret_cast<const std::uint8_t*>(kStubSizeTag);
  const std::size_t tag_size = sizeof(kStubSizeTag) - 1;
  std::vector<std::size_t> hits;
  for (std::int64_t at = 0;
       (at = FindBytes(stub.data(), stub.size(), tag, tag_size,
                       static_cast<std::size_t>(at))) >= 0;
       ++at) {
    hits.push_back(static_cast<std::size_t>(at));
  }
  if (hits.size() != 1) {
    throw PackageWriteError(
        "the stub must hold the tag \"RealFileSize=\" exactly once; found " +
        std::to_string(hits.size()));
  }
  const std::size_t tag_at = hits[0];
  if (tag_at < 1 || stub[tag_at - 1] != kStubSizeBlockSize - 1 ||
      tag_at - 1 + kStubSizeBlockSize > stub.size()) {
    throw PackageWriteError(
        "the stub's size block around \"RealFileSize=\" is malformed");
  }
  const TrailerMarker marker;
  if (FindBytes(stub.data(), stub.size(), marker.bytes, kMarkerSize) >= 0) {
    throw PackageWriteError("the stub holds the trailer marker");
  }
  return tag_at - 1;
}

std::uint32_t DosDateTimeOf(std::time_t t, std::optional<std::time_t> newest) {
  return ClampedDosTimeOf(newest && t > *newest ? *newest : t);
}

PackageSummary WritePackage(const PackagePlan& plan,
                            const std::string& output_path,
                            const PackageWriteOptions& options) {
  const TInstalRecord& record = plan.record;
  if (plan.sources.size() != record.Files.size()) {
    throw PackageWriteError("one source file is needed for each entry");
  }
  std::vector<std::string> names;
  for (const auto& file : record.Files) {
    names.push_back(LastPathComponent(file->FileName));
    if (CheckNameComponent(names.back()) != NameProblem::kNone ||
        names.back().size() > kShortTextMax) {
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
      Encode(header.data(), header.size(), plan.level);
  std::vector<std::string> inputs = plan.sources;
  inputs.insert(inputs.end(), options.other_inputs.begin(),
                options.other_inputs.end());
  RefuseInputAsOutput(output_path, inputs);

  PackageSummary summary;
  ReplacingFile replacing;
  const int fd = replacing.Create(output_path);
  if (fd < 0) {
    throw PackageWriteError("cannot create " + output_path + ": " +
                            ErrnoText());
  }
  {
    OutputFile out(fd, output_path);
    out.Put(stub.data(), stub.size());
    summary.header_offset = static_cast<std::int64_t>(plan.stub.size());
    out.PutUint32(static_cast<std::uint32_t>(packed_header.size()));
    out.Put(packed_header.data(), packed_header.size());
    out.PutUint32(static_cast<std::uint32_t>(header.size()));
    out.PutUint32(static_cast<std::uint32_t>(record.Files.size()));
    BlockReader reader(plan.sources);
    EntryWriter writer(out, names, plan, options, &summary);
    RunOrderedPipeline<BlockJob>(
        options.jobs, [&reader](BlockJob* job) { return reader.Next(job); },
        [&plan](BlockJob& job) {
          job.stream = Encode(job.data.data(), job.data.size(), plan.level);
        },
        [&writer](BlockJob& job) { writer.Take(job); });
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
          "offset " +
          std::to_string(check.marker_offset) +
          ", before the trailer; the installer would fail its own check");
    }
  }
  if (options.finish) options.finish(replacing.temporary());
  if (!replacing.Commit()) {
    throw PackageWriteError("cannot create " + output_path + ": " +
                            ErrnoText());
  }
  return summary;
}

}  // namespace sfx
