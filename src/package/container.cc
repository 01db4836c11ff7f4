// The readers of the installer file: the integrity check, the walk from the
// trailer to the first file entry, and the loading of the compressed header.
// They return what went wrong and show nothing (install/package_reports.*
// turns that into messages). Every size and offset that the file gives is
// checked against the file before it is used, so a damaged file ends as a
// failure value, never as an overrun or a huge allocation.
#include "package/container.h"

#include <cstring>

#include "base/divide.h"
#include "base/vector.h"
#include "codec/lzh_decoder.h"
#include "platform/file_io.h"
#include "platform/platform.h"

namespace sfx {

String ExePath;
std::int32_t MarkerOffset = 0;

namespace {

// The smallest file entry: an empty name and the 21-byte entry header.
constexpr std::int64_t kMinFileEntrySize = 1 + 21;

PackageWalk Fail(PackageWalk walk, String* reason, const char* text) {
  if (reason) *reason = text;
  return walk;
}

}  // namespace

PackageCheck CheckInstallerFile(const String& path, bool skip_checksum) {
  std::unique_ptr<File> file = Os().OpenRead(path);
  if (!file) return PackageCheck::kReadFailed;
  const PackageCheckResult check = CheckPackageFile(*file, skip_checksum);
  if (check.status != PackageCheck::kReadFailed && check.marker_offset >= 0) {
    MarkerOffset = static_cast<std::int32_t>(check.marker_offset);
  }
  return check.status;
}

PackageWalk ReadPackageLayout(File& file, std::int64_t marker_offset,
                              PackageLayout* layout, String* reason) {
  std::int64_t file_size = 0;
  if (!file.Size(&file_size) || marker_offset < 4 ||
      marker_offset > file_size) {
    return Fail(PackageWalk::kNoHeaderOffset, reason,
                "the header offset before the marker is missing");
  }
  const std::int64_t entries_end = marker_offset - 4;
  std::uint32_t raw = 0;
  if (!file.Seek(entries_end, File::Origin::kBegin) ||
      !ReadUint32(file, &raw)) {
    return Fail(PackageWalk::kNoHeaderOffset, reason,
                "the header offset before the marker is unreadable");
  }
  const std::int64_t header_offset = static_cast<std::int32_t>(raw);
  // P, HeaderSize and FileCount (12 bytes) must fit before the trailer.
  if (header_offset < 0 || header_offset > entries_end - 12) {
    return Fail(PackageWalk::kBadHeaderOffset, reason,
                "the header offset lies outside the package");
  }
  std::uint32_t packed_size = 0;
  if (!file.Seek(header_offset, File::Origin::kBegin) ||
      !ReadUint32(file, &packed_size)) {
    return Fail(PackageWalk::kBadHeaderOffset, reason,
                "the header offset cannot be reached");
  }
  if (packed_size > entries_end - header_offset - 12) {
    return Fail(PackageWalk::kNoFileCount, reason,
                "the compressed header does not fit the package");
  }
  std::uint32_t header_size = 0;
  std::uint32_t count = 0;
  const std::int64_t after_header = header_offset + 4 + packed_size;
  if (!file.Seek(after_header, File::Origin::kBegin) ||
      !ReadUint32(file, &header_size) || !ReadUint32(file, &count)) {
    return Fail(PackageWalk::kNoFileCount, reason,
                "the file count is unreadable");
  }
  const std::int64_t first_entry = after_header + 8;
  const std::int32_t file_count = static_cast<std::int32_t>(count);
  // The entries' room divided by the smallest entry, rounded toward zero
  // (through the one 64-bit division routine).
  const std::int64_t room = entries_end - first_entry;
  const std::int64_t most = static_cast<std::int64_t>(
      DivideUint64(Magnitude(room), kMinFileEntrySize).quotient);
  if (file_count < 0 || file_count > (room < 0 ? -most : most)) {
    return Fail(PackageWalk::kNoFileCount, reason,
                "the file count does not fit the package");
  }
  layout->header_offset = header_offset;
  layout->packed_header_size = packed_size;
  layout->header_size = header_size;
  layout->file_count = file_count;
  layout->first_entry = first_entry;
  layout->entries_end = entries_end;
  return PackageWalk::kOk;
}

bool LoadPackageHeader(File& file, std::int64_t marker_offset,
                       PackageLayout* layout, Vector<std::uint8_t>* decoded,
                       String* reason) {
  if (ReadPackageLayout(file, marker_offset, layout, reason) !=
      PackageWalk::kOk) {
    return false;
  }
  if (layout->packed_header_size > kMaxHeaderSize ||
      layout->header_size > kMaxHeaderSize) {
    if (reason) *reason = "the header sizes are implausibly large";
    return false;
  }
  Vector<std::uint8_t> packed(layout->packed_header_size);
  if (!file.Seek(layout->header_offset + 4, File::Origin::kBegin) ||
      !ReadExact(file, packed.data(), layout->packed_header_size)) {
    if (reason) *reason = "the compressed header is unreadable";
    return false;
  }
  // The stream never produces more than its own length field says, so the
  // buffer need not be larger than that, whatever HeaderSize claims.
  std::uint32_t capacity = 0;
  if (packed.size() >= 4) {
    const std::int32_t claimed = LoadInt32(packed.data());
    if (claimed > 0 &&
        static_cast<std::uint32_t>(claimed) > layout->header_size) {
      if (reason) *reason = "the header decodes to more than HeaderSize bytes";
      return false;
    }
    if (claimed > 0) capacity = static_cast<std::uint32_t>(claimed);
  }
  decoded->assign(capacity, 0);
  std::int32_t produced = 0;
  if (!LzhDecodeBuffer(packed.data(), layout->packed_header_size,
                       decoded->data(), capacity, &produced)
           .ok() ||
      produced < 0 || static_cast<std::uint32_t>(produced) > decoded->size()) {
    if (reason) *reason = "the header cannot be decoded";
    return false;
  }
  decoded->resize(static_cast<std::size_t>(produced));
  return true;
}

HeaderLoad LoadInstallerHeader(Vector<std::uint8_t>* decoded,
                               std::int32_t* file_count) {
  std::unique_ptr<File> file = Os().OpenRead(ExePath);
  if (!file) return HeaderLoad::kCannotOpen;
  PackageLayout layout;
  if (!LoadPackageHeader(*file, MarkerOffset, &layout, decoded, nullptr)) {
    return HeaderLoad::kCorrupted;
  }
  *file_count = layout.file_count;
  return HeaderLoad::kOk;
}

PackageWalk OpenPackageAtFirstEntry(std::unique_ptr<File>* file,
                                    std::int32_t* file_count) {
  *file = Os().OpenRead(ExePath);
  if (!*file) return PackageWalk::kCannotOpen;
  PackageLayout layout;
  const PackageWalk walk =
      ReadPackageLayout(**file, MarkerOffset, &layout, nullptr);
  if (walk == PackageWalk::kOk) *file_count = layout.file_count;
  return walk;
}

}  // namespace sfx
