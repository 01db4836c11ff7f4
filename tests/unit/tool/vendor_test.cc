// The vendor's identity: the PE resource writer against its own reader
// over a program image with a relocation section behind the resources,
// the VERSIONINFO writer against the installer's reader, and the uninstall
// key's details written from them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "fake_platform.h"
#include "install/uninstall_registration.h"
#include "install/version_info.h"
#include "manifest.h"
#include "pe_resources.h"
#include "vendor_identity.h"

namespace sfxtool {
namespace {

// Little-endian fields, bounds-checked.
void Put32(std::vector<std::uint8_t>* b, std::size_t at, std::uint32_t v) {
  sfx::StoreUint32(&b->at(at + 3) - 3, v);
}
void Put16(std::vector<std::uint8_t>* b, std::size_t at, std::uint32_t v) {
  sfx::StoreUint16(&b->at(at + 1) - 1, static_cast<std::uint16_t>(v));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return sfx::LoadUint32(&b.at(at + 3) - 3);
}

constexpr std::size_t kOptional = 0x40 + 24;
constexpr std::size_t kSections = kOptional + 224;

// A PE32 image: headers, an empty .rsrc at RVA 0x1000 and a .reloc at
// 0x2000 whose bytes are a recognisable pattern.
std::vector<std::uint8_t> ProgramImage() {
  std::vector<std::uint8_t> image(0x600, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(&image, 0x3C, 0x40);
  image[0x40] = 'P';
  image[0x41] = 'E';
  Put16(&image, 0x40 + 6, 2);     // sections
  Put16(&image, 0x40 + 20, 224);  // optional header size
  Put16(&image, kOptional, 0x10B);
  Put32(&image, kOptional + 32, 0x1000);  // section alignment
  Put32(&image, kOptional + 36, 0x200);   // file alignment
  Put32(&image, kOptional + 56, 0x3000);  // size of image
  Put32(&image, kOptional + 92, 16);
  Put32(&image, kOptional + 96 + 16, 0x1000);  // resources
  Put32(&image, kOptional + 96 + 20, 16);
  Put32(&image, kOptional + 96 + 40, 0x2000);  // base relocations
  Put32(&image, kOptional + 96 + 44, 0x10);
  const char* names[] = {".rsrc", ".reloc"};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t h = kSections + 40 * i;
    std::copy(names[i], names[i] + std::string(names[i]).size(),
              image.begin() + h);
    Put32(&image, h + 8, i == 0 ? 16 : 0x10);
    Put32(&image, h + 12, static_cast<std::uint32_t>(0x1000 * (i + 1)));
    Put32(&image, h + 16, 0x200);
    Put32(&image, h + 20, static_cast<std::uint32_t>(0x200 * (i + 1)));
  }
  for (std::size_t i = 0; i < 0x10; ++i)
    image[0x400 + i] = static_cast<std::uint8_t>(0xA0 + i);
  return image;
}

// An .ico with two images of different sizes: a PNG whose directory entry
// leaves planes and bits per pixel 0, and a 32-bit bitmap.
std::vector<std::uint8_t> IconFile() {
  std::vector<std::uint8_t> ico(6 + 32, 0);
  Put16(&ico, 2, 1);
  Put16(&ico, 4, 2);
  const std::size_t sizes[] = {40, 5000};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t entry = 6 + 16 * i;
    ico[entry] = static_cast<std::uint8_t>(16 * (i + 1));
    ico[entry + 1] = ico[entry];
    if (i == 1) Put16(&ico, entry + 6, 32);
    Put32(&ico, entry + 8, static_cast<std::uint32_t>(sizes[i]));
    Put32(&ico, entry + 12, static_cast<std::uint32_t>(ico.size()));
    const std::size_t image = ico.size();
    for (std::size_t k = 0; k < sizes[i]; ++k) {
      ico.push_back(static_cast<std::uint8_t>(k * (i + 3)));
    }
    if (i == 0) {
      std::copy_n("\x89PNG\r\n\x1A\n", 8, ico.begin() + image);
    } else {
      Put32(&ico, image, 40);       // BITMAPINFOHEADER
      Put16(&ico, image + 12, 1);   // planes
      Put16(&ico, image + 14, 32);  // bits per pixel
    }
  }
  return ico;
}

VendorIdentity Identity() {
  VendorIdentity identity;
  identity.product_name = "Zählwerk";
  identity.product_version = "2.10.3-beta";
  identity.publisher = "Vendor & Söhne";
  identity.icon = IconFile();
  return identity;
}

const Resource* Find(const std::vector<Resource>& rs, std::uint16_t type,
                     std::uint16_t id) {
  for (const Resource& r : rs) {
    if (r.type.text.empty() && r.type.id == type && r.name.text.empty() &&
        r.name.id == id) {
      return &r;
    }
  }
  return nullptr;
}

TEST(PeResourcesTest, IdentityRoundTripsAndRelocationsMove) {
  const std::vector<std::uint8_t> image = ProgramImage();
  // A named group icon in the program keeps its name.
  std::vector<Resource> old_resources(1);
  old_resources[0].type.id = kRtGroupIcon;
  old_resources[0].name.text = u"SETUP";
  old_resources[0].data = {1, 2, 3};
  const std::vector<std::uint8_t> with_group =
      ReplaceResources(image, old_resources);
  ASSERT_EQ(ReadResources(with_group).size(), 1u);

  const VendorIdentity identity = Identity();
  const std::vector<std::uint8_t> out =
      ApplyIdentity(with_group, identity, "Zählwerk Setup");
  const std::vector<Resource> rs = ReadResources(out);
  const std::vector<std::uint8_t> ico = identity.icon;
  ASSERT_NE(Find(rs, kRtIcon, 1), nullptr);
  ASSERT_NE(Find(rs, kRtIcon, 2), nullptr);
  EXPECT_EQ(Find(rs, kRtIcon, 1)->data,
            std::vector<std::uint8_t>(ico.begin() + 38, ico.begin() + 78));
  EXPECT_EQ(Find(rs, kRtIcon, 2)->data,
            std::vector<std::uint8_t>(ico.begin() + 78, ico.end()));
  int groups = 0;
  for (const Resource& r : rs) {
    if (r.type.id == kRtGroupIcon) {
      ++groups;
      EXPECT_EQ(r.name.text, u"SETUP");
      ASSERT_EQ(r.data.size(), 6u + 2 * 14);
      EXPECT_EQ(r.data[6 + 14 + 12], 2);  // the second entry's id
      EXPECT_EQ(r.data[6 + 4], 1);        // the PNG's planes and bits,
      EXPECT_EQ(r.data[6 + 6], 32);       // filled in
    }
  }
  EXPECT_EQ(groups, 1);
  ASSERT_NE(Find(rs, kRtManifest, 1), nullptr);
  const std::string manifest(Find(rs, kRtManifest, 1)->data.begin(),
                             Find(rs, kRtManifest, 1)->data.end());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("version=\"2.10.3.0\""), std::string::npos);
  EXPECT_NE(manifest.find("Common-Controls"), std::string::npos);

