// Reads an installer file through the same readers as the installer
// program, collecting what they find instead of showing it.
#include "installer_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/byte_search.h"
#include "base/dos_time.h"
#include "codec/lzh_decoder.h"
#include "install/package_names.h"
#include "listing.h"
#include "package/block_pipeline.h"
#include "package/signature.h"
#include "paths/name_rules.h"

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
  std::vector<std::uint8_t> pattern(1, sfx::kStubSizeBlockSize - 1);
  pattern.insert(pattern.end(), sfx::kStubSizeTag,
                 sfx::kStubSizeTag + sizeof(sfx::kStubSizeTag) - 1);
  sfx::StreamSearch search(pattern.data(), pattern.size());
  std::vector<std::uint8_t> buffer(1 << 16);
  if (!file.Seek(0, sfx::File::Origin::kBegin)) return -1;
  for (std::int64_t done = 0; done < limit && search.found() < 0;) {
    const std::uint32_t want =
        static_cast<std::uint32_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(buffer.size()), limit - done));
    std::uint32_t got = 0;
    if (!file.Read(buffer.data(), want, &got) || got == 0) return -1;
    search.Feed(buffer.data(), got);
    done += got;
  }
  return search.found();
}

// When the walk over the entries goes astray, the cause is most often a
// damaged block size before the point where it fails: the first block of
// `info.entries` whose size no block can have (0, above 130000 bytes), or
// whose size does not end where the block table says the next block
// starts. Replaces `*problem` by that block, followed by `consequence`.
void BlameEarlierBlock(const InstallerInfo& info,
                       const std::string& consequence, std::string* problem) {
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    const sfx::PackedFileEntry& entry = info.entries[i];
    std::int64_t position =
        info.entry_offsets[i] + 1 +
        static_cast<std::int64_t>(entry.name.size()) +
        static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) +
        8 * static_cast<std::int64_t>(entry.blocks.size());
    for (std::size_t b = 0; b < entry.blocks.size(); ++b) {
      const std::uint32_t size = entry.blocks[b].BlockSize;
      std::string fault;
      if (size == 0 || size > sfx::kMaxBlockBufferSize) {
        fault = "size " + std::to_string(size) + " cannot be read";
      } else if (b + 1 < entry.blocks.size() &&
                 entry.blocks[b + 1].BlockOffset !=
                     static_cast<std::uint64_t>(position) + size) {
        fault = "size " + std::to_string(size) +
                " does not end where the next block starts (offset " +
                std::to_string(entry.blocks[b + 1].BlockOffset) + ")";
      } else if (!entry.header.Packed) {
        // A stored block holds its part of the file as it is.
        const std::uint64_t before = std::uint64_t{sfx::kFileBlockSize} * b;
        const std::uint64_t holds =
            entry.header.FileSize > before
                ? std::min<std::uint64_t>(sfx::kFileBlockSize,
                                          entry.header.FileSize - before)
                : 0;
        if (size != holds) {
          fault = "size " + std::to_string(size) + " is not the " +
                  std::to_string(holds) + " bytes this stored block holds";
        }
      }
      if (!fault.empty()) {
        *problem = "entry " + std::to_string(i) + " (" + ShownText(entry.name) +
                   "), block " + std::to_string(b) + " at offset " +
                   std::to_string(position) + ": " + fault + consequence;
        return;
      }
      position += size;
    }
  }
  // A packed entry's last block could have any size: it is the suspect.
  if (!info.entries.empty() && !info.entries.back().blocks.empty()) {
    *problem += "; the size of the last block of entry " +
                std::to_string(info.entries.size() - 1) + " (" +
                ShownText(info.entries.back().name) + ") may be wrong";
  }
}

