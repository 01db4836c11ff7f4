// Reads the string values of a VERSIONINFO resource (the program's own,
// which sfxtool writes from the manifest's product_version and publisher):
// the installer takes the product version and the publisher of the
// uninstall registration from there, since the package header has no field
// for them.
#ifndef SFX_INSTALL_VERSION_INFO_H_
#define SFX_INSTALL_VERSION_INFO_H_

#include <cstdint>

#include "base/string.h"
#include "base/vector.h"

namespace sfx {

// The value of the string `key` (e.g. "ProductVersion") in the first
// string table of `resource`, converted to 8-bit text (characters beyond
// Latin-1 become '?'). Empty when the resource is malformed or has no such
// value.
String VersionString(const Vector<std::uint8_t>& resource, const char* key);

}  // namespace sfx

#endif  // SFX_INSTALL_VERSION_INFO_H_
