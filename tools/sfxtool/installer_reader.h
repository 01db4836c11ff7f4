// Reading an installer file the way the installer program does, but
// without its message boxes: the integrity check with every detail, the
// StubSizeBlock, the header and the file entries. Shared by `list`,
// `verify` and `extract`.
#ifndef SFXTOOL_INSTALLER_READER_H_
#define SFXTOOL_INSTALLER_READER_H_

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
};

// Reads everything but the blocks' contents. Returns false, with the
// reason in `*problem`, at the first failure after which nothing more can
// be trusted; `info` then holds what was read up to there.
bool InspectInstaller(sfx::File& file, InstallerInfo* info,
                      std::string* problem);

// Decodes every block of every entry as the installer would and checks the
// sizes. False, with the first bad block in `*problem`.
bool CheckAllBlocks(sfx::File& file, const InstallerInfo& info,
                    std::string* problem);

// The reason text of a failed check ("no marker", "checksum mismatch ...").
std::string CheckProblem(const InstallerInfo& info);

}  // namespace sfxtool

#endif  // SFXTOOL_INSTALLER_READER_H_
