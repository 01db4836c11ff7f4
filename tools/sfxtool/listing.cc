// Formats the listing of an installer.
#include "listing.h"

#include <cinttypes>

#include "ansi.h"
#include "base/dos_time.h"

namespace sfxtool {
namespace {

constexpr const char* kStageNames[] = {"before", "after", "log-exec",
                                       "log-postexec"};

std::string StageName(std::int32_t stage) {
  return stage >= 0 && stage <= 3 ? kStageNames[stage] : std::to_string(stage);
}

std::uint64_t PackedSize(const sfx::PackedFileEntry& entry) {
  std::uint64_t total = 0;
  for (const auto& block : entry.blocks) total += block.BlockSize;
  return total;
}

// The byte as UTF-8, or "" when it is no printable character: a control
// character, DEL, or one of the bytes the code page leaves undefined
// (which come out of AnsiToUtf8 as C1 control characters).
std::string PrintableUtf8(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return std::string();
  const std::string utf8 = AnsiToUtf8(std::string(1, static_cast<char>(c)));
  const bool c1 = static_cast<unsigned char>(utf8[0]) == 0xC2 &&
                  static_cast<unsigned char>(utf8[1]) < 0xA0;
  return c1 ? std::string() : utf8;
}

std::string Json(const std::string& ansi) {
  std::string out = "\"";
  for (unsigned char c : ansi) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        const std::string utf8 = PrintableUtf8(c);
        if (utf8.empty()) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x",
                        static_cast<unsigned>(c));
          out += escape;
        } else {
          out += utf8;
        }
      }
    }
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out += ", ";
    out += Json(list[i]);
  }
  return out + "]";
}

// `utf8` followed by blanks up to `width` characters. printf's %-24s counts
// bytes, which would leave a column short by one for every letter beyond
// ASCII; each character is taken as one column of the terminal.
std::string PaddedTo(std::string utf8, std::size_t width) {
  std::size_t shown = 0;
  for (unsigned char c : utf8) shown += (c & 0xC0) != 0x80;
  if (shown < width) utf8.append(width - shown, ' ');
  return utf8;
}

void Line(std::FILE* out, const char* label, const std::string& ansi) {
  std::fprintf(out, "%-20s%s\n", label, ShownText(ansi).c_str());
}

void Lines(std::FILE* out, const char* label,
           const std::vector<std::string>& list) {
  if (list.empty()) return;
  for (std::size_t i = 0; i < list.size(); ++i) {
    Line(out, i == 0 ? label : "", list[i]);
  }
}

// The warnings, then what verify fails on (PackageFaults): the installer
// reads such a package without a word, so list shows both as warnings.
std::vector<std::string> Warnings(const InstallerInfo& info) {
  std::vector<std::string> all = info.warnings;
  for (std::string& fault : PackageFaults(info)) all.push_back(fault);
  return all;
}

}  // namespace

std::string ShownText(const std::string& ansi) {
  std::string out;
  for (unsigned char c : ansi) {
    const std::string utf8 = PrintableUtf8(c);
    if (utf8.empty()) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += utf8;
    }
  }
  return out;
}

