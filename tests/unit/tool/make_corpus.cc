// Writes damaged variants of a good installer for the CLI tests and the
// fuzz corpora: cuts at every region boundary, and layout, header and
// entry fields set to hostile values. Variants whose damage lies before
// the marker are sealed again with a correct checksum, so that they reach
// the readers behind the integrity check.
//   make_corpus GOOD.EXE OUTDIR
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "codec/file_entry.h"
#include "codec/lzh_encoder.h"
#include "package/container.h"
#include "support/memory_file.h"
#include "support/package_image.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Set32(Bytes* b, std::size_t at, std::uint32_t v) {
  sfx::StoreUint32(b->data() + at, v);
}
void Put32(Bytes* b, std::uint32_t v) { sfx::ByteWriter(b).Uint32(v); }
using sfx::fake::Reseal;

void Write(const std::string& dir, const std::string& name, const Bytes& b) {
  sfx_test::WriteBytes(dir + "/" + name, b);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_corpus GOOD.EXE OUTDIR\n");
    return 2;
  }
  const Bytes good = sfx_test::ReadBytes(argv[1]);
  const std::string dir = argv[2];
  sfx_test::MemoryFile file(good);
  const sfx::PackageCheckResult check = sfx::CheckPackageFile(file, false);
  sfx::PackageLayout layout;
  std::vector<std::uint8_t> header;
  std::string reason;
  if (check.status != sfx::PackageCheck::kOk ||
      !sfx::LoadPackageHeader(file, check.marker_offset, &layout, &header,
                              &reason) ||
      layout.file_count < 1) {
    std::fprintf(stderr, "make_corpus: %s is not a good installer with files\n",
                 argv[1]);
    return 1;
  }
  const std::size_t m = static_cast<std::size_t>(check.marker_offset);
  const std::size_t h = static_cast<std::size_t>(layout.header_offset);
  const std::size_t p_end = h + 4 + layout.packed_header_size;
  const std::size_t first = static_cast<std::size_t>(layout.first_entry);
  // The first entry: its name, header and table.
  sfx::PackedFileEntry entry;
  static_cast<sfx::File&>(file).Seek(layout.first_entry,
                                     sfx::File::Origin::kBegin);
  sfx::ReadPackedFileEntry(file, &entry);
  const std::size_t entry_header = first + 1 + entry.name.size();
  const std::size_t table = entry_header + sfx::kPackedFileHeaderSize;
  const std::size_t blocks = table + 8 * entry.blocks.size();

  // Cuts: nothing after them, so no marker (or a cut trailer).
  const std::pair<const char*, std::size_t> cuts[] = {
      {"cut-in-stub", h / 2},       {"cut-after-stub", h},
      {"cut-in-header", h + 6},     {"cut-after-header", p_end},
      {"cut-after-count", first},   {"cut-in-entry-name", first + 1},
      {"cut-in-table", table + 3},  {"cut-in-blocks", blocks + 1},
      {"cut-before-offset", m - 4}, {"cut-in-marker", m + 8},
      {"cut-in-checksum", m + 18},
  };
  for (const auto& cut : cuts) {
    Write(dir, std::string(cut.first) + ".exe",
          Bytes(good.begin(), good.begin() + static_cast<long>(cut.second)));
  }

  // Field damage before the marker, sealed again.
  struct Damage {
    const char* name;
    std::function<void(Bytes*)> apply;
  };
  const Damage damages[] = {
      {"offset-negative", [&](Bytes* b) { Set32(b, m - 4, 0xFFFFFFFFu); }},
      {"offset-huge", [&](Bytes* b) { Set32(b, m - 4, 0x7FFFFFFFu); }},
      {"offset-zero", [&](Bytes* b) { Set32(b, m - 4, 0u); }},
      {"offset-at-trailer",
       [&](Bytes* b) { Set32(b, m - 4, static_cast<std::uint32_t>(m - 4)); }},
      {"packed-size-huge", [&](Bytes* b) { Set32(b, h, 0xFFFFFFF0u); }},
      {"packed-size-zero", [&](Bytes* b) { Set32(b, h, 0u); }},
      {"header-size-zero", [&](Bytes* b) { Set32(b, p_end, 0u); }},
      {"header-size-short", [&](Bytes* b) { Set32(b, p_end, 3u); }},
      {"header-size-huge", [&](Bytes* b) { Set32(b, p_end, 0xFFFFFFFFu); }},
      {"decoded-length-huge", [&](Bytes* b) { Set32(b, h + 4, 0x7FFFFFFFu); }},
      {"count-negative", [&](Bytes* b) { Set32(b, p_end + 4, 0xFFFFFFFFu); }},
      {"count-huge", [&](Bytes* b) { Set32(b, p_end + 4, 0x7FFFFFFFu); }},
      {"count-plus-one",
       [&](Bytes* b) {
         Set32(b, p_end + 4, static_cast<std::uint32_t>(layout.file_count + 1));
       }},
      {"count-minus-one",
       [&](Bytes* b) {
         Set32(b, p_end + 4, static_cast<std::uint32_t>(layout.file_count - 1));
       }},
      {"block-count-huge",
       [&](Bytes* b) { Set32(b, entry_header + 8, 0x7FFFFFFFu); }},
      {"block-size-zero", [&](Bytes* b) { Set32(b, table, 0u); }},
      {"block-size-130001", [&](Bytes* b) { Set32(b, table, 130001u); }},
      {"block-size-huge", [&](Bytes* b) { Set32(b, table, 0xFFFFFFFFu); }},
      {"block-claims-too-much",
       [&](Bytes* b) {
         (*b)[entry_header + 20] = 1;  // packed
         Set32(b, blocks, 0x00100000u);
       }},
      {"file-size-wrong",
       [&](Bytes* b) { Set32(b, entry_header, entry.header.FileSize + 1); }},
      {"name-parent",
       [&](Bytes* b) {
         (*b)[first] = 2;
         (*b)[first + 1] = '.';
         (*b)[first + 2] = '.';
         // The rest of the old name now reads as the entry header: the
         // walk goes astray, which the readers must survive too.
       }},
      {"name-with-backslash", [&](Bytes* b) { (*b)[first + 1] = '\\'; }},
      {"name-with-slash", [&](Bytes* b) { (*b)[first + 1] = '/'; }},
      {"name-with-colon", [&](Bytes* b) { (*b)[first + 2] = ':'; }},
      {"name-empty",
       [&](Bytes* b) {
         // Moves the entry header one byte: the entry is garbage now.
         (*b)[first] = 0;
       }},
  };
  for (const Damage& d : damages) {
    Bytes b = good;
    d.apply(&b);
    Reseal(&b, m);
    Write(dir, std::string(d.name) + ".exe", b);
  }

  // Headers rebuilt from damaged streams.
  auto with_header = [&](const Bytes& stream, std::uint32_t header_size) {
    Bytes b(good.begin(), good.begin() + static_cast<long>(h));
    const Bytes packed = sfx::LzhEncodeBuffer(stream.data(), stream.size());
    Put32(&b, static_cast<std::uint32_t>(packed.size()));
    b.insert(b.end(), packed.begin(), packed.end());
    Put32(&b, header_size);
    b.insert(b.end(), good.begin() + static_cast<long>(p_end + 4),
             good.begin() + static_cast<long>(m));
    Set32(&b, b.size() - 4, static_cast<std::uint32_t>(h));
    const std::size_t marker = b.size();
    b.insert(b.end(), good.begin() + static_cast<long>(m),
             good.begin() + static_cast<long>(m + 16));
    Reseal(&b, marker);
    return b;
  };
  Bytes unknown = header;
  unknown[1] = 'i';  // "installer ..."
  Write(dir, "signature-lower-case.exe",
        with_header(unknown, static_cast<std::uint32_t>(unknown.size())));
  Bytes trailing = header;
  trailing[0] = 14;
  trailing.insert(trailing.begin() + 14, ' ');
  Write(dir, "signature-trailing-blank.exe",
        with_header(trailing, static_cast<std::uint32_t>(trailing.size())));
  Bytes huge_list = header;
  Set32(&huge_list, 14, 0x7FFFFFFFu);  // the file count of the header
  Write(dir, "header-count-huge.exe",
        with_header(huge_list, static_cast<std::uint32_t>(huge_list.size())));
  Bytes short_header(header.begin(),
                     header.begin() + static_cast<long>(header.size() / 2));
  Write(dir, "header-stream-short.exe",
        with_header(short_header,
                    static_cast<std::uint32_t>(short_header.size())));
  return 0;
}
