// The installation record's reader: the versioned header stream from
// "Installer 1.2" to "Installer 2.4". Every read is bounds-checked through
// a reader with a sticky failure flag, and every count is compared with
// what the bytes left could hold before anything is allocated for it.
#include "package/record.h"

#include <cstring>

#include "paths/text.h"
#include "platform/file_io.h"
#include "platform/platform.h"

namespace sfx {
namespace {

constexpr const char* kSignatures[] = {"Installer 1.2", "Installer 2.1",
                                       "Installer 2.2", "Installer 2.3",
                                       "Installer 2.4"};
constexpr char kCr = '\r';

// Reads little-endian fields from a byte range; after the first read past
// the end every read yields zero and ok() stays false.
// The record's reader: the numbers of base::ByteReader and the record's
// two kinds of strings.
class StreamReader : public ByteReader {
 public:
  using ByteReader::ByteReader;

  String ShortString() {
    const std::size_t length = Byte();
    const std::uint8_t* p = Take(length);
    return p ? String(reinterpret_cast<const char*>(p), length) : String();
  }
  // A short string padded to 256 bytes; the padding may hold anything.
  String FixedSlot() {
    const std::uint8_t* p = Take(kFixedSlotSize);
    return p ? String(reinterpret_cast<const char*>(p + 1), p[0]) : String();
  }
  void Bytes(Vector<std::uint8_t>* out, std::size_t n) {
    const std::uint8_t* p = Take(n);
    if (p) out->assign(p, p + n);
  }
  // Reads a count; a count of `item_size`-byte items that the rest of the
  // stream cannot hold fails the reader. Zero or less means no items.
  std::int32_t Count(std::size_t item_size) {
    const std::int32_t count = Int32();
    if (count <= 0) return 0;
    if (static_cast<std::size_t>(count) > remaining() / item_size) {
      Fail();
      return 0;
    }
    return count;
  }
};

void ReadStringList(Vector<String>& list, StreamReader& in) {
  list.clear();
  const std::int32_t count = in.Count(1);  // a short string is 1 byte at least
  for (std::int32_t i = 0; i < count && in.ok(); ++i) {
    list.push_back(in.ShortString());
  }
}

// Reads the text fields in the order given, each with `read` (one loop
// instead of one read, move and release per field).
void ReadTexts(StreamReader& in, String (StreamReader::*read)(),
               std::initializer_list<String*> fields) {
  for (String* field : fields) *field = (in.*read)();
}

void ReadFileRecord(TInstallFileRecord& entry, StreamReader& in, int version) {
  ReadTexts(in, &StreamReader::FixedSlot,
            {&entry.FileName, &entry.ShortcutName, &entry.Parameters,
             &entry.TargetDir});
  if (version >= kFormat22) entry.AddToLog = in.Byte();
  if (version >= kFormat24) entry.DesktopIcon = in.Byte();
}

void ReadPreRunRecord(TPreRunFileRecord& entry, StreamReader& in) {
  ReadTexts(in, &StreamReader::FixedSlot,
            {&entry.FileName, &entry.Parameters, &entry.Directory});
  entry.ExtractFirst = in.Byte();
  entry.DeleteAfter = in.Byte();
  entry.RunStage = in.Int32();
}

// Splits `text` at CR into the given fields in order; fields left over get
// the empty text and parts beyond the last field are dropped.
void SplitInto(String text, std::initializer_list<String*> fields) {
  for (String* field : fields) *field = SplitAtDelimiter(kCr, text);
}

std::size_t FileRecordSize(int version) {
  return 4 * kFixedSlotSize + (version >= kFormat22 ? 1 : 0) +
         (version >= kFormat24 ? 1 : 0);
}

}  // namespace

String FormatSignature(int version_code) {
  if (version_code < kFormat12 || version_code > kFormat24) return String();
  return kSignatures[version_code - kFormat12];
}

int FormatVersionOf(const String& signature) {
  for (int code = kFormat12; code <= kFormat24; ++code) {
    if (signature == kSignatures[code - kFormat12]) return code;
  }
  return 0;
}

ReadResult ParseRecord(TInstalRecord& record, const std::uint8_t* data,
                       std::size_t size) {
  StreamReader in(data, size);
  const int version = FormatVersionOf(in.ShortString());
  if (!in.ok()) return ReadResult::kCorrupted;
  if (version == 0) return ReadResult::kUnknownSignature;
  record.FormatVersion = version;

  record.Files.clear();
  const std::int32_t file_count = in.Count(FileRecordSize(version));
  for (std::int32_t i = 0; i < file_count && in.ok(); ++i) {
    auto entry = std::make_unique<TInstallFileRecord>();
    ReadFileRecord(*entry, in, version);
    record.Files.push_back(std::move(entry));
  }
  ReadStringList(record.WelcomeLines, in);
  ReadStringList(record.ExtraProgEntries, in);
  ReadStringList(record.FinishLines, in);
  ReadStringList(record.Directories, in);
  SplitInto(in.ShortString(), {&record.PackageText1, &record.PackageText2});
  SplitInto(in.ShortString(), {&record.ProductName, &record.ProductText2,
                               &record.ProductText3, &record.ProductText4});
  ReadTexts(in, &StreamReader::ShortString,
            {&record.MenuFolderName, &record.BrowsePrompt, &record.RegistryKey,
             &record.LaunchProgram, &record.InstallDir});
  record.SpaceRequired = in.Int32();

  record.PreRunFiles.clear();
  record.Icon.clear();
  if (version >= kFormat21) {
    const std::int32_t count = in.Count(kPreRunEntrySize);
    for (std::int32_t i = 0; i < count && in.ok(); ++i) {
      auto entry = std::make_unique<TPreRunFileRecord>();
      ReadPreRunRecord(*entry, in);
      record.PreRunFiles.push_back(std::move(entry));
    }
  }
  if (version >= kFormat23) {
    const std::int32_t icon_size = in.Count(1);
    if (icon_size > 0)
      in.Bytes(&record.Icon, static_cast<std::size_t>(icon_size));
    ReadTexts(in, &StreamReader::ShortString,
              {&record.InfoText1, &record.InfoText2, &record.InfoText3});
  }
  if (version >= kFormat24) {
    record.Flag1 = in.Byte();
    record.Flag2 = in.Byte();
    record.Flag3 = in.Byte();
  }
  return in.ok() ? ReadResult::kOk : ReadResult::kCorrupted;
}

}  // namespace sfx
