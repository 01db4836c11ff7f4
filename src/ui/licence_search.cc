// The licence search: one walk over the package's file entries.
#include "ui/licence_search.h"

#include <cstdint>
#include <memory>

#include "codec/file_entry.h"
#include "package/container.h"
#include "paths/text.h"
#include "platform/exception.h"
#include "platform/platform.h"

namespace sfx {

namespace {

void ShowError(const char* text) {
  Os().MessageBox(MainWindow, text, "Error", os::kMbIconError);
}

// The box for a walk that did not reach the first entry; false then.
bool ReportWalk(PackageWalk walk) {
  switch (walk) {
    case PackageWalk::kOk:
      return true;
    case PackageWalk::kCannotOpen:
      ShowError("Cannot read data from file. Probably sharing violation.");
      return false;
    case PackageWalk::kNoHeaderOffset:
      ShowError("Installation data is corrupted.");
      return false;
    case PackageWalk::kBadHeaderOffset:
    case PackageWalk::kNoFileCount:
      ShowError("Packed data is corrupted.");
      return false;
  }
  return false;
}

}  // namespace

std::string ExtractLicence(const TInstalRecord& record) {
  std::string path;
  std::string temp = AddTrailingBackslash(Os().GetTempPath());
  std::unique_ptr<File> package;
  std::int32_t file_count = 0;
  if (ReportWalk(OpenPackageAtFirstEntry(&package, &file_count))) {
    // Entries beyond the record's list have no name and cannot be the
    // licence; a corrupt count must not send the walk past the package.
    std::size_t count = file_count > 0 ? static_cast<std::size_t>(file_count)
                                       : 0;
    if (count > record.Files.size()) count = record.Files.size();
    std::string target;  // the licence being written, if any
    try {
      for (std::size_t i = 0; i < count; ++i) {
        std::string name = LastPathComponent(record.Files[i]->FileName);
        // Without a temporary folder the entry would only be passed over.
        bool wanted = !temp.empty() && UpperCaseLatin(name) == kLicenceFileName;
        target = wanted ? temp + name : std::string();
        if (!ExtractPackedFile(*package, wanted ? temp : std::string(),
                               false)) {
          break;
        }
        if (wanted) path = target;
      }
    } catch (const EInOutError&) {
      // The extraction has shown its message; the package is unusable.
      package.reset();
      if (!target.empty()) Os().DeleteFile(target);
      if (!path.empty() && path != target) Os().DeleteFile(path);
      LastExtractedPath.clear();
      Os().ExitProcess(1);
    }
  }
  package.reset();
  LastExtractedPath.clear();
  return path;
}

}  // namespace sfx
