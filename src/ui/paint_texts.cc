// Texts of the installer window's two views.
#include "ui/paint_texts.h"

#include "paths/concat.h"
#include "paths/text.h"
#include "ui/format.h"

namespace sfx {

namespace {
// The units as powers of two.
constexpr unsigned kKiBShift = 10;
constexpr unsigned kMiBShift = 20;
constexpr unsigned kGiBShift = 30;
}  // namespace

String FreeSpaceLine(std::int64_t free_bytes) {
  const bool gib = free_bytes > 1073741824;
  return Concat({"Disk free space: ",
                 FormatOneDecimal(static_cast<std::uint64_t>(free_bytes),
                                  gib ? kGiBShift : kMiBShift),
                 gib ? " GB" : " MB"});
}

String SpaceRequiredLine(std::int32_t required_bytes) {
  const bool bytes = required_bytes <= 1024;
  const bool mib = required_bytes > 1048576;
  const String size =
      bytes ? FormatInteger(required_bytes)
            : FormatOneDecimal(static_cast<std::uint32_t>(required_bytes),
                               mib ? kMiBShift : kKiBShift);
  return Concat({"Space required: ", size,
                 std::string_view(bytes ? " bytes" : (mib ? " MB" : " KB"))});
}

String CopyingLine(const String& extracted_path) {
  return Concat({"Copying file ", LastPathComponent(extracted_path), " to:"});
}

}  // namespace sfx
