// Reads and writes the resource tree of a PE image: three levels of
// directories (type, name, language) over data entries that point at the
// resource bytes by RVA. Only 32-bit images (PE32) are handled, which is
// what the installer and uninstaller are.
#include "pe_resources.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "base/bytes.h"

namespace sfxtool {
namespace {

constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRelocationDirectory = 5;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;

std::uint32_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at > b.size() || b.size() - at < 2) throw PeError("truncated PE image");
  return sfx::LoadUint16(&b[at]);
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return sfx::LoadUint32(&b[at]);
}
void Put16(std::vector<std::uint8_t>* b, std::size_t at, std::uint32_t v) {
  sfx::StoreUint16(&(*b)[at], static_cast<std::uint16_t>(v));
}
void Put32(std::vector<std::uint8_t>* b, std::size_t at, std::uint32_t v) {
  sfx::StoreUint32(&(*b)[at], v);
}
std::uint32_t AlignUp(std::uint32_t v, std::uint32_t a) {
  return (v + a - 1) / a * a;
}

struct Section {
  std::size_t header;  // offset of its 40-byte header
  std::string name;
  std::uint32_t virtual_size, rva, raw_size, raw_offset;
};

struct Layout {
  std::size_t optional;  // offset of the optional header
  std::uint32_t file_alignment, section_alignment;
  std::vector<Section> sections;
  std::size_t resources = SIZE_MAX;  // index into sections
};

std::size_t DirectoryAt(const Layout& l, std::uint32_t index) {
  return l.optional + 96 + 8 * index;
}

// The optional header's CheckSum of `image`: its 16-bit words summed with
// the carries folded back, the field itself left out, plus the length.
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& image,
                         std::size_t field) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i >= field && i < field + 4) continue;
    sum += image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

// Checks that image `index` (from 1) of an .ico, `size` bytes at `data`,
// is one Windows can draw, a PNG or a bitmap, and returns the planes and
// bits per pixel it has; a group entry that leaves them 0 gets these.
std::pair<std::uint16_t, std::uint16_t> IconImageDepth(const std::uint8_t* data,
                                                       std::uint32_t size,
                                                       std::uint32_t index) {
  static const std::uint8_t kPng[8] = {0x89, 'P',  0x4E, 0x47,
                                       0x0D, 0x0A, 0x1A, 0x0A};
  if (size >= 8 && std::equal(kPng, kPng + 8, data)) return {1, 32};
  const std::uint32_t header = size >= 4 ? sfx::LoadUint32(data) : 0;
  if (header == 12 && size >= 12) {  // BITMAPCOREHEADER
    return {sfx::LoadUint16(data + 8), sfx::LoadUint16(data + 10)};
  }
  // BITMAPINFOHEADER (40 bytes) or a successor (52, 56, 108, 124).
  if (header >= 40 && header <= 124 && size >= header) {
    return {sfx::LoadUint16(data + 12), sfx::LoadUint16(data + 14)};
  }
  throw PeError("icon image " + std::to_string(index) +
                " is neither a PNG nor a bitmap");
}

Layout ParseLayout(const std::vector<std::uint8_t>& image) {
  if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') {
    throw PeError("not a PE program (no MZ header)");
  }
  const std::uint32_t pe = Get32(image, 0x3C);
  if (Get32(image, pe) != 0x4550) throw PeError("not a PE program");
  Layout l;
  l.optional = pe + 24;
  if (Get16(image, l.optional) != 0x10B) {
    throw PeError("only 32-bit (PE32) programs are handled");
  }
  if (Get32(image, l.optional + 92) <= kRelocationDirectory) {
    throw PeError("the program has too few data directories");
  }
  l.section_alignment = Get32(image, l.optional + 32);
  l.file_alignment = Get32(image, l.optional + 36);
  if (l.file_alignment == 0 || l.section_alignment == 0) {
    throw PeError("the program has no alignment");
  }
  const std::uint32_t count = Get16(image, pe + 6);
  const std::size_t first = l.optional + Get16(image, pe + 20);
  const std::uint32_t resource_rva =
      Get32(image, DirectoryAt(l, kResourceDirectory));
  for (std::uint32_t i = 0; i < count; ++i) {
    Section s;
    s.header = first + 40 * i;
    Get32(image, s.header + 36);  // bounds
    s.name.assign(reinterpret_cast<const char*>(&image[s.header]), 8);
    s.name = s.name.c_str();
    s.virtual_size = Get32(image, s.header + 8);
    s.rva = Get32(image, s.header + 12);
    s.raw_size = Get32(image, s.header + 16);
    s.raw_offset = Get32(image, s.header + 20);
    if (s.raw_offset > image.size() ||
        image.size() - s.raw_offset < s.raw_size) {
      throw PeError("section " + s.name + " lies outside the file");
    }
    if (resource_rva != 0 && s.rva == resource_rva) {
      l.resources = l.sections.size();
    }
    l.sections.push_back(s);
  }
  return l;
}