std::string DosTimeText(std::uint32_t dos) {
  const sfx::CivilTime t = sfx::DosTimeFields(dos);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

void PrintListing(std::FILE* out, const InstallerInfo& info) {
  const sfx::TInstalRecord& r = info.record;
  std::fprintf(out, "%-20s%s\n",
               "Format:", sfx::FormatSignature(r.FormatVersion).c_str());
  std::fprintf(out,
               "%-20s%" PRId64 " bytes, header at %" PRId64
               ", marker at %" PRId64 "\n",
               "Installer:", info.file_size, info.layout.header_offset,
               info.check.marker_offset);
  Line(out, "Product:", r.ProductName);
  if (!r.ProductText2.empty() || !r.ProductText3.empty() ||
      !r.ProductText4.empty()) {
    Lines(out,
          "Product texts:", {r.ProductText2, r.ProductText3, r.ProductText4});
  }
  if (!r.PackageText1.empty() || !r.PackageText2.empty()) {
    Lines(out, "Package texts:", {r.PackageText1, r.PackageText2});
  }
  Line(out, "Destination:", r.InstallDir);
  Line(out, "Menu folder:", r.MenuFolderName);
  Line(out, "Registry key:", r.RegistryKey);
  Line(out, "Launch program:", r.LaunchProgram);
  Line(out, "Browse prompt:", r.BrowsePrompt);
  std::fprintf(out, "%-20s%" PRId32 " bytes\n",
               "Space required:", r.SpaceRequired);
  Lines(out, "Welcome:", r.WelcomeLines);
  Lines(out, "Finish:", r.FinishLines);
  Lines(out, "Directories:", r.Directories);
  Lines(out, "Extra log entries:", r.ExtraProgEntries);
  for (std::size_t i = 0; i < r.PreRunFiles.size(); ++i) {
    const sfx::TPreRunFileRecord& p = *r.PreRunFiles[i];
    std::string text =
        "[" + StageName(p.RunStage) + "] " + ShownText(p.FileName);
    if (!p.Parameters.empty()) text += " " + ShownText(p.Parameters);
    if (!p.Directory.empty()) text += " (in " + ShownText(p.Directory) + ")";
    if (p.ExtractFirst) text += " extract-first";
    if (p.DeleteAfter) text += " delete-after";
    std::fprintf(out, "%-20s%s\n", i == 0 ? "Pre-run:" : "", text.c_str());
  }
  if (r.FormatVersion >= sfx::kFormat23) {
    std::fprintf(out, "%-20s%zu bytes\n", "Icon:", r.Icon.size());
    Lines(out, "Info texts:", {r.InfoText1, r.InfoText2, r.InfoText3});
  }
  if (r.FormatVersion >= sfx::kFormat24) {
    std::fprintf(out, "%-20s%u %u %u\n", "Flags:", r.Flag1, r.Flag2, r.Flag3);
  }
  for (const std::string& warning : Warnings(info)) {
    std::fprintf(out, "%-20s%s\n", "Warning:", ShownText(warning).c_str());
  }

  std::fprintf(out, "\n%-19s %12s %12s %-5s %-24s %-20s %s\n", "Date Time",
               "Size", "Packed", "Attr", "Name", "Target directory",
               "Shortcut");
  const std::string rule(100, '-');
  std::fprintf(out, "%s\n", rule.c_str());
  std::uint64_t size_total = 0;
  std::uint64_t packed_total = 0;
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    const sfx::PackedFileEntry& e = info.entries[i];
    const sfx::TInstallFileRecord& f = *r.Files[i];
    std::string attr;
    attr += e.header.Packed ? 'P' : '.';
    attr += f.AddToLog ? 'L' : '.';
    attr += f.DesktopIcon ? 'D' : '.';
    const std::uint64_t packed = PackedSize(e);
    std::string shortcut = ShownText(f.ShortcutName);
    if (!f.Parameters.empty()) shortcut += " [" + ShownText(f.Parameters) + "]";
    std::fprintf(out, "%-19s %12" PRIu32 " %12" PRIu64 " %-5s %s %s %s\n",
                 DosTimeText(e.header.DosDateTime).c_str(), e.header.FileSize,
                 packed, attr.c_str(), PaddedTo(ShownText(e.name), 24).c_str(),
                 PaddedTo(ShownText(f.TargetDir), 20).c_str(),
                 shortcut.c_str());
    size_total += e.header.FileSize;
    packed_total += packed;
  }
  std::fprintf(out, "%s\n", rule.c_str());
  std::fprintf(out, "%-19s %12" PRIu64 " %12" PRIu64 "       %zu files\n", "",
               size_total, packed_total, info.entries.size());
  std::fprintf(
      out, "Attr: P packed, L added to the installation log, D desktop icon\n");
}

