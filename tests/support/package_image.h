// Builds installer files in memory for native tests: a small stand-in for
// the installer program (holding the size block) followed by a real package
// written by the packer, so the readers run over the same bytes the
// installer program would see.
#ifndef SFX_TESTS_SUPPORT_PACKAGE_IMAGE_H_
#define SFX_TESTS_SUPPORT_PACKAGE_IMAGE_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "package/record.h"

namespace sfx::fake {

// A stand-in for the installer program: 64 bytes, the size block (with
// 0xEE where the packer writes its values), 32 bytes.
std::vector<std::uint8_t> StubImage();

// A deep copy of `record` (one the packer accepts).
TInstalRecord CloneRecord(const TInstalRecord& record);

// Appends a file entry to `record` (its FileName, TargetDir and the other
// fields as given) and returns it for further settings.
TInstallFileRecord& AddFileEntry(TInstalRecord& record,
                                 const std::string& file_name,
                                 const std::string& target_dir = "");
TPreRunFileRecord& AddPreRunEntry(TInstalRecord& record,
                                  const std::string& file_name,
                                  std::int32_t run_stage);

// The installer file for `record`, whose entry i holds `contents[i]` with
// the last-write time `mtime`. Raises std::runtime_error when the packer
// refuses the record.
std::vector<std::uint8_t> BuildInstallerImage(
    const TInstalRecord& record, const std::vector<std::string>& contents,
    std::time_t mtime = 1700000000, bool skip_checksum = false);

// The marker's 16 bytes.
std::vector<std::uint8_t> MarkerBytes();

// Appends the trailer as the packer does: the marker and the checksum of
// everything before it.
std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> bytes);

// Stores the checksum of the bytes before `marker` behind the marker at
// `marker` again (after a change before it), growing `bytes` to hold it.
void Reseal(std::vector<std::uint8_t>* bytes, std::size_t marker);

}  // namespace sfx::fake

#endif  // SFX_TESTS_SUPPORT_PACKAGE_IMAGE_H_
