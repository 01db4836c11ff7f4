// Turns the manifest's identity keys into resources of the installer
// program and the uninstaller entry of the package.
#include "vendor_identity.h"

#include <sys/stat.h>
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <utility>

#include "base/bytes.h"
#include "host_files.h"
#include "manifest.h"
#include "pe_resources.h"

namespace sfxtool {
namespace {

const std::set<std::string> kExecutionLevels = {"asInvoker", "highestAvailable",
                                                "requireAdministrator"};

[[noreturn]] void Fail(const std::string& path, const toml::node* node,
                       const std::string& key, const std::string& message) {
  const auto line = node ? node->source().begin.line : 0;
  throw ManifestError(path + ":" + std::to_string(line) + ": " + key + ": " +
                      message);
}

std::string TextKey(const std::string& path, const toml::table& root,
                    const std::string& key) {
  const toml::node* node = root.get(key);
  if (!node) return {};
  const auto* value = node->as_string();
  if (!value) Fail(path, node, key, "must be a string");
  if (value->get().size() > 255) {
    Fail(path, node, key, "is longer than 255 bytes (in UTF-8)");
  }
  return value->get();
}

// UTF-8 to UTF-16 (the manifest is valid UTF-8: toml++ checked it).
std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = c;
    int extra = 0;
    if (c >= 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    }
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

// The four numbers Windows keeps of a version text: up to four numbers
// with dots between, each at most 65535 ("2.10.3-beta" gives 2, 10, 3, 0;
// a number that is not there counts 0).
void VersionNumbers(const std::string& text, std::uint16_t numbers[4]) {
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    numbers[part] = 0;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') continue;
    std::uint32_t n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      n = std::min<std::uint32_t>(n * 10 + (text[i] - '0'), 0xFFFF);
      ++i;
    }
    numbers[part] = static_cast<std::uint16_t>(n);
    if (i < text.size() && text[i] == '.') ++i;
  }
}

// Why VersionNumbers cannot keep what `text` says (empty when it can): it
// says that when the text is up to four numbers from 0 to 65535 with dots
// between, then any text that starts with neither a digit nor a dot.
std::string VersionProblem(const std::string& text) {
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
      return part == 0 ? "does not begin with a number"
                       : "has a dot that no number follows";
    }
    const std::size_t first = i;
    std::uint32_t n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      n = std::min<std::uint32_t>(n * 10 + (text[i] - '0'), 0x10000);
      ++i;
    }
    if (n > 0xFFFF) {
      return "has the number " + text.substr(first, i - first) +
             ", larger than 65535";
    }
    if (i >= text.size() || text[i] != '.') return {};
    if (part == 3) return "has more than four numbers";
    ++i;
  }
  return {};
}

// Each character of `text` in turn, as its UTF-8 bytes and its code point.
template <typename Visit>
void ForEachCharacter(const std::string& text, Visit visit) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::u16string wide = Utf16(text.substr(i, n));
    if (!visit(text.substr(i, n), wide.empty() ? 0u : wide[0])) return;
    i += n;
  }
}

// A node of the VERSIONINFO tree (see src/install/version_info.cc).
class VersionNode {
 public:
  VersionNode(const std::string& key, bool text) {
    Put16(0);  // wLength, set by Bytes()
    Put16(0);  // wValueLength
    Put16(text ? 1 : 0);
    for (char16_t c : Utf16(key)) Put16(c);
    Put16(0);
    Align();
  }
  VersionNode& TextValue(const std::string& value) {
    const std::u16string wide = Utf16(value);
    for (char16_t c : wide) Put16(c);
    Put16(0);
    SetValueLength(static_cast<std::uint16_t>(wide.size() + 1));
    Align();
    return *this;
  }
  VersionNode& BinaryValue(const std::vector<std::uint8_t>& value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    SetValueLength(static_cast<std::uint16_t>(value.size()));
    Align();
    return *this;
  }
  VersionNode& Child(const VersionNode& child) {
    Align();
    const std::vector<std::uint8_t> b = child.Bytes();
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> b = bytes_;
    sfx::StoreUint16(&b[0], static_cast<std::uint16_t>(b.size()));
    return b;
  }

