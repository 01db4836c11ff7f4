// The licence search: one walk over the package's file entries.
#include "ui/licence_search.h"

#include <cstdint>
#include <memory>

#include "codec/file_entry.h"
#include "install/package_reports.h"
#include "install/report.h"
#include "package/container.h"
#include "paths/text.h"
#include "platform/platform.h"

namespace sfx {

String ExtractLicence(const TInstalRecord& record) {
  String path;
  String temp = AddTrailingBackslash(Os().GetTempPath());
  std::unique_ptr<File> package;
  std::int32_t file_count = 0;
  if (ReportPackageWalk(OpenPackageAtFirstEntry(&package, &file_count),
                        kPackedDataCorrupted)) {
    // Entries beyond the record's list have no name and cannot be the
    // licence; a corrupt count must not send the walk past the package.
    std::size_t count =
        file_count > 0 ? static_cast<std::size_t>(file_count) : 0;
    if (count > record.Files.size()) count = record.Files.size();
    bool writing = false;  // the current entry is a licence being written
    bool unusable = false;
    for (std::size_t i = 0; i < count; ++i) {
      String name = LastPathComponent(record.Files[i]->FileName);
      // Without a temporary folder the entry would only be passed over.
      writing = !temp.empty() && UpperCaseLatin(name) == kLicenceFileName;
      if (!ExtractPackedFile(*package, writing ? temp : String(), false,
                             &unusable)) {
        break;
      }
      // The path the extraction wrote to, so that exactly that file is
      // shown and deleted later.
      if (writing) path = LastExtractedPath;
      writing = false;
    }
    if (unusable) {
      // The extraction has shown its message; the package is unusable.
      // Nothing extracted may stay behind in the temporary folder.
      package.reset();
      // LastExtractedPath names the broken file only when the failing entry
      // got as far as choosing its target in the temporary folder.
      if (writing && LastExtractedPath.size() > temp.size() &&
          LastExtractedPath.compare(0, temp.size(), temp) == 0) {
        Os().DeleteFile(LastExtractedPath);
      }
      if (!path.empty()) Os().DeleteFile(path);
      LastExtractedPath.clear();
      EndProcess(ExitCode::kDamaged);
    }
  }
  package.reset();
  LastExtractedPath.clear();
  return path;
}

}  // namespace sfx
