// Texts of the installer window's two views.
#include "ui/paint_texts.h"

#include "paths/text.h"
#include "ui/format.h"

namespace sfx {

namespace {
constexpr double kKiB = 1024.0;
constexpr double kMiB = 1048576.0;
constexpr double kGiB = 1073741824.0;
}  // namespace

String FreeSpaceLine(std::int64_t free_bytes) {
  String line = "Disk free space: ";
  if (free_bytes > 1073741824) {
    return line + FormatOneDecimal(static_cast<double>(free_bytes) / kGiB) +
           " GB";
  }
  return line + FormatOneDecimal(static_cast<double>(free_bytes) / kMiB) +
         " MB";
}

String SpaceRequiredLine(std::int32_t required_bytes) {
  String size;
  if (required_bytes <= 1024) {
    size = FormatInteger(required_bytes) + " bytes";
  } else {
    size = FormatOneDecimal(required_bytes / kKiB) + " KB";
  }
  if (required_bytes > 1048576) {
    size = FormatOneDecimal(required_bytes / kMiB) + " MB";
  }
  return "Space required: " + size;
}

String CopyingLine(const String& extracted_path) {
  return "Copying file " + LastPathComponent(extracted_path) + " to:";
}

}  // namespace sfx