// Reads the tree of one resource section.
class TreeReader {
 public:
  TreeReader(const std::vector<std::uint8_t>& image, const Section& s)
      : image_(image), section_(s) {}

  void Read(std::vector<Resource>* out) { Walk(0, 0, Resource(), out); }

 private:
  std::uint32_t At(std::uint32_t offset, std::uint32_t n) const {
    if (offset > section_.raw_size || section_.raw_size - offset < n) {
      throw PeError("the resource tree points outside its section");
    }
    return section_.raw_offset + offset;
  }

  ResourceName NameOf(std::uint32_t field) const {
    ResourceName name;
    if (field & kSubdirectoryFlag) {
      const std::uint32_t at = At(field & ~kSubdirectoryFlag, 2);
      const std::uint32_t length = Get16(image_, at);
      At((field & ~kSubdirectoryFlag) + 2, 2 * length);
      for (std::uint32_t i = 0; i < length; ++i) {
        name.text += static_cast<char16_t>(Get16(image_, at + 2 + 2 * i));
      }
    } else {
      name.id = static_cast<std::uint16_t>(field);
    }
    return name;
  }

  void Walk(std::uint32_t offset, int level, Resource partial,
            std::vector<Resource>* out) {
    if (level > 2) throw PeError("the resource tree is too deep");
    const std::uint32_t at = At(offset, 16);
    const std::uint32_t entries =
        Get16(image_, at + 12) + Get16(image_, at + 14);
    At(offset + 16, 8 * entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::uint32_t name = Get32(image_, at + 16 + 8 * i);
      const std::uint32_t target = Get32(image_, at + 20 + 8 * i);
      Resource r = partial;
      if (level == 0) r.type = NameOf(name);
      if (level == 1) r.name = NameOf(name);
      if (level == 2) r.language = static_cast<std::uint16_t>(name);
      if (target & kSubdirectoryFlag) {
        Walk(target & ~kSubdirectoryFlag, level + 1, r, out);
        continue;
      }
      if (level != 2) throw PeError("a resource lacks a level of the tree");
      const std::uint32_t entry = At(target, 16);
      const std::uint32_t rva = Get32(image_, entry);
      const std::uint32_t size = Get32(image_, entry + 4);
      if (rva < section_.rva)
        throw PeError("resource data outside its section");
      const std::uint32_t data = At(rva - section_.rva, size);
      r.data.assign(image_.begin() + data, image_.begin() + data + size);
      out->push_back(std::move(r));
    }
  }

  const std::vector<std::uint8_t>& image_;
  const Section& section_;
};

// Tree order: names (by text) before numbers (ascending).
bool NameLess(const ResourceName& a, const ResourceName& b) {
  const bool a_text = !a.text.empty();
  const bool b_text = !b.text.empty();
  if (a_text != b_text) return a_text;
  return a_text ? a.text < b.text : a.id < b.id;
}

struct NameOrder {
  bool operator()(const ResourceName& a, const ResourceName& b) const {
    return NameLess(a, b);
  }
};

using Languages = std::map<std::uint16_t, const Resource*>;
using Names = std::map<ResourceName, Languages, NameOrder>;
using Types = std::map<ResourceName, Names, NameOrder>;

}  // namespace

std::vector<Resource> ReadResources(const std::vector<std::uint8_t>& image) {
  const Layout l = ParseLayout(image);
  std::vector<Resource> out;
  if (l.resources == SIZE_MAX) return out;
  TreeReader(image, l.sections[l.resources]).Read(&out);
  return out;
}

