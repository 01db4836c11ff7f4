// Reading an installer file the way the installer program does, but
// without its message boxes: the integrity check with every detail, the
// StubSizeBlock, the header and the file entries. Shared by `list`,
// `verify` and `extract`.
#ifndef SFXTOOL_INSTALLER_READER_H_
#define SFXTOOL_INSTALLER_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/file_entry.h"
#include "package/container.h"
#include "package/record.h"

namespace sfxtool {

struct InstallerInfo {
  std::int64_t file_size = 0;
  sfx::PackageCheckResult check;  // the full check, checksum included
  bool has_size_block = false;
  std::int64_t size_block_offset = -1;
  sfx::StubSizeValues size_block;
  // The installer's own check passes (with its SkipChecksum setting).
  bool accepted = false;
  sfx::PackageLayout layout;
  sfx::TInstalRecord record;
  std::vector<sfx::PackedFileEntry> entries;
  std::vector<std::int64_t> entry_offsets;  // where each entry starts
  std::vector<std::string> warnings;        // oddities the installer ignores
  // What the installer reads without refusing but gets wrong, which verify
  // fails and list shows: the first header text holding a NUL (Windows
  // ends the text there), as "header: Field \"text\" ..." with the text
  // as it stands (ShownText shows it); the entries whose time stamp is no
  // date and time (the file gets the time of writing instead), in package
  // order.
  std::string nul_text;
  std::vector<std::size_t> untimed_entries;
};

// Reads everything but the blocks' contents. Returns false, with the
// reason in `*problem`, at the first failure after which nothing more can
// be trusted; `info` then holds what was read up to there.
bool InspectInstaller(sfx::File& file, InstallerInfo* info,
                      std::string* problem);

// One block of an entry, read and decoded as the installer does.
struct DecodedBlock {
  std::size_t entry = 0;    // in info.entries
  std::size_t block = 0;    // in the entry's block table
  std::int64_t offset = 0;  // where the block starts in the installer
  const std::uint8_t* data = nullptr;  // the file's bytes it holds
  std::uint32_t length = 0;
};

// Where the decoded entries go. Each call returns false, with the reason in
// `*problem`, to stop the walk.
class BlockSink {
 public:
  virtual ~BlockSink() = default;
  virtual bool BeginEntry(std::size_t entry, std::string* problem) = 0;
  virtual bool TakeBlock(const DecodedBlock& block, std::string* problem) = 0;
  // Called once the entry's blocks are known to hold exactly FileSize
  // bytes.
  virtual bool EndEntry(std::size_t entry, std::string* problem) = 0;
};

// Reads every block of every entry in package order on the calling thread,
// decodes them on `jobs` threads (block_pipeline.h) with the installer's
// ReadFileBlock, and hands them to `sink` in package order, checking on the
// way what the installer would trip over or leave wrong: a name that is not
// a plain file name, a block that cannot be read or decoded, a block but
// the last that does not hold 65000 bytes, blocks that do not add up to the
// entry's FileSize. False at the first such problem, with the entry and the
// block in `*problem`, or when the sink stops. Memory: `jobs` times
// kJobsInFlightPerWorker blocks of three 130000-byte buffers each.
bool DecodeAllBlocks(sfx::File& file, const InstallerInfo& info, unsigned jobs,
                     BlockSink* sink, std::string* problem);

// The untimed entries in one line: the first, its stamp and how many more,
// then `consequence` ("the installer gives ..."); empty when there are
// none. The entry's name stands as it is, for ShownText.
std::string UntimedEntriesText(const InstallerInfo& info,
                               const std::string& consequence);

// nul_text and the untimed entries as the installer meets them, in package
// order, for verify's verdict and list's warnings; empty when the package
// has neither.
std::vector<std::string> PackageFaults(const InstallerInfo& info);

// The reason text of a failed check ("no marker", "checksum mismatch ...").
std::string CheckProblem(const InstallerInfo& info);

}  // namespace sfxtool

#endif  // SFXTOOL_INSTALLER_READER_H_