  // The relocation section moved behind the grown resources, bytes intact,
  // and the headers follow it.
  const std::uint32_t reloc_rva = Get32(out, kSections + 40 + 12);
  const std::uint32_t reloc_raw = Get32(out, kSections + 40 + 20);
  EXPECT_GT(reloc_rva, 0x2000u);
  EXPECT_EQ(reloc_rva % 0x1000, 0u);
  EXPECT_EQ(Get32(out, kOptional + 96 + 40), reloc_rva);
  EXPECT_EQ(Get32(out, kOptional + 56), reloc_rva + 0x1000);
  EXPECT_EQ(out[reloc_raw], 0xA0);
  EXPECT_EQ(out[reloc_raw + 15], 0xAF);
  EXPECT_EQ(Get32(out, kOptional + 96 + 20), Get32(out, kSections + 8));

  // The installer's CheckSum stays 0, as signing needs; a program built
  // with one (the uninstaller) gets it anew, not the old one.
  EXPECT_EQ(Get32(out, kOptional + 64), 0u);
  std::vector<std::uint8_t> summed = image;
  Put32(&summed, kOptional + 64, 0x1234);
  EXPECT_NE(Get32(ApplyIdentity(summed, identity, "d"), kOptional + 64),
            0x1234u);
}

TEST(PeResourcesTest, RejectsWhatItCannotHandle) {
  std::vector<std::uint8_t> no_reloc_after = ProgramImage();
  no_reloc_after[kSections + 40 + 1] = 'd';  // ".deloc"
  std::vector<std::uint8_t> bad_ico = IconFile();
  Put32(&bad_ico, 6 + 16 + 8, 100000);  // image beyond the file
  std::vector<Resource> rs;
  EXPECT_THROW(ReplaceResources(no_reloc_after, rs), PeError);
  EXPECT_THROW(SetIcon(&rs, bad_ico), PeError);
  EXPECT_THROW(SetIcon(&rs, {0, 0, 2, 0, 1, 0}), PeError);
  std::vector<std::uint8_t> not_an_image = IconFile();
  not_an_image[38] = 'X';  // the PNG signature
  EXPECT_THROW(SetIcon(&rs, not_an_image), PeError);
  EXPECT_THROW(ReadResources(std::vector<std::uint8_t>(100, 0)), PeError);
}

TEST(VersionInfoTest, InstallerReadsWhatSfxtoolWrites) {
  const std::vector<std::uint8_t> info =
      BuildVersionInfo(Identity(), "Zählwerk Setup");
  const struct {
    const char* key;
    const char* value;
  } cases[] = {
      {"ProductVersion", "2.10.3-beta"},
      {"FileVersion", "2.10.3-beta"},
      {"CompanyName", "Vendor & S\xF6hne"},
      {"ProductName", "Z\xE4hlwerk"},
      {"FileDescription", "Z\xE4hlwerk Setup"},
      {"Comments", ""},
      {"Product", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sfx::VersionString(info, c.key), c.value) << c.key;
  }
  // Every truncation is read without overrun and finds nothing whole.
  for (std::size_t n = 0; n < info.size(); n += 7) {
    std::vector<std::uint8_t> cut(info.begin(), info.begin() + n);
    sfx::VersionString(cut, "CompanyName");
  }
  // No version given: no version strings.
  VendorIdentity plain = Identity();
  plain.product_version.clear();
  EXPECT_EQ(sfx::VersionString(BuildVersionInfo(plain, "x"), "ProductVersion"),
            "");
}