std::vector<std::uint8_t> BuildResourceSection(
    const std::vector<Resource>& resources, std::uint32_t section_rva) {
  Types types;
  for (const Resource& r : resources) {
    types[r.type][r.name][r.language] = &r;
  }
  // Sizes: directories, then data entries, then name strings, then data.
  std::uint32_t directories = 16 + 8 * static_cast<std::uint32_t>(types.size());
  std::uint32_t count = 0;
  std::uint32_t strings = 0;
  auto string_size = [](const ResourceName& n) {
    return n.text.empty() ? 0u
                          : 2 + 2 * static_cast<std::uint32_t>(n.text.size());
  };
  for (const auto& [type, names] : types) {
    directories += 16 + 8 * static_cast<std::uint32_t>(names.size());
    strings += string_size(type);
    for (const auto& [name, languages] : names) {
      directories += 16 + 8 * static_cast<std::uint32_t>(languages.size());
      strings += string_size(name);
      count += static_cast<std::uint32_t>(languages.size());
    }
  }
  const std::uint32_t entries_at = directories;
  std::uint32_t string_at = entries_at + 16 * count;
  std::uint32_t data_at = AlignUp(string_at + strings, 8);
  std::uint32_t total = data_at;
  for (const Resource& r : resources) {
    total = AlignUp(total + static_cast<std::uint32_t>(r.data.size()), 8);
  }
  std::vector<std::uint8_t> out(total, 0);

  std::uint32_t next_directory = 0;
  std::uint32_t next_entry = entries_at;
  // Writes a directory header for `named` + `numbered` entries and returns
  // the offset of its first entry slot.
  auto directory = [&out, &next_directory](std::size_t named,
                                           std::size_t numbered) {
    const std::uint32_t at = next_directory;
    Put16(&out, at + 12, static_cast<std::uint32_t>(named));
    Put16(&out, at + 14, static_cast<std::uint32_t>(numbered));
    next_directory += 16 + 8 * static_cast<std::uint32_t>(named + numbered);
    return at + 16;
  };
  auto name_field = [&out, &string_at](const ResourceName& n) {
    if (n.text.empty()) return static_cast<std::uint32_t>(n.id);
    const std::uint32_t at = string_at;
    Put16(&out, at, static_cast<std::uint32_t>(n.text.size()));
    for (std::size_t i = 0; i < n.text.size(); ++i) {
      Put16(&out, at + 2 + 2 * i, n.text[i]);
    }
    string_at += 2 + 2 * static_cast<std::uint32_t>(n.text.size());
    return at | kSubdirectoryFlag;
  };
  auto counts = [](const auto& map) {
    std::size_t named = 0;
    for (const auto& item : map) named += item.first.text.empty() ? 0 : 1;
    return std::make_pair(named, map.size() - named);
  };

  // Breadth first: the root, every type directory, every name directory.
  const auto [root_named, root_numbered] = counts(types);
  std::uint32_t slot = directory(root_named, root_numbered);
  std::vector<std::pair<std::uint32_t, const Names*>> type_slots;
  for (const auto& [type, names] : types) {
    type_slots.emplace_back(slot, &names);
    Put32(&out, slot, name_field(type));
    slot += 8;
  }
  std::vector<std::pair<std::uint32_t, const Languages*>> name_slots;
  for (const auto& [type_slot, names] : type_slots) {
    const auto [named, numbered] = counts(*names);
    Put32(&out, type_slot + 4, next_directory | kSubdirectoryFlag);
    std::uint32_t s = directory(named, numbered);
    for (const auto& [name, languages] : *names) {
      name_slots.emplace_back(s, &languages);
      Put32(&out, s, name_field(name));
      s += 8;
    }
  }
  for (const auto& [name_slot, languages] : name_slots) {
    Put32(&out, name_slot + 4, next_directory | kSubdirectoryFlag);
    std::uint32_t s = directory(0, languages->size());
    for (const auto& [language, resource] : *languages) {
      Put32(&out, s, language);
      Put32(&out, s + 4, next_entry);
      const std::uint32_t size =
          static_cast<std::uint32_t>(resource->data.size());
      Put32(&out, next_entry, section_rva + data_at);
      Put32(&out, next_entry + 4, size);
      std::copy(resource->data.begin(), resource->data.end(),
                out.begin() + data_at);
      data_at = AlignUp(data_at + size, 8);
      next_entry += 16;
      s += 8;
    }
  }
  return out;
}

