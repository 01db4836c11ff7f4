// Fuzz target: the header stream reader never reads outside its input and
// never allocates more than the input could describe; a header it accepts
// is written back by the packer's writer and reads the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "package/record.h"
#include "package/record_writer.h"

namespace {

bool SameRecord(const sfx::TInstalRecord& a, const sfx::TInstalRecord& b) {
  if (a.Files.size() != b.Files.size() ||
      a.PreRunFiles.size() != b.PreRunFiles.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.Files.size(); ++i) {
    const auto& x = *a.Files[i];
    const auto& y = *b.Files[i];
    if (x.FileName != y.FileName || x.ShortcutName != y.ShortcutName ||
        x.Parameters != y.Parameters || x.TargetDir != y.TargetDir ||
        x.AddToLog != y.AddToLog || x.DesktopIcon != y.DesktopIcon) {
      return false;
    }
  }
  for (std::size_t i = 0; i < a.PreRunFiles.size(); ++i) {
    const auto& x = *a.PreRunFiles[i];
    const auto& y = *b.PreRunFiles[i];
    if (x.FileName != y.FileName || x.Parameters != y.Parameters ||
        x.Directory != y.Directory || x.ExtractFirst != y.ExtractFirst ||
        x.DeleteAfter != y.DeleteAfter || x.RunStage != y.RunStage) {
      return false;
    }
  }
  return a.PackageText1 == b.PackageText1 && a.PackageText2 == b.PackageText2 &&
         a.ProductName == b.ProductName && a.ProductText2 == b.ProductText2 &&
         a.ProductText3 == b.ProductText3 && a.ProductText4 == b.ProductText4 &&
         a.MenuFolderName == b.MenuFolderName &&
         a.BrowsePrompt == b.BrowsePrompt && a.RegistryKey == b.RegistryKey &&
         a.LaunchProgram == b.LaunchProgram && a.InstallDir == b.InstallDir &&
         a.WelcomeLines == b.WelcomeLines &&
         a.ExtraProgEntries == b.ExtraProgEntries &&
         a.FinishLines == b.FinishLines && a.Directories == b.Directories &&
         a.SpaceRequired == b.SpaceRequired && a.InfoText1 == b.InfoText1 &&
         a.InfoText2 == b.InfoText2 && a.InfoText3 == b.InfoText3 &&
         a.Icon == b.Icon && a.Flag1 == b.Flag1 && a.Flag2 == b.Flag2 &&
         a.Flag3 == b.Flag3 && a.FormatVersion == b.FormatVersion;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  sfx::TInstalRecord record;
  if (sfx::ParseRecord(record, data, size) != sfx::ReadResult::kOk) return 0;
  const auto stream = sfx::WriteRecord(record, record.FormatVersion);
  sfx::TInstalRecord again;
  if (sfx::ParseRecord(again, stream.data(), stream.size()) !=
          sfx::ReadResult::kOk ||
      !SameRecord(record, again)) {
    std::abort();
  }
  return 0;
}
