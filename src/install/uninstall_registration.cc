// The extra values of the uninstall key. The package header has no field
// for the version or the publisher; sfxtool writes them into the installer
// program's VERSIONINFO, which is read here.
#include "install/uninstall_registration.h"

#include "install/version_info.h"
#include "paths/concat.h"

namespace sfx {

void WriteUninstallDetails(RegistryKey& key, const TInstalRecord& record,
                           const std::string& uninstaller_path,
                           const std::string& uninstall_string,
                           const std::string& install_location) {
  key.SetString("DisplayIcon", uninstaller_path);
  key.SetString("InstallLocation", install_location);
  key.SetDword("NoModify", 1);
  key.SetDword("NoRepair", 1);
  const bool blank =
      !uninstall_string.empty() && uninstall_string.back() == ' ';
  key.SetString("QuietUninstallString",
                Concat({uninstall_string, blank ? "/S" : " /S"}));
  if (record.SpaceRequired > 0) {
    const std::uint32_t kilobytes =
        (static_cast<std::uint32_t>(record.SpaceRequired) + 1023) / 1024;
    key.SetDword("EstimatedSize", kilobytes);
  }
  const std::vector<std::uint8_t> version = Os().LoadOwnVersionInfo();
  const std::string product_version = VersionString(version, "ProductVersion");
  if (!product_version.empty())
    key.SetString("DisplayVersion", product_version);
  const std::string publisher = VersionString(version, "CompanyName");
  if (!publisher.empty()) key.SetString("Publisher", publisher);
}

}  // namespace sfx