std::vector<std::uint8_t> ReplaceResources(
    const std::vector<std::uint8_t>& image,
    const std::vector<Resource>& resources) {
  const Layout l = ParseLayout(image);
  if (l.resources == SIZE_MAX) {
    throw PeError("the program has no resource section to replace");
  }
  const Section& rsrc = l.sections[l.resources];
  for (std::size_t i = l.resources + 1; i < l.sections.size(); ++i) {
    if (l.sections[i].name != ".reloc") {
      throw PeError("section " + l.sections[i].name +
                    " follows the resources; only .reloc may");
    }
  }
  const std::vector<std::uint8_t> data =
      BuildResourceSection(resources, rsrc.rva);
  const std::uint32_t new_size = static_cast<std::uint32_t>(data.size());
  const std::uint32_t new_raw = AlignUp(new_size, l.file_alignment);
  const std::int64_t file_delta =
      static_cast<std::int64_t>(new_raw) - rsrc.raw_size;
  const std::int64_t rva_delta =
      static_cast<std::int64_t>(AlignUp(new_size, l.section_alignment)) -
      AlignUp(std::max(rsrc.virtual_size, 1u), l.section_alignment);

  std::vector<std::uint8_t> out(image.begin(), image.begin() + rsrc.raw_offset);
  out.insert(out.end(), data.begin(), data.end());
  out.resize(rsrc.raw_offset + new_raw, 0);
  const std::size_t rest = rsrc.raw_offset + rsrc.raw_size;
  out.insert(out.end(), image.begin() + rest, image.end());

  Put32(&out, rsrc.header + 8, new_size);
  Put32(&out, rsrc.header + 16, new_raw);
  Put32(&out, DirectoryAt(l, kResourceDirectory) + 4, new_size);
  for (std::size_t i = l.resources + 1; i < l.sections.size(); ++i) {
    const Section& s = l.sections[i];
    const std::uint32_t rva = static_cast<std::uint32_t>(s.rva + rva_delta);
    Put32(&out, s.header + 12, rva);
    if (s.raw_offset != 0) {
      Put32(&out, s.header + 20,
            static_cast<std::uint32_t>(s.raw_offset + file_delta));
    }
    for (std::uint32_t d = 0; d < 16; ++d) {
      if (d == 4) continue;  // the security entry holds a file offset
      const std::size_t at = DirectoryAt(l, d);
      const std::uint32_t v = Get32(image, at);
      if (v >= s.rva && v < s.rva + std::max(s.virtual_size, s.raw_size)) {
        Put32(&out, at, static_cast<std::uint32_t>(v + rva_delta));
      }
    }
  }
  Put32(&out, l.optional + 56,
        static_cast<std::uint32_t>(Get32(image, l.optional + 56) + rva_delta));
  Put32(&out, l.optional + 8,
        static_cast<std::uint32_t>(Get32(image, l.optional + 8) + file_delta));
  // A program built with a CheckSum keeps a true one; the installer's
  // stays 0, as signing needs.
  if (Get32(image, l.optional + 64) != 0) {
    Put32(&out, l.optional + 64, PeChecksum(out, l.optional + 64));
  }
  return out;
}

void SetIcon(std::vector<Resource>* resources,
             const std::vector<std::uint8_t>& ico, bool check_images) {
  if (ico.size() < 6 || Get16(ico, 0) != 0 || Get16(ico, 2) != 1) {
    throw PeError("the icon is not an .ico file");
  }
  const std::uint32_t count = Get16(ico, 4);
  if (count == 0 || ico.size() < 6 + 16 * std::size_t{count}) {
    throw PeError("the icon file holds no complete image directory");
  }
  ResourceName group_name;
  group_name.id = 1;
  for (const Resource& r : *resources) {
    if (r.type.text.empty() && r.type.id == kRtGroupIcon) {
      group_name = r.name;
      break;
    }
  }
  resources->erase(std::remove_if(resources->begin(), resources->end(),
                                  [](const Resource& r) {
                                    return r.type.text.empty() &&
                                           (r.type.id == kRtIcon ||
                                            r.type.id == kRtGroupIcon);
                                  }),
                   resources->end());
  Resource group;
  group.type.id = kRtGroupIcon;
  group.name = group_name;
  group.data.assign(ico.begin(), ico.begin() + 6);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint32_t size = Get32(ico, entry + 8);
    const std::uint32_t offset = Get32(ico, entry + 12);
    if (offset > ico.size() || ico.size() - offset < size || size == 0) {
      throw PeError("icon image " + std::to_string(i + 1) +
                    " lies outside the .ico file");
    }
    const auto [planes, bits] =
        check_images ? IconImageDepth(&ico[offset], size, i + 1)
                     : std::make_pair(std::uint16_t{0}, std::uint16_t{0});
    Resource image;
    image.type.id = kRtIcon;
    image.name.id = static_cast<std::uint16_t>(i + 1);
    image.data.assign(ico.begin() + offset, ico.begin() + offset + size);
    resources->push_back(std::move(image));
    // The group entry: the directory entry with the image's id in place of
    // its file offset. Windows picks the image to draw by the entry's bits
    // per pixel, which many .ico writers leave 0.
    const std::size_t at = group.data.size();
    group.data.insert(group.data.end(), ico.begin() + entry,
                      ico.begin() + entry + 12);
    if (Get16(group.data, at + 4) == 0) Put16(&group.data, at + 4, planes);
    if (Get16(group.data, at + 6) == 0) Put16(&group.data, at + 6, bits);
    sfx::ByteWriter(&group.data).Uint16(static_cast<std::uint16_t>(i + 1));
  }
  resources->push_back(std::move(group));
}

void SetResource(std::vector<Resource>* resources, std::uint16_t type,
                 std::uint16_t id, std::vector<std::uint8_t> data) {
  resources->erase(std::remove_if(resources->begin(), resources->end(),
                                  [type](const Resource& r) {
                                    return r.type.text.empty() &&
                                           r.type.id == type;
                                  }),
                   resources->end());
  Resource r;
  r.type.id = type;
  r.name.id = id;
  r.data = std::move(data);
  resources->push_back(std::move(r));
}

}  // namespace sfxtool