// Texts that Windows cannot keep as given are refused, each with its reason.
TEST(VendorIdentityTest, VersionAndPublisherTexts) {
  // Warnings: the version resource and the uninstall entry change the text.
  const struct {
    const char* text;
    bool version;
    const char* warning;  // empty: kept as it stands
  } texts[] = {
      {"2.10.3-beta", true, ""},
      {"65535.0.0.1 (build 7)", true, ""},
      {"1.2.3.4.5", true,
       "more than four numbers: the version resource "
       "holds 1.2.3.4"},
      {"20240101.1", true,
       "20240101, larger than 65535: the version "
       "resource holds 65535.1.0.0"},
      {"v1.0", true,
       "does not begin with a number: the version resource "
       "holds 0.0.0.0"},
      {"1..2", true, "a dot that no number follows"},
      {"Z\u00fcrich AG", false, ""},
      {"Acme\u2122", false, "will show as '?'"},
      {"\u682a\u5f0f\u4f1a\u793e", false, "will show as '?'"},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.text);
    std::string warning = UninstallTextWarning(t.text);
    if (warning.empty() && t.version) warning = VersionWarning(t.text);
    EXPECT_EQ(warning.empty(), *t.warning == '\0') << warning;
    EXPECT_NE(warning.find(t.warning), std::string::npos) << warning;
  }
  // Refused: a control character (a NUL would cut the text).
  const struct {
    const char* line;
    const char* problem;  // empty: accepted
  } lines[] = {
      {"product_version = \"v1.0\"", ""},
      {"product_version = \"1.0\\u0000x\"", "control character U+0000"},
      {"publisher = \"Acme\u2122\"", ""},
      {"publisher = \"A\\tB\"", "control character U+0009"},
  };
  char path[] = "/tmp/vendor_identity_test.XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (const auto& c : lines) {
    SCOPED_TRACE(c.line);
    std::FILE* file = std::fopen(path, "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "product_name = \"P\"\n%s\n", c.line);
    std::fclose(file);
    std::string problem;
    try {
      LoadVendorIdentity(path);
    } catch (const ManifestError& e) {
      problem = e.what();
    }
    EXPECT_EQ(problem.empty(), *c.problem == '\0') << problem;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
  std::remove(path);
}

TEST(UninstallDetailsTest, ValuesOfTheUninstallKey) {
  sfx::fake::FakePlatform platform;
  sfx::fake::FakePlatformScope scope(&platform);
  sfx::TInstalRecord record;
  record.SpaceRequired = 2049;
  auto key = platform.CreateKey(sfx::os::RegistryRoot::kLocalMachine, "U");
  platform.own_version_info = BuildVersionInfo(Identity(), "d");
  sfx::WriteUninstallDetails(*key, record, "C:\\P\\TIV_UNINSTAL.EXE",
                             "\"C:\\P\\TIV_UNINSTAL.EXE\" \"Software\\V\"",
                             "C:\\P\\");
  auto value = [&platform](const char* name) {
    return platform
        .RegistryValue(sfx::os::RegistryRoot::kLocalMachine, "U", name)
        .value_or("");
  };
  EXPECT_EQ(value("DisplayIcon"), "C:\\P\\TIV_UNINSTAL.EXE");
  EXPECT_EQ(value("InstallLocation"), "C:\\P\\");
  EXPECT_EQ(value("QuietUninstallString"),
            "\"C:\\P\\TIV_UNINSTAL.EXE\" \"Software\\V\" /S");
  EXPECT_EQ(value("EstimatedSize"), "dword:3");
  EXPECT_EQ(value("NoModify"), "dword:1");
  EXPECT_EQ(value("NoRepair"), "dword:1");
  EXPECT_EQ(value("DisplayVersion"), "2.10.3-beta");
  EXPECT_EQ(value("Publisher"), "Vendor & S\xF6hne");

  // Without version information and size, those values stay away.
  platform.registry_writes.clear();
  platform.own_version_info.clear();
  record.SpaceRequired = 0;
  sfx::WriteUninstallDetails(*key, record, "C:\\U.EXE", "\"C:\\U.EXE\" ",
                             "C:\\");
  EXPECT_EQ(value("QuietUninstallString"), "\"C:\\U.EXE\" /S");
  EXPECT_EQ(value("DisplayVersion"), "");
  EXPECT_EQ(value("Publisher"), "");
  EXPECT_EQ(value("EstimatedSize"), "");
}

}  // namespace
}  // namespace sfxtool