// The first text of the header, in stream order, that holds a NUL, as
// `Field "text"` (the text as it stands); empty when none does.
std::string FindNulText(const sfx::TInstalRecord& r) {
  std::string found;
  auto check = [&found](const std::string& field, const std::string& text) {
    if (found.empty() && text.find('\0') != std::string::npos) {
      found = field + " \"" + text + "\"";
    }
  };
  auto check_list = [&check](const char* field,
                             const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      check(field + ("[" + std::to_string(i) + "]"), texts[i]);
    }
  };
  for (std::size_t i = 0; i < r.Files.size(); ++i) {
    const std::string at = "Files[" + std::to_string(i) + "].";
    check(at + "FileName", r.Files[i]->FileName);
    check(at + "ShortcutName", r.Files[i]->ShortcutName);
    check(at + "Parameters", r.Files[i]->Parameters);
    check(at + "TargetDir", r.Files[i]->TargetDir);
  }
  check_list("WelcomeLines", r.WelcomeLines);
  check_list("ExtraProgEntries", r.ExtraProgEntries);
  check_list("FinishLines", r.FinishLines);
  check_list("Directories", r.Directories);
  const std::pair<const char*, const std::string*> texts[] = {
      {"PackageText1", &r.PackageText1},
      {"PackageText2", &r.PackageText2},
      {"ProductName", &r.ProductName},
      {"ProductText2", &r.ProductText2},
      {"ProductText3", &r.ProductText3},
      {"ProductText4", &r.ProductText4},
      {"MenuFolderName", &r.MenuFolderName},
      {"BrowsePrompt", &r.BrowsePrompt},
      {"RegistryKey", &r.RegistryKey},
      {"LaunchProgram", &r.LaunchProgram},
      {"InstallDir", &r.InstallDir}};
  for (const auto& text : texts) check(text.first, *text.second);
  for (std::size_t i = 0; i < r.PreRunFiles.size(); ++i) {
    const std::string at = "PreRunFiles[" + std::to_string(i) + "].";
    check(at + "FileName", r.PreRunFiles[i]->FileName);
    check(at + "Parameters", r.PreRunFiles[i]->Parameters);
    check(at + "Directory", r.PreRunFiles[i]->Directory);
  }
  check("InfoText1", r.InfoText1);
  check("InfoText2", r.InfoText2);
  check("InfoText3", r.InfoText3);
  return found;
}

}  // namespace

std::string UntimedEntriesText(const InstallerInfo& info,
                               const std::string& consequence) {
  if (info.untimed_entries.empty()) return std::string();
  const std::size_t first = info.untimed_entries[0];
  const sfx::PackedFileEntry& entry = info.entries[first];
  std::string text = "entry " + std::to_string(first) + " (" + entry.name +
                     "): the time stamp " +
                     DosTimeText(entry.header.DosDateTime) +
                     " is no date and time; " + consequence;
  const std::size_t more = info.untimed_entries.size() - 1;
  if (more > 0) text += " (and " + std::to_string(more) + " more entries)";
  return text;
}

std::vector<std::string> PackageFaults(const InstallerInfo& info) {
  std::vector<std::string> faults;
  if (!info.nul_text.empty()) faults.push_back(info.nul_text);
  if (!info.untimed_entries.empty()) {
    faults.push_back(UntimedEntriesText(
        info, "the installer gives the file the time of installation"));
  }
  return faults;
}

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
  // The installer refuses, before it writes anything, names that would
  // take it outside its folders.
  const sfx::String refusal = sfx::FindBadPackageName(info->record);
  if (!refusal.empty()) {
    *problem = "header: " + ShownText(refusal.substr(refusal.find('\r') + 1));
    return false;
  }
  const std::string nul_text = FindNulText(info->record);
  if (!nul_text.empty()) {
    info->nul_text = "header: " + nul_text +
                     " holds a NUL; Windows reads the text only up to it";
  }

  std::int64_t position = info->layout.first_entry;
  for (std::int32_t i = 0; i < info->layout.file_count; ++i) {
    sfx::PackedFileEntry entry;
    if (!file.Seek(position, sfx::File::Origin::kBegin) ||
        !sfx::ReadPackedFileEntry(file, &entry)) {
      *problem = "entry " + std::to_string(i) + " at offset " +
                 std::to_string(position) + " is unreadable";
      BlameEarlierBlock(*info,
                        ", so entry " + std::to_string(i) + " cannot be found",
                        problem);
      return false;
    }
    std::int64_t next = position + 1 +
                        static_cast<std::int64_t>(entry.name.size()) +
                        static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) +
                        8 * static_cast<std::int64_t>(entry.blocks.size());
    for (const sfx::TPackedBlock& block : entry.blocks) next += block.BlockSize;
    info->entry_offsets.push_back(position);
    info->entries.push_back(std::move(entry));
    if (next > info->layout.entries_end) {
      *problem = "entry " + std::to_string(i) + " (" +
                 ShownText(info->entries.back().name) +
                 ") runs into the trailer";
      BlameEarlierBlock(*info, ", so the entry runs into the trailer", problem);
      info->entry_offsets.pop_back();
      info->entries.pop_back();
      return false;
    }
    std::time_t time;
    if (!sfx::LocalTimeOfDos(info->entries.back().header.DosDateTime, &time)) {
      info->untimed_entries.push_back(info->entries.size() - 1);
    }
    position = next;
  }
  if (position != info->layout.entries_end) {
    info->warnings.push_back(
        std::to_string(info->layout.entries_end - position) +
        " unused bytes between the last entry and the trailer");
  }
  return true;
}

