// The installer's readers with their messages (see package_reports.h).
#include "install/package_reports.h"

#include "base/vector.h"
#include "install/report.h"
#include "paths/concat.h"
#include "paths/macros.h"

namespace sfx {
namespace {

constexpr char kSharingMessage[] =
    "Cannot read data from file. Probably sharing violation.";

// An unreadable installer file: exit code 1 when the process ends.
void ShowError(const String& text) { ReportFailure(ExitCode::kDamaged, text); }

// Shows `text` and ends the process with exit code 1.
void EndWithMessage(const String& text) {
  ShowError(text);
  EndProcess(ExitCode::kDamaged);
}

}  // namespace

bool VerifyPackage(const String& path, bool skip_checksum) {
  const PackageCheck check = CheckInstallerFile(path, skip_checksum);
  if (check == PackageCheck::kReadFailed) {
    ShowError(Concat({"Cannot open ", path, " file."}));
    return false;
  }
  return check == PackageCheck::kOk;
}

ReadResult ReadFromStream(TInstalRecord& record, const std::uint8_t* data,
                          std::size_t size) {
  const ReadResult result = ParseRecord(record, data, size);
  if (result == ReadResult::kUnknownSignature) {
    ShowError("Data is corrupted.");
    return result;
  }
  ProgName = record.ProductName;
  return result;
}

void ReadPackageHeader(TInstalRecord& record) {
  Vector<std::uint8_t> decoded;
  std::int32_t file_count = 0;
  switch (LoadInstallerHeader(&decoded, &file_count)) {
    case HeaderLoad::kOk:
      break;
    case HeaderLoad::kCannotOpen:
      EndWithMessage(kSharingMessage);
      return;
    case HeaderLoad::kCorrupted:
      EndWithMessage(kPackedDataCorrupted);
      return;
  }
  const ReadResult result =
      ReadFromStream(record, decoded.data(), decoded.size());
  if (result == ReadResult::kUnknownSignature) {
    // ReadFromStream has shown "Data is corrupted." already.
    EndProcess(ExitCode::kDamaged);
    return;
  }
  // Every later reader takes file entry i to be Files[i]: a header that
  // lists another number of files than the package holds is damaged.
  if (result != ReadResult::kOk ||
      record.Files.size() != static_cast<std::size_t>(file_count)) {
    EndWithMessage(kPackedDataCorrupted);
  }
}

bool ReportPackageWalk(PackageWalk walk, const char* file_count_message) {
  switch (walk) {
    case PackageWalk::kOk:
      return true;
    case PackageWalk::kCannotOpen:
      ShowError(kSharingMessage);
      return false;
    case PackageWalk::kNoHeaderOffset:
      ShowError("Installation data is corrupted.");
      return false;
    case PackageWalk::kBadHeaderOffset:
      ShowError(kPackedDataCorrupted);
      return false;
    case PackageWalk::kNoFileCount:
      ShowError(file_count_message);
      return false;
  }
  return false;
}

bool ExtractPackedFile(File& package, const String& directory, bool keep_newer,
                       bool* package_unusable) {
  const ExtractStatus status =
      ExtractPackedEntry(package, directory, keep_newer);
  if (package_unusable) *package_unusable = false;
  if (status == ExtractStatus::kDone) return true;
  ReportFailure(ExitCode::kStepFailed,
                ExtractFailureMessage(status, LastExtractedPath), 0);
  if (package_unusable) {
    *package_unusable = status != ExtractStatus::kCannotCreate &&
                        status != ExtractStatus::kBadName;
  }
  return false;
}

}  // namespace sfx
