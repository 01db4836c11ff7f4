// Loads the TOML build manifest into a package plan. Unknown keys
// are errors (a misspelt key would otherwise be lost without a word), and
// every error names the line and the field it is about.
#include "manifest.h"

#include <sys/stat.h>
#include <toml++/toml.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ansi.h"
#include "codec/file_entry.h"
#include "paths/text.h"
#include "vendor_identity.h"

namespace sfxtool {
namespace {

struct Stage {
  const char* name;
  int value;
};
constexpr Stage kStages[] = {
    {"before", 0}, {"after", 1}, {"log-exec", 2}, {"log-postexec", 3}};

class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path) {
    const std::size_t slash = path.find_last_of('/');
    dir_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  }

  [[noreturn]] void Fail(const toml::node* node, const std::string& field,
                         const std::string& message) const {
    const auto line = node ? node->source().begin.line : 0;
    throw ManifestError(path_ + ":" + std::to_string(line) + ": " + field +
                        ": " + message);
  }

  // Every key of `table` must be one of `allowed`.
  void CheckKeys(const toml::table& table, const std::set<std::string>& allowed,
                 const std::string& prefix) const {
    for (const auto& [key, node] : table) {
      if (!allowed.count(std::string(key.str()))) {
        Fail(&node, prefix + std::string(key.str()), "unknown key");
      }
    }
  }

  // An ANSI text of at most 255 bytes, converted from the UTF-8 in the
  // manifest; `fallback` when the key is absent and not `required`.
  std::string Text(const toml::table& table, const std::string& key,
                   const std::string& field, bool required,
                   const std::string& fallback = std::string()) const {
    const toml::node* node = table.get(key);
    if (!node) {
      if (required) Fail(&table, field, "missing");
      return fallback;
    }
    return TextOf(*node, field);
  }

  std::string TextOf(const toml::node& node, const std::string& field) const {
    const auto* value = node.as_string();
    if (!value) Fail(&node, field, "must be a string");
    std::string ansi;
    std::string bad;
    if (!Utf8ToAnsi(value->get(), &ansi, &bad)) {
      Fail(&node, field, "\"" + bad + "\" cannot be written in code page 1252");
    }
    if (ansi.size() > sfx::kShortTextMax) {
      Fail(&node, field,
           "is " + std::to_string(ansi.size()) +
               " bytes long; a text holds at most 255");
    }
    return ansi;
  }

  std::vector<std::string> TextList(const toml::table& table,
                                    const std::string& key,
                                    const std::string& field) const {
    std::vector<std::string> list;
    const toml::node* node = table.get(key);
    if (!node) return list;
    const auto* array = node->as_array();
    if (!array) Fail(node, field, "must be an array of strings");
    for (std::size_t i = 0; i < array->size(); ++i) {
      list.push_back(
          TextOf(*array->get(i), field + "[" + std::to_string(i) + "]"));
    }
    return list;
  }

  bool Bool(const toml::table& table, const std::string& key,
            const std::string& field, bool fallback) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    const auto* value = node->as_boolean();
    if (!value) Fail(node, field, "must be true or false");
    return value->get();
  }

  const toml::node* Node(const toml::table& table,
                         const std::string& key) const {
    return table.get(key);
  }

  // A path relative to the manifest's folder, kept in the host's encoding.
  std::string Path(const toml::table& table, const std::string& key,
                   const std::string& field) const {
    const toml::node* node = table.get(key);
    if (!node) Fail(&table, field, "missing");
    const auto* value = node->as_string();
    if (!value || value->get().empty()) Fail(node, field, "must be a path");
    const std::string& path = value->get();
    return path[0] == '/' ? path : dir_ + path;
  }

 private:
  std::string path_;
  std::string dir_;
};

// The last component of a host path.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::int64_t FileSizeOf(const Reader& in, const toml::table& table,
                        const std::string& key, const std::string& field,
                        const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    in.Fail(table.get(key), field, "cannot find " + path);
  }
  if (!S_ISREG(st.st_mode)) {
    in.Fail(table.get(key), field, path + " is not a regular file");
  }
  return st.st_size;
}

