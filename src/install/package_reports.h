// The installer's readers of its own file, with their messages: each calls
// the reader below it (package/container.h, package/record.h,
// codec/file_entry.h), which only returns what went wrong, and turns a
// failure into the "Error" box, the log line and the exit code
// (install/report.h).
#ifndef SFX_INSTALL_PACKAGE_REPORTS_H_
#define SFX_INSTALL_PACKAGE_REPORTS_H_

#include <cstddef>
#include <cstdint>

#include "base/string.h"
#include "codec/file_entry.h"
#include "package/container.h"
#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// The message of a package whose layout or header is damaged; one copy for
// every reader that shows it.
inline constexpr char kPackedDataCorrupted[] = "Packed data is corrupted.";

// Finds the marker (first occurrence) and checks the stored checksum unless
// `skip_checksum`. Sets MarkerOffset when the marker was found. Shows
// "Cannot open <path> file." when the file cannot be opened or read.
bool VerifyPackage(const String& path, bool skip_checksum);

// ParseRecord that publishes the product name as %PROGNAME% (ProgName)
// and shows "Data is corrupted." (exit code 1) on kUnknownSignature.
ReadResult ReadFromStream(TInstalRecord& record, const std::uint8_t* data,
                          std::size_t size);

// Reads and decodes the header block into `record`. On any failure shows
// its message and ends the process with exit code 1.
void ReadPackageHeader(TInstalRecord& record);

// True for kOk. Otherwise shows the walk's "Error" box (owner MainWindow)
// and returns false; an unreadable file count shows `file_count_message`
// (callers word it differently).
bool ReportPackageWalk(PackageWalk walk, const char* file_count_message);

// ExtractPackedEntry that reports its failure (code 5, no owner window) and
// returns false. After kCannotCreate or kBadName the package is at the next
// entry; after the other failures it is unusable, which
// `*package_unusable` (when given) tells.
bool ExtractPackedFile(File& package, const String& directory, bool keep_newer,
                       bool* package_unusable = nullptr);

}  // namespace sfx

#endif  // SFX_INSTALL_PACKAGE_REPORTS_H_