namespace {

// A block's bytes as a file, so that the workers decode through the
// installer's own ReadFileBlock.
class SpanFile : public sfx::File {
 public:
  SpanFile(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}
  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
    const std::size_t left = size_ - position_;
    *got = static_cast<std::uint32_t>(std::min<std::size_t>(n, left));
    if (*got > 0) std::memcpy(buffer, data_ + position_, *got);
    position_ += *got;
    return true;
  }
  bool Write(const void*, std::uint32_t, std::uint32_t* written) override {
    *written = 0;
    return false;
  }
  bool Seek(std::int64_t, Origin, std::int64_t*) override { return false; }
  bool Size(std::int64_t* size) override {
    *size = static_cast<std::int64_t>(size_);
    return true;
  }
  bool SetLastWriteDosTime(std::uint32_t) override { return false; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

struct DecodeJob {
  std::size_t entry = 0;
  std::size_t block = 0;  // kNoBlock: an entry without blocks
  std::int64_t offset = 0;
  bool reached = false;           // the block's offset could be sought
  std::vector<std::uint8_t> raw;  // what the read gave (empty: nothing)
  // Worker's part.
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
  bool decode_failed = false;
  sfx::BlockRead read = sfx::BlockRead::kReadFailed;
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
};
constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

std::string EntryName(const InstallerInfo& info, std::size_t i) {
  return "entry " + std::to_string(i) + " (" + ShownText(info.entries[i].name) +
         ")";
}

std::int64_t FirstBlockOffset(const InstallerInfo& info, std::size_t i) {
  const sfx::PackedFileEntry& entry = info.entries[i];
  return info.entry_offsets[i] + 1 +
         static_cast<std::int64_t>(entry.name.size()) +
         static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) +
         8 * static_cast<std::int64_t>(entry.blocks.size());
}

// Reads the blocks in package order, one job each.
class BlockFeeder {
 public:
  BlockFeeder(sfx::File& file, const InstallerInfo& info, const bool& stop)
      : file_(file), info_(info), stop_(stop) {}

  bool Next(DecodeJob* job) {
    if (stop_ || entry_ == info_.entries.size()) return false;
    const sfx::PackedFileEntry& entry = info_.entries[entry_];
    if (block_ == 0) position_ = FirstBlockOffset(info_, entry_);
    job->entry = entry_;
    job->offset = position_;
    job->raw.clear();
    if (entry.blocks.empty()) {
      job->block = kNoBlock;
      ++entry_;
      return true;
    }
    job->block = block_;
    const std::uint32_t size = entry.blocks[block_].BlockSize;
    job->reached = file_.Seek(position_, sfx::File::Origin::kBegin);
    // ReadFileBlock refuses these sizes before reading.
    if (job->reached && size > 0 && size <= sfx::kMaxBlockBufferSize) {
      job->raw.resize(size);
      std::uint32_t got = 0;
      if (!file_.Read(job->raw.data(), size, &got)) got = 0;
      job->raw.resize(got);
    }
    position_ += size;
    if (++block_ == entry.blocks.size()) {
      ++entry_;
      block_ = 0;
    }
    return true;
  }

