// The figures the installer window paints under the destination field: the
// free space of the target drive and the space the package needs.
#ifndef SFX_UI_PAINT_TEXTS_H_
#define SFX_UI_PAINT_TEXTS_H_

#include <cstdint>

#include "base/string.h"

namespace sfx {

// "Disk free space: " + the figure in GB above 1 GiB, else in MB.
String FreeSpaceLine(std::int64_t free_bytes);

// "Space required: " + bytes up to 1024, KB above, MB above 1 MiB.
String SpaceRequiredLine(std::int32_t required_bytes);

// "Copying file " + the last path component + " to:".
String CopyingLine(const String& extracted_path);

}  // namespace sfx

#endif  // SFX_UI_PAINT_TEXTS_H_
