// Writes the header stream: the exact inverse of the record reader.
#include "package/record_writer.h"

#include <limits>

#include "base/bytes.h"
#include "paths/text.h"

namespace sfx {
namespace {

class StreamWriter {
 public:
  void Byte(std::uint8_t value) { out_.push_back(value); }
  void Int32(std::int32_t value) {
    ByteWriter(&out_).Uint32(static_cast<std::uint32_t>(value));
  }
  void ShortString(const std::string& text, const std::string& field) {
    Check(text, field);
    out_.push_back(static_cast<std::uint8_t>(text.size()));
    out_.insert(out_.end(), text.begin(), text.end());
  }
  // The unused rest of a slot is written as zeros so that builds are
  // reproducible.
  void FixedSlot(const std::string& text, const std::string& field) {
    Check(text, field);
    out_.push_back(static_cast<std::uint8_t>(text.size()));
    out_.insert(out_.end(), text.begin(), text.end());
    out_.insert(out_.end(), kFixedSlotSize - 1 - text.size(), 0);
  }
  void Count(std::size_t count, const std::string& field) {
    if (count >
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw RecordWriteError(field + ": too many items");
    }
    Int32(static_cast<std::int32_t>(count));
  }
  void StringList(const std::vector<std::string>& list,
                  const std::string& field) {
    Count(list.size(), field);
    for (std::size_t i = 0; i < list.size(); ++i) {
      ShortString(list[i], field + "[" + std::to_string(i) + "]");
    }
  }
  void Bytes(const std::vector<std::uint8_t>& bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }
  std::vector<std::uint8_t> Take() { return std::move(out_); }

 private:
  static void Check(const std::string& text, const std::string& field) {
    if (text.size() > kShortTextMax) {
      throw RecordWriteError(field + ": " + std::to_string(text.size()) +
                             " bytes, more than the 255 a text may hold");
    }
  }

  std::vector<std::uint8_t> out_;
};

// Joins the fields that share one header text with CR, leaving out the
// empty fields at the end (the reader gives those back as empty texts).
std::string JoinAtCr(
    std::initializer_list<std::pair<const std::string*, const char*>> fields) {
  std::string joined;
  bool first = true;
  for (const auto& field : fields) {
    if (field.first->find('\r') != std::string::npos) {
      throw RecordWriteError(std::string(field.second) +
                             ": a carriage return cannot be stored here");
    }
    if (!first) joined += '\r';
    joined += *field.first;
    first = false;
  }
  while (!joined.empty() && joined.back() == '\r') joined.pop_back();
  return joined;
}

void Require(bool ok, const std::string& field, const std::string& version) {
  if (!ok) {
    throw RecordWriteError(field + ": needs format " + version + " or later");
  }
}

}  // namespace

std::vector<std::uint8_t> WriteRecord(const TInstalRecord& record,
                                      int version_code) {
  const std::string signature = FormatSignature(version_code);
  if (signature.empty()) {
    throw RecordWriteError("unknown format version code " +
                           std::to_string(version_code));
  }
  const int v = version_code;
  StreamWriter out;
  out.ShortString(signature, "signature");

  out.Count(record.Files.size(), "Files");
  for (std::size_t i = 0; i < record.Files.size(); ++i) {
    const TInstallFileRecord& file = *record.Files[i];
    const std::string field = "Files[" + std::to_string(i) + "]";
    out.FixedSlot(file.FileName, field + ".FileName");
    out.FixedSlot(file.ShortcutName, field + ".ShortcutName");
    out.FixedSlot(file.Parameters, field + ".Parameters");
    out.FixedSlot(file.TargetDir, field + ".TargetDir");
    if (v >= kFormat22) {
      out.Byte(file.AddToLog);
    } else {
      Require(file.AddToLog == 1, field + ".AddToLog", "2.2");
    }
    if (v >= kFormat24) {
      out.Byte(file.DesktopIcon);
    } else {
      Require(file.DesktopIcon == 0, field + ".DesktopIcon", "2.4");
    }
  }
  out.StringList(record.WelcomeLines, "WelcomeLines");
  out.StringList(record.ExtraProgEntries, "ExtraProgEntries");
  out.StringList(record.FinishLines, "FinishLines");
  out.StringList(record.Directories, "Directories");
  out.ShortString(JoinAtCr({{&record.PackageText1, "PackageText1"},
                            {&record.PackageText2, "PackageText2"}}),
                  "PackageText1 and PackageText2 together");
  out.ShortString(JoinAtCr({{&record.ProductName, "ProductName"},
                            {&record.ProductText2, "ProductText2"},
                            {&record.ProductText3, "ProductText3"},
                            {&record.ProductText4, "ProductText4"}}),
                  "ProductName and ProductText2-4 together");
  out.ShortString(record.MenuFolderName, "MenuFolderName");
  out.ShortString(record.BrowsePrompt, "BrowsePrompt");
  out.ShortString(record.RegistryKey, "RegistryKey");
  out.ShortString(record.LaunchProgram, "LaunchProgram");
  out.ShortString(record.InstallDir, "InstallDir");
  out.Int32(record.SpaceRequired);

  if (v >= kFormat21) {
    out.Count(record.PreRunFiles.size(), "PreRunFiles");
    for (std::size_t i = 0; i < record.PreRunFiles.size(); ++i) {
      const TPreRunFileRecord& entry = *record.PreRunFiles[i];
      const std::string field = "PreRunFiles[" + std::to_string(i) + "]";
      out.FixedSlot(entry.FileName, field + ".FileName");
      out.FixedSlot(entry.Parameters, field + ".Parameters");
      out.FixedSlot(entry.Directory, field + ".Directory");
      out.Byte(entry.ExtractFirst);
      out.Byte(entry.DeleteAfter);
      out.Int32(entry.RunStage);
    }
  } else {
    Require(record.PreRunFiles.empty(), "PreRunFiles", "2.1");
  }
  if (v >= kFormat23) {
    out.Count(record.Icon.size(), "Icon");
    out.Bytes(record.Icon);
    out.ShortString(record.InfoText1, "InfoText1");
    out.ShortString(record.InfoText2, "InfoText2");
    out.ShortString(record.InfoText3, "InfoText3");
  } else {
    Require(record.Icon.empty(), "Icon", "2.3");
    Require(record.InfoText1 == " " && record.InfoText2 == " " &&
                record.InfoText3 == " ",
            "InfoText1-3", "2.3");
  }
  if (v >= kFormat24) {
    out.Byte(record.Flag1);
    out.Byte(record.Flag2);
    out.Byte(record.Flag3);
  } else {
    Require(record.Flag1 == 1 && record.Flag2 == 1 && record.Flag3 == 1,
            "Flag1-3", "2.4");
  }
  return out.Take();
}

}  // namespace sfx