 private:
  sfx::File& file_;
  const InstallerInfo& info_;
  const bool& stop_;
  std::size_t entry_ = 0;
  std::size_t block_ = 0;
  std::int64_t position_ = 0;
};

void Decode(DecodeJob& job, bool packed, std::uint32_t block_size) {
  if (job.block == kNoBlock || !job.reached) return;
  job.input.resize(sfx::kMaxBlockBufferSize);
  job.output.resize(sfx::kMaxBlockBufferSize);
  SpanFile span(job.raw.data(), job.raw.size());
  job.read = sfx::ReadFileBlock(span, block_size, packed, job.input.data(),
                                job.output.data(), &job.data, &job.length);
  job.decode_failed = job.read == sfx::BlockRead::kUndecodable;
}

// Checks the jobs in order and passes them to the sink.
class BlockChecker {
 public:
  BlockChecker(const InstallerInfo& info, BlockSink* sink, bool* stop,
               std::string* problem)
      : info_(info), sink_(sink), stop_(stop), problem_(problem) {}

  void Take(const DecodeJob& job) {
    if (*stop_) return;
    if (!Check(job)) *stop_ = true;
  }

 private:
  bool Check(const DecodeJob& job) {
    const sfx::PackedFileEntry& entry = info_.entries[job.entry];
    if (job.block == 0 || job.block == kNoBlock) {
      const sfx::NameProblem name = sfx::CheckNameComponent(entry.name);
      if (name != sfx::NameProblem::kNone) {
        // The installer refuses to create such a file.
        *problem_ = "entry " + std::to_string(job.entry) + ": \"" +
                    ShownText(entry.name) + "\" " +
                    sfx::DescribeNameProblem(name);
        return false;
      }
      total_ = 0;
      if (!sink_->BeginEntry(job.entry, problem_)) return false;
    }
    if (job.block != kNoBlock) {
      const std::uint32_t size = entry.blocks[job.block].BlockSize;
      const std::string where = EntryName(info_, job.entry) + ", block " +
                                std::to_string(job.block) + " at offset " +
                                std::to_string(job.offset);
      if (!job.reached) {
        *problem_ = where + ": cannot be reached";
        return false;
      }
      if (job.decode_failed) {
        *problem_ = where + ": cannot be decoded";
        return false;
      }
      if (job.read != sfx::BlockRead::kOk) {
        *problem_ = where + (job.read == sfx::BlockRead::kBadStream
                                 ? ": the stream claims more than 130000 bytes"
                                 : ": size " + std::to_string(size) +
                                       " cannot be read");
        return false;
      }
      const bool last = job.block + 1 == entry.blocks.size();
      if (!last && job.length != sfx::kFileBlockSize) {
        *problem_ = where + ": holds " + std::to_string(job.length) +
                    " bytes instead of 65000";
        return false;
      }
      total_ += job.length;
      DecodedBlock block;
      block.entry = job.entry;
      block.block = job.block;
      block.offset = job.offset;
      block.data = job.data;
      block.length = job.length;
      if (!sink_->TakeBlock(block, problem_)) return false;
      if (!last) return true;
    }
    if (total_ != entry.header.FileSize) {
      *problem_ = EntryName(info_, job.entry) + ": the blocks hold " +
                  std::to_string(total_) + " bytes, the entry header says " +
                  std::to_string(entry.header.FileSize);
      return false;
    }
    return sink_->EndEntry(job.entry, problem_);
  }

  const InstallerInfo& info_;
  BlockSink* sink_;
  bool* stop_;
  std::string* problem_;
  std::uint64_t total_ = 0;
};

}  // namespace

bool DecodeAllBlocks(sfx::File& file, const InstallerInfo& info, unsigned jobs,
                     BlockSink* sink, std::string* problem) {
  bool stop = false;
  BlockFeeder feeder(file, info, stop);
  BlockChecker checker(info, sink, &stop, problem);
  sfx::RunOrderedPipeline<DecodeJob>(
      jobs, [&feeder](DecodeJob* job) { return feeder.Next(job); },
      [&info](DecodeJob& job) {
        if (job.block == kNoBlock) return;
        const sfx::PackedFileEntry& entry = info.entries[job.entry];
        Decode(job, entry.header.Packed != 0,
               entry.blocks[job.block].BlockSize);
      },
      [&checker](DecodeJob& job) { checker.Take(job); });
  return !stop;
}

}  // namespace sfxtool