void PrintJsonListing(std::FILE* out, const InstallerInfo& info) {
  const sfx::TInstalRecord& r = info.record;
  std::fprintf(out, "{\n");
  std::fprintf(out, "  \"format\": %s,\n",
               Json(sfx::FormatSignature(r.FormatVersion)).c_str());
  std::fprintf(out, "  \"size\": %" PRId64 ",\n", info.file_size);
  std::fprintf(out, "  \"header_offset\": %" PRId64 ",\n",
               info.layout.header_offset);
  std::fprintf(out, "  \"marker_offset\": %" PRId64 ",\n",
               info.check.marker_offset);
  std::fprintf(
      out, "  \"skip_checksum\": %s,\n",
      info.has_size_block && info.size_block.skip_checksum ? "true" : "false");
  std::fprintf(out, "  \"product_name\": %s,\n", Json(r.ProductName).c_str());
  std::fprintf(
      out, "  \"product_texts\": %s,\n",
      JsonList({r.ProductText2, r.ProductText3, r.ProductText4}).c_str());
  std::fprintf(out, "  \"package_texts\": %s,\n",
               JsonList({r.PackageText1, r.PackageText2}).c_str());
  std::fprintf(out, "  \"install_dir\": %s,\n", Json(r.InstallDir).c_str());
  std::fprintf(out, "  \"menu_folder\": %s,\n", Json(r.MenuFolderName).c_str());
  std::fprintf(out, "  \"browse_prompt\": %s,\n", Json(r.BrowsePrompt).c_str());
  std::fprintf(out, "  \"registry_key\": %s,\n", Json(r.RegistryKey).c_str());
  std::fprintf(out, "  \"launch_program\": %s,\n",
               Json(r.LaunchProgram).c_str());
  std::fprintf(out, "  \"space_required\": %" PRId32 ",\n", r.SpaceRequired);
  std::fprintf(out, "  \"welcome\": %s,\n", JsonList(r.WelcomeLines).c_str());
  std::fprintf(out, "  \"finish\": %s,\n", JsonList(r.FinishLines).c_str());
  std::fprintf(out, "  \"directories\": %s,\n",
               JsonList(r.Directories).c_str());
  std::fprintf(out, "  \"extra_log_entries\": %s,\n",
               JsonList(r.ExtraProgEntries).c_str());
  std::fprintf(out, "  \"icon_size\": %zu,\n", r.Icon.size());
  std::fprintf(out, "  \"info_texts\": %s,\n",
               JsonList({r.InfoText1, r.InfoText2, r.InfoText3}).c_str());
  std::fprintf(out, "  \"flags\": [%u, %u, %u],\n", r.Flag1, r.Flag2, r.Flag3);
  std::fprintf(out, "  \"warnings\": %s,\n", JsonList(Warnings(info)).c_str());
  std::fprintf(out, "  \"pre_run\": [");
  for (std::size_t i = 0; i < r.PreRunFiles.size(); ++i) {
    const sfx::TPreRunFileRecord& p = *r.PreRunFiles[i];
    std::fprintf(
        out,
        "%s\n    {\"file\": %s, \"parameters\": %s, \"directory\": %s, "
        "\"extract_first\": %s, \"delete_after\": %s, \"stage\": %s}",
        i ? "," : "", Json(p.FileName).c_str(), Json(p.Parameters).c_str(),
        Json(p.Directory).c_str(), p.ExtractFirst ? "true" : "false",
        p.DeleteAfter ? "true" : "false", Json(StageName(p.RunStage)).c_str());
  }
  std::fprintf(out, "%s],\n", r.PreRunFiles.empty() ? "" : "\n  ");
  std::fprintf(out, "  \"files\": [");
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    const sfx::PackedFileEntry& e = info.entries[i];
    const sfx::TInstallFileRecord& f = *r.Files[i];
    std::fprintf(out,
                 "%s\n    {\"name\": %s, \"file_name\": %s, \"size\": %" PRIu32
                 ", \"packed_size\": %" PRIu64
                 ", \"time\": %s, \"target_dir\": %s, "
                 "\"shortcut\": %s, \"parameters\": %s, \"packed\": %s, "
                 "\"add_to_log\": %s, \"desktop_icon\": %s, \"blocks\": %zu}",
                 i ? "," : "", Json(e.name).c_str(), Json(f.FileName).c_str(),
                 e.header.FileSize, PackedSize(e),
                 Json(DosTimeText(e.header.DosDateTime)).c_str(),
                 Json(f.TargetDir).c_str(), Json(f.ShortcutName).c_str(),
                 Json(f.Parameters).c_str(), e.header.Packed ? "true" : "false",
                 f.AddToLog ? "true" : "false",
                 f.DesktopIcon ? "true" : "false", e.blocks.size());
  }
  std::fprintf(out, "%s]\n}\n", info.entries.empty() ? "" : "\n  ");
}

}  // namespace sfxtool