 private:
  void Put16(std::uint32_t v) {
    sfx::ByteWriter(&bytes_).Uint16(static_cast<std::uint16_t>(v));
  }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  void SetValueLength(std::uint16_t n) { sfx::StoreUint16(&bytes_[2], n); }

  std::vector<std::uint8_t> bytes_;
};

void Append32(std::vector<std::uint8_t>* b, std::uint32_t v) {
  sfx::ByteWriter(b).Uint32(v);
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string VersionWarning(const std::string& text) {
  const std::string problem = VersionProblem(text);
  if (problem.empty()) return problem;
  std::uint16_t v[4];
  VersionNumbers(text, v);
  return "\"" + text + "\" " + problem + ": the version resource holds " +
         std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
         std::to_string(v[2]) + "." + std::to_string(v[3]) +
         "; give up to four numbers from 0 to 65535 with dots between, then "
         "any text (\"2.10.3-beta\")";
}

std::string UninstallTextWarning(const std::string& text) {
  std::string warning;
  ForEachCharacter(text, [&](const std::string& bytes, std::uint32_t cp) {
    if (cp <= 0xFF && !(cp >= 0x80 && cp < 0xA0)) return true;
    warning = "holds \"" + bytes +
              "\", which Add/Remove Programs will show as '?' (the "
              "installer writes only Latin-1 there)";
    return false;
  });
  return warning;
}

VendorIdentity LoadVendorIdentity(const std::string& path) {
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    throw ManifestError(path + ": " + std::string(e.description()));
  }
  VendorIdentity identity;
  identity.product_name = TextKey(path, root, "product_name");
  identity.product_version = TextKey(path, root, "product_version");
  identity.publisher = TextKey(path, root, "publisher");
  // A control character is no one's intent (a NUL would cut the text).
  const std::pair<const char*, const std::string*> texts[] = {
      {"product_version", &identity.product_version},
      {"publisher", &identity.publisher}};
  for (const auto& text : texts) {
    const char* key = text.first;
    ForEachCharacter(*text.second, [&](const std::string&, std::uint32_t cp) {
      if (cp >= 0x20 && cp != 0x7F) return true;
      char code[8];
      std::snprintf(code, sizeof code, "%02X", cp);
      Fail(path, root.get(key), key,
           std::string("holds the control character U+00") + code);
      return false;
    });
  }
  identity.space_given = root.get("space_required") != nullptr;
  if (const toml::node* level = root.get("execution_level")) {
    identity.execution_level = TextKey(path, root, "execution_level");
    if (!kExecutionLevels.count(identity.execution_level)) {
      Fail(path, level, "execution_level",
           "must be \"asInvoker\", \"highestAvailable\" or "
           "\"requireAdministrator\"");
    }
  }
  if (const toml::node* uninstaller = root.get("uninstaller")) {
    const auto* value = uninstaller->as_boolean();
    if (!value) Fail(path, uninstaller, "uninstaller", "must be true or false");
    identity.uninstaller = value->get();
  }
  if (const toml::node* icon = root.get("icon")) {
    std::string icon_path = TextKey(path, root, "icon");
    const std::size_t slash = path.find_last_of('/');
    if (!icon_path.empty() && icon_path[0] != '/' &&
        slash != std::string::npos) {
      icon_path = path.substr(0, slash + 1) + icon_path;
    }
    if (!ReadWholeFile(icon_path, &identity.icon)) {
      Fail(path, icon, "icon", "cannot open " + icon_path);
    }
    identity.icon_path = icon_path;
    // A bad icon is the manifest's mistake: name its line. Its images are
    // checked when a program takes them (a stand-in stub takes any bytes).
    try {
      std::vector<Resource> resources;
      SetIcon(&resources, identity.icon, false);
    } catch (const PeError& e) {
      Fail(path, icon, "icon", icon_path + ": " + e.what());
    }
  }
  return identity;
}

