// The packer's side of the installation record: writes a TInstalRecord as
// the versioned header stream that ReadFromStream reads back, for every
// version from "Installer 1.2" to "Installer 2.4". Host only.
#ifndef SFX_PACKAGE_RECORD_WRITER_H_
#define SFX_PACKAGE_RECORD_WRITER_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/record.h"

namespace sfx {

// A record that the chosen version cannot carry as it is. The message
// names the field ("Files[2].TargetDir: ...").
class RecordWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The header stream of `record` in version `version_code`, so that
// ParseRecord gives `record` back. Raises RecordWriteError instead of
// cutting or dropping anything: a text longer than 255 bytes, a CR inside
// one of the fields that share a header text, or a field the version does
// not hold (pre-run entries before 2.1, AddToLog 0 before 2.2, the icon
// and info texts before 2.3, DesktopIcon and the flags before 2.4).
std::vector<std::uint8_t> WriteRecord(const TInstalRecord& record,
                                      int version_code);

}  // namespace sfx

#endif  // SFX_PACKAGE_RECORD_WRITER_H_