void LoadFiles(const Reader& in, const toml::table& root, Manifest* manifest,
               std::int64_t* total_size) {
  const toml::node* node = root.get("file");
  if (!node) return;
  const auto* array = node->as_array();
  if (!array || !array->is_array_of_tables()) {
    in.Fail(node, "file", "must be an array of tables ([[file]])");
  }
  sfx::TInstalRecord& record = manifest->plan.record;
  for (std::size_t i = 0; i < array->size(); ++i) {
    const toml::table& t = *array->get(i)->as_table();
    const std::string f = "file[" + std::to_string(i) + "].";
    in.CheckKeys(t,
                 {"source", "name", "target_dir", "shortcut", "parameters",
                  "desktop_icon", "add_to_log"},
                 f);
    const std::string source = in.Path(t, "source", f + "source");
    *total_size += FileSizeOf(in, t, "source", f + "source", source);
    auto entry = std::make_unique<sfx::TInstallFileRecord>();
    std::string base_ansi;
    std::string bad;
    const std::string base = BaseName(source);
    if (!t.get("name") && !Utf8ToAnsi(base, &base_ansi, &bad)) {
      in.Fail(t.get("source"), f + "source",
              "the file name cannot be written in code page 1252; give a name");
    }
    entry->FileName = in.Text(t, "name", f + "name", false, base_ansi);
    if (!sfx::IsSafeEntryName(entry->FileName)) {
      in.Fail(t.get("name") ? t.get("name") : &t, f + "name",
              "must be a plain file name (no \\, / or :, not . or ..)");
    }
    entry->TargetDir = in.Text(t, "target_dir", f + "target_dir", false);
    entry->ShortcutName = in.Text(t, "shortcut", f + "shortcut", false);
    entry->Parameters = in.Text(t, "parameters", f + "parameters", false);
    entry->DesktopIcon = in.Bool(t, "desktop_icon", f + "desktop_icon", false);
    entry->AddToLog = in.Bool(t, "add_to_log", f + "add_to_log", true);
    const int version = manifest->plan.version;
    if (entry->DesktopIcon && version < sfx::kFormat24) {
      in.Fail(t.get("desktop_icon"), f + "desktop_icon", "needs format 2.4");
    }
    if (!entry->AddToLog && version < sfx::kFormat22) {
      in.Fail(t.get("add_to_log"), f + "add_to_log",
              "false needs format 2.2 or later");
    }
    record.Files.push_back(std::move(entry));
    manifest->plan.sources.push_back(source);
  }
}

void LoadPreRun(const Reader& in, const toml::table& root, Manifest* manifest) {
  const toml::node* node = root.get("pre_run");
  if (!node) return;
  const auto* array = node->as_array();
  if (!array || !array->is_array_of_tables()) {
    in.Fail(node, "pre_run", "must be an array of tables ([[pre_run]])");
  }
  if (manifest->plan.version < sfx::kFormat21 && !array->empty()) {
    in.Fail(node, "pre_run", "needs format 2.1 or later");
  }
  for (std::size_t i = 0; i < array->size(); ++i) {
    const toml::table& t = *array->get(i)->as_table();
    const std::string f = "pre_run[" + std::to_string(i) + "].";
    in.CheckKeys(t,
                 {"file", "parameters", "directory", "extract_first",
                  "delete_after", "stage"},
                 f);
    auto entry = std::make_unique<sfx::TPreRunFileRecord>();
    entry->FileName = in.Text(t, "file", f + "file", true);
    entry->Parameters = in.Text(t, "parameters", f + "parameters", false);
    entry->Directory = in.Text(t, "directory", f + "directory", false);
    entry->ExtractFirst =
        in.Bool(t, "extract_first", f + "extract_first", false);
    entry->DeleteAfter = in.Bool(t, "delete_after", f + "delete_after", false);
    const toml::node* stage = t.get("stage");
    if (!stage) in.Fail(&t, f + "stage", "missing");
    bool known = false;
    if (const auto* name = stage->as_string()) {
      for (const Stage& s : kStages) {
        if (name->get() == s.name) {
          entry->RunStage = s.value;
          known = true;
        }
      }
    } else if (const auto* number = stage->as_integer()) {
      if (number->get() >= 0 && number->get() <= 3) {
        entry->RunStage = static_cast<std::int32_t>(number->get());
        known = true;
      }
    }
    if (!known) {
      in.Fail(
          stage, f + "stage",
          "must be \"before\", \"after\", \"log-exec\" or \"log-postexec\"");
    }
    manifest->plan.record.PreRunFiles.push_back(std::move(entry));
  }
}

}  // namespace

int FormatCodeOf(const std::string& name) {
  return sfx::FormatVersionOf("Installer " + name);
}

