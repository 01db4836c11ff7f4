// The details of the uninstall registration that Add/Remove Programs shows
// beside the product's name: version, publisher, icon, location, size, the
// quiet command and the absence of Modify/Repair (docs/uninstaller.md).
#ifndef SFX_INSTALL_UNINSTALL_REGISTRATION_H_
#define SFX_INSTALL_UNINSTALL_REGISTRATION_H_

#include "base/string.h"
#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Writes, into the open uninstall key `key`, "DisplayIcon" (the
// uninstaller, which carries the product's icon), "InstallLocation",
// "NoModify" and "NoRepair" (1), "QuietUninstallString" (the uninstall
// command with "/S"), "EstimatedSize" (the package's space requirement in
// KB, when it has one) and "DisplayVersion" and "Publisher" (the
// program's own ProductVersion and CompanyName, when it has them). These
// values are extras: one the system refuses is left out and the run goes
// on.
void WriteUninstallDetails(RegistryKey& key, const TInstalRecord& record,
                           const String& uninstaller_path,
                           const String& uninstall_string,
                           const String& install_location);

}  // namespace sfx

#endif  // SFX_INSTALL_UNINSTALL_REGISTRATION_H_
