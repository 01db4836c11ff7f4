// Finding the licence in the package: the walk over the file entries that
// extracts every entry named "LICENSE.TXT" (compared upper-cased) into the
// temporary folder and passes over all others.
#ifndef SFX_UI_LICENCE_SEARCH_H_
#define SFX_UI_LICENCE_SEARCH_H_

#include "base/string.h"
#include "package/record.h"

namespace sfx {

inline constexpr char kLicenceFileName[] = "LICENSE.TXT";

// Extracts the package's licence file into the temporary folder and returns
// its full path (the last one when several entries carry the name), or an
// empty text when the package has none or cannot be read; a failure to read
// the package is reported in a box owned by MainWindow first. Clears
// LastExtractedPath. A block that cannot be read or written ends the
// process with exit code 1 after the extraction's own message (and after
// deleting a licence already extracted).
String ExtractLicence(const TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_UI_LICENCE_SEARCH_H_