Manifest LoadManifest(const std::string& path) {
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    throw ManifestError(path + ":" + std::to_string(e.source().begin.line) +
                        ": " + std::string(e.description()));
  }
  const Reader in(path);
  in.CheckKeys(root, {"format",         "skip_checksum",  "product_name",
                      "product_texts",  "package_texts",  "install_dir",
                      "menu_folder",    "browse_prompt",  "registry_key",
                      "launch_program", "space_required", "welcome",
                      "finish",         "directories",    "extra_log_entries",
                      "icon",           "info_texts",     "flags",
                      "file",           "pre_run",        SFXTOOL_VENDOR_KEYS},
               "");
  Manifest manifest;
  sfx::PackagePlan& plan = manifest.plan;
  sfx::TInstalRecord& record = plan.record;

  const std::string format = in.Text(root, "format", "format", false, "2.4");
  plan.version = FormatCodeOf(format);
  if (plan.version == 0) {
    in.Fail(root.get("format"), "format",
            "must be \"1.2\", \"2.1\", \"2.2\", \"2.3\" or \"2.4\"");
  }
  plan.skip_checksum = in.Bool(root, "skip_checksum", "skip_checksum", false);

  record.ProductName = in.Text(root, "product_name", "product_name", true);
  const auto product_texts =
      in.TextList(root, "product_texts", "product_texts");
  if (product_texts.size() > 3) {
    in.Fail(root.get("product_texts"), "product_texts",
            "holds at most 3 texts");
  }
  std::string* product_fields[] = {&record.ProductText2, &record.ProductText3,
                                   &record.ProductText4};
  for (std::size_t i = 0; i < product_texts.size(); ++i) {
    *product_fields[i] = product_texts[i];
  }
  const auto package_texts =
      in.TextList(root, "package_texts", "package_texts");
  if (package_texts.size() > 2) {
    in.Fail(root.get("package_texts"), "package_texts",
            "holds at most 2 texts");
  }
  if (package_texts.size() > 0) record.PackageText1 = package_texts[0];
  if (package_texts.size() > 1) record.PackageText2 = package_texts[1];
  for (const std::string& text : product_texts) {
    if (text.find('\r') != std::string::npos) {
      in.Fail(root.get("product_texts"), "product_texts", "may not hold a CR");
    }
  }
  if (record.ProductName.find('\r') != std::string::npos) {
    in.Fail(root.get("product_name"), "product_name", "may not hold a CR");
  }
  record.InstallDir = in.Text(root, "install_dir", "install_dir", true);
  if (record.InstallDir.empty()) {
    in.Fail(root.get("install_dir"), "install_dir", "may not be empty");
  }
  record.MenuFolderName = in.Text(root, "menu_folder", "menu_folder", false);
  record.BrowsePrompt = in.Text(root, "browse_prompt", "browse_prompt", false);
  record.RegistryKey = in.Text(root, "registry_key", "registry_key", true);
  record.LaunchProgram =
      in.Text(root, "launch_program", "launch_program", false);
  record.WelcomeLines = in.TextList(root, "welcome", "welcome");
  record.FinishLines = in.TextList(root, "finish", "finish");
  record.Directories = in.TextList(root, "directories", "directories");
  record.ExtraProgEntries =
      in.TextList(root, "extra_log_entries", "extra_log_entries");

  if (const toml::node* icon = root.get("icon")) {
    if (plan.version < sfx::kFormat23)
      in.Fail(icon, "icon", "needs format 2.3 or later");
    const std::string icon_path = in.Path(root, "icon", "icon");
    std::FILE* f = std::fopen(icon_path.c_str(), "rb");
    if (!f) in.Fail(icon, "icon", "cannot open " + icon_path);
    std::uint8_t buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
      record.Icon.insert(record.Icon.end(), buffer, buffer + n);
      if (record.Icon.size() > (1u << 20)) {
        std::fclose(f);
        in.Fail(icon, "icon", "is larger than 1 MiB");
      }
    }
    std::fclose(f);
  }
  if (const toml::node* info = root.get("info_texts")) {
    if (plan.version < sfx::kFormat23) {
      in.Fail(info, "info_texts", "needs format 2.3 or later");
    }
    const auto texts = in.TextList(root, "info_texts", "info_texts");
    if (texts.size() != 3) in.Fail(info, "info_texts", "must hold 3 texts");
    record.InfoText1 = texts[0];
    record.InfoText2 = texts[1];
    record.InfoText3 = texts[2];
  }
  if (const toml::node* flags = root.get("flags")) {
    if (plan.version < sfx::kFormat24)
      in.Fail(flags, "flags", "needs format 2.4");
    const auto* array = flags->as_array();
    if (!array || array->size() != 3) {
      in.Fail(flags, "flags", "must hold 3 booleans");
    }
    std::uint8_t* fields[] = {&record.Flag1, &record.Flag2, &record.Flag3};
    for (std::size_t i = 0; i < 3; ++i) {
      const auto* value = array->get(i)->as_boolean();
      if (!value)
        in.Fail(array->get(i), "flags[" + std::to_string(i) + "]",
                "must be true or false");
      *fields[i] = value->get() ? 1 : 0;
    }
  }

  std::int64_t total_size = 0;
  LoadFiles(in, root, &manifest, &total_size);
  LoadPreRun(in, root, &manifest);

  if (const toml::node* space = root.get("space_required")) {
    const auto* value = space->as_integer();
    if (!value || value->get() < 0 || value->get() > INT32_MAX) {
      in.Fail(space, "space_required",
              "must be a number of bytes from 0 to 2147483647");
    }
    record.SpaceRequired = static_cast<std::int32_t>(value->get());
  } else {
    if (total_size > INT32_MAX) {
      in.Fail(&root, "space_required",
              "the files need more than 2147483647 bytes; give a value");
    }
    record.SpaceRequired = static_cast<std::int32_t>(total_size);
  }
  return manifest;
}

}  // namespace sfxtool