std::vector<std::uint8_t> BuildVersionInfo(const VendorIdentity& identity,
                                           const std::string& description) {
  std::uint16_t v[4];
  VersionNumbers(identity.product_version, v);
  std::vector<std::uint8_t> fixed;
  Append32(&fixed, 0xFEEF04BD);              // signature
  Append32(&fixed, 0x00010000);              // structure version
  for (int twice = 0; twice < 2; ++twice) {  // file, then product version
    Append32(&fixed, static_cast<std::uint32_t>(v[0]) << 16 | v[1]);
    Append32(&fixed, static_cast<std::uint32_t>(v[2]) << 16 | v[3]);
  }
  Append32(&fixed, 0x3F);     // flags mask
  Append32(&fixed, 0);        // flags
  Append32(&fixed, 0x40004);  // VOS_NT_WINDOWS32
  Append32(&fixed, 1);        // VFT_APP
  Append32(&fixed, 0);        // subtype
  Append32(&fixed, 0);        // date
  Append32(&fixed, 0);

  VersionNode table("040904B0", true);  // US English, Unicode
  auto add = [&table](const char* key, const std::string& value) {
    if (!value.empty()) table.Child(VersionNode(key, true).TextValue(value));
  };
  add("CompanyName", identity.publisher);
  add("FileDescription", description);
  add("FileVersion", identity.product_version);
  add("ProductName", identity.product_name);
  add("ProductVersion", identity.product_version);
  VersionNode strings("StringFileInfo", true);
  strings.Child(table);
  VersionNode translation("Translation", false);
  std::vector<std::uint8_t> language;
  Append32(&language, 0x04B00409);
  translation.BinaryValue(language);
  VersionNode vars("VarFileInfo", true);
  vars.Child(translation);
  VersionNode root("VS_VERSION_INFO", false);
  root.BinaryValue(fixed).Child(strings).Child(vars);
  return root.Bytes();
}

std::string BuildApplicationManifest(const VendorIdentity& identity,
                                     const std::string& description) {
  std::uint16_t v[4];
  VersionNumbers(identity.product_version, v);
  const std::string version = std::to_string(v[0]) + "." +
                              std::to_string(v[1]) + "." +
                              std::to_string(v[2]) + "." + std::to_string(v[3]);
  return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Setup" version=")" +
         version + R"(" processorArchitecture="x86"/>
  <description>)" +
         XmlEscape(description) + R"(</description>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls"
          version="6.0.0.0" processorArchitecture="*"
          publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level=")" +
         identity.execution_level + R"(" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
      <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
      <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
      <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowsSettings>
  </application>
</assembly>
)";
}

std::vector<std::uint8_t> ApplyIdentity(
    const std::vector<std::uint8_t>& program, const VendorIdentity& identity,
    const std::string& description) {
  std::vector<Resource> resources = ReadResources(program);
  const std::uint16_t language =
      resources.empty() ? kLanguageEnglishUs : resources.front().language;
  if (!identity.icon.empty()) SetIcon(&resources, identity.icon);
  SetResource(&resources, kRtVersion, 1,
              BuildVersionInfo(identity, description));
  const std::string manifest = BuildApplicationManifest(identity, description);
  SetResource(&resources, kRtManifest, 1,
              std::vector<std::uint8_t>(manifest.begin(), manifest.end()));
  for (Resource& r : resources) r.language = language;
  return ReplaceResources(program, resources);
}

void AddUninstaller(sfx::PackagePlan* plan, const std::string& program_path,
                    const VendorIdentity& identity) {
  struct stat st;
  if (::stat(program_path.c_str(), &st) != 0) {
    throw sfx::PackageWriteError("cannot find the uninstaller " + program_path);
  }
  for (const auto& file : plan->record.Files) {
    std::string upper = file->FileName;
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    if (upper.find("TIV_UNINSTAL.EXE") != std::string::npos) {
      throw sfx::PackageWriteError(
          "uninstaller = true, but the manifest packs " + file->FileName +
          " already; drop one of them");
    }
  }
  auto entry = std::make_unique<sfx::TInstallFileRecord>();
  entry->FileName = "TIV_UNINSTAL.EXE";
  entry->Parameters = "\"" + plan->record.RegistryKey + "\"";
  entry->AddToLog = true;
  plan->record.Files.push_back(std::move(entry));
  plan->sources.push_back(program_path);
  if (!identity.space_given) {
    plan->record.SpaceRequired =
        static_cast<std::int32_t>(std::min<std::int64_t>(
            INT32_MAX, plan->record.SpaceRequired + st.st_size));
  }
}

}  // namespace sfxtool
