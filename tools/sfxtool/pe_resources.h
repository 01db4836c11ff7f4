// The resources of a 32-bit PE program: reading its resource tree,
// building a new one, and putting it back in place of the old resource
// section. sfxtool uses this to give the installer program (and the
// uninstaller) the vendor's icon, version information and application
// manifest (docs/vendor.md).
#ifndef SFXTOOL_PE_RESOURCES_H_
#define SFXTOOL_PE_RESOURCES_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfxtool {

// Any PE or icon file that cannot be handled; the message says why.
class PeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtGroupIcon = 14;
constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kRtManifest = 24;
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

// A resource type or name: a number, or a text when `text` is not empty.
struct ResourceName {
  std::uint16_t id = 0;
  std::u16string text;
  bool operator==(const ResourceName& other) const {
    return id == other.id && text == other.text;
  }
};

struct Resource {
  ResourceName type;
  ResourceName name;
  std::uint16_t language = kLanguageEnglishUs;
  std::vector<std::uint8_t> data;
};

// The resources of `image`, in tree order; empty when it has none. Raises
// PeError when the image or its tree is malformed.
std::vector<Resource> ReadResources(const std::vector<std::uint8_t>& image);

// The bytes of a resource section for `resources` placed at `section_rva`.
std::vector<std::uint8_t> BuildResourceSection(
    const std::vector<Resource>& resources, std::uint32_t section_rva);

// `image` with its resource section replaced by one holding `resources`.
// The section keeps its place; sections behind it (only base relocations
// are accepted there) move, and the headers follow. Raises PeError.
std::vector<std::uint8_t> ReplaceResources(
    const std::vector<std::uint8_t>& image,
    const std::vector<Resource>& resources);

// Replaces every icon of `resources` by the images of the .ico file
// `ico`: one RT_ICON per image (ids from 1) and one RT_GROUP_ICON that
// keeps the name of the first group the program had ("SETUP" for the
// installer), or 1. Raises PeError for a malformed .ico, and with
// `check_images` also for an image that is neither a PNG nor a bitmap.
void SetIcon(std::vector<Resource>* resources,
             const std::vector<std::uint8_t>& ico, bool check_images = true);

// Removes the resources of `type` and adds `data` as `type`/`id`.
void SetResource(std::vector<Resource>* resources, std::uint16_t type,
                 std::uint16_t id, std::vector<std::uint8_t> data);

}  // namespace sfxtool

#endif  // SFXTOOL_PE_RESOURCES_H_
