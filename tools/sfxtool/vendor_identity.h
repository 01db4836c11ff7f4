// The vendor's identity on the built setup.exe: the manifest keys
// product_version, publisher, execution_level, icon and uninstaller, and
// the resources they become in the installer program (icon, VERSIONINFO,
// application manifest). See docs/vendor.md.
#ifndef SFXTOOL_VENDOR_IDENTITY_H_
#define SFXTOOL_VENDOR_IDENTITY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_writer.h"

namespace sfxtool {

// The manifest keys this file reads; manifest.cc accepts them.
#define SFXTOOL_VENDOR_KEYS \
  "product_version", "publisher", "execution_level", "uninstaller"

constexpr char kDefaultExecutionLevel[] = "requireAdministrator";

struct VendorIdentity {
  std::string product_name;     // UTF-8
  std::string product_version;  // UTF-8, may be empty
  std::string publisher;        // UTF-8, may be empty
  std::string execution_level = kDefaultExecutionLevel;
  std::vector<std::uint8_t> icon;  // the .ico file, may be empty
  std::string icon_path;           // where it was read, empty without one
  bool uninstaller = false;        // pack TIV_UNINSTAL.EXE
  bool space_given = false;        // the manifest sets space_required
};

// Reads the identity keys of the manifest at `path` (already loaded by
// LoadManifest, so only these keys are checked here; a control character
// in product_version or publisher is refused). Raises
// ManifestError with the line and the key.
VendorIdentity LoadVendorIdentity(const std::string& path);

// What becomes of `product_version` in the version resource, as a warning
// (its four numbers are cut or clamped, or there are none), or empty when
// the text is up to four numbers from 0 to 65535 with dots between, then
// any text.
std::string VersionWarning(const std::string& text);

// A warning when the uninstall entry will show a character of `text` (the
// publisher, the version) as '?': the installer writes it with Windows'
// ANSI calls, keeping only Latin-1. Empty when it shows every character.
std::string UninstallTextWarning(const std::string& text);

// The VERSIONINFO resource: FileVersion and ProductVersion (numbers from
// product_version, text as given), ProductName, CompanyName,
// FileDescription `description`, in a US English / Unicode table.
std::vector<std::uint8_t> BuildVersionInfo(const VendorIdentity& identity,
                                           const std::string& description);

// The application manifest: execution level, common controls 6, DPI
// awareness and the supported Windows versions.
std::string BuildApplicationManifest(const VendorIdentity& identity,
                                     const std::string& description);

// `program` (a PE image) with the identity's resources: its icon when one
// is given, the version information and the application manifest.
// Raises PeError.
std::vector<std::uint8_t> ApplyIdentity(
    const std::vector<std::uint8_t>& program, const VendorIdentity& identity,
    const std::string& description);

// Adds the uninstaller `program_path` to `plan` as TIV_UNINSTAL.EXE in the
// destination, with the quoted registry key as its parameters, and counts
// its size in SpaceRequired unless the manifest gave that.
void AddUninstaller(sfx::PackagePlan* plan, const std::string& program_path,
                    const VendorIdentity& identity);

}  // namespace sfxtool

#endif  // SFXTOOL_VENDOR_IDENTITY_H_
