// The extra values of the uninstall key. The package header has no field
// for the version or the publisher; sfxtool writes them into the installer
// program's VERSIONINFO, which is read here.
#include "install/uninstall_registration.h"

#include "install/version_info.h"
#include "paths/concat.h"

namespace sfx {
namespace {

// One place that turns the value names into strings keeps the program small.
void SetText(RegistryKey& key, const char* name, const String& value) {
  if (!value.empty()) key.SetString(name, value);
}
void SetNumber(RegistryKey& key, const char* name, std::uint32_t value) {
  key.SetDword(name, value);
}

}  // namespace

void WriteUninstallDetails(RegistryKey& key, const TInstalRecord& record,
                           const String& uninstaller_path,
                           const String& uninstall_string,
                           const String& install_location) {
  SetText(key, "DisplayIcon", uninstaller_path);
  SetText(key, "InstallLocation", install_location);
  SetNumber(key, "NoModify", 1);
  SetNumber(key, "NoRepair", 1);
  const bool blank =
      !uninstall_string.empty() && uninstall_string.back() == ' ';
  SetText(key, "QuietUninstallString",
          Concat({uninstall_string, std::string_view(blank ? "/S" : " /S")}));
  if (record.SpaceRequired > 0) {
    const std::uint32_t kilobytes =
        (static_cast<std::uint32_t>(record.SpaceRequired) + 1023) / 1024;
    SetNumber(key, "EstimatedSize", kilobytes);
  }
  const Vector<std::uint8_t> version = Os().LoadOwnVersionInfo();
  SetText(key, "DisplayVersion", VersionString(version, "ProductVersion"));
  SetText(key, "Publisher", VersionString(version, "CompanyName"));
}

}  // namespace sfx
