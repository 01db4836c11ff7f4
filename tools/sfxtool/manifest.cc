// Loads the TOML build manifest into a package plan. Unknown keys are
// errors (a misspelt key would otherwise be lost without a word), and
// every error names the line and the field it is about. The checks that
// look at the whole package (names, folders, programs) are in
// manifest_rules.cc.
#include "manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ansi.h"
#include "host_files.h"
#include "manifest_reader.h"
#include "paths/name_rules.h"
#include "platform/replacing_file.h"
#include "tree.h"

namespace sfxtool {
namespace {

struct Stage {
  const char* name;
  int value;
};
constexpr Stage kStages[] = {
    {"before", 0}, {"after", 1}, {"log-exec", 2}, {"log-postexec", 3}};

// The last component of a host path.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The size of a readable regular file of at most 4 GiB (an entry's
// FileSize is 32 bits), with its modification time in `*mtime`, or an
// error naming it. A file that cannot be opened is named here, at its
// line, rather than once the packing has reached it.
std::int64_t FileSizeOf(const Reader& in, const toml::node* node,
                        const std::string& field, const std::string& path,
                        std::int64_t* mtime) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    in.Fail(node, field,
            errno == ENOENT
                ? "cannot find " + path
                : "cannot read " + path + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    in.Fail(node, field, path + " is not a regular file");
  }
  if (st.st_size > std::int64_t{UINT32_MAX}) {
    in.Fail(node, field, path + " is larger than 4 GiB, the limit of a file");
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    in.Fail(node, field, "cannot read " + path + ": " + std::strerror(errno));
  }
  ::close(fd);
  *mtime = st.st_mtime;
  return st.st_size;
}

// A host name as a package name: code page 1252 or an error naming it.
std::string PackageName(const Reader& in, const toml::node* node,
                        const std::string& field, const std::string& name,
                        const std::string& what) {
  std::string ansi;
  std::string bad;
  if (!Utf8ToAnsi(name, &ansi, &bad)) {
    in.Fail(node, field,
            "the name of " + what + " cannot be written in code page 1252" +
                (IsUtf8(bad) ? " (\"" + bad + "\")" : " (it is not UTF-8)"));
  }
  return ansi;
}

// Appends one [[file]] table: one entry, or one per file its pattern
// matches.
void LoadFile(Reader& in, const toml::table& t, const std::string& f,
              Entries* entries) {
  in.CheckKeys(t, "file", f);
  const toml::node* source_node = t.get("source");
  std::vector<std::string> sources{in.Path(t, "source", f + "source")};
  const std::string& written = source_node->as_string()->get();
  if (HasWildcard(written)) {
    std::string error;
    if (!ExpandPattern(in.folder(), written, &sources, &error)) {
      in.Fail(source_node, f + "source", error);
    }
    if (sources.empty()) in.Fail(source_node, f + "source", "matches no file");
    if (t.get("name") && sources.size() > 1) {
      in.Fail(t.get("name"), f + "name",
              "one name cannot serve the " + std::to_string(sources.size()) +
                  " files of a pattern");
    }
  }
  for (const std::string& source : sources) {
    Entry entry;
    entry.table = &t;
    entry.prefix = f;
    entry.source = source;
    entry.size =
        FileSizeOf(in, source_node, f + "source", source, &entry.mtime);
    entry.node = t.get("name") ? t.get("name") : source_node;
    entry.field = f + (t.get("name") ? "name" : "source");
    auto& record = entry.record;
    record = std::make_unique<sfx::TInstallFileRecord>();
    record->FileName = t.get("name")
                           ? in.Text(t, "name", f + "name", false)
                           : PackageName(in, source_node, f + "source",
                                         BaseName(source), source);
    record->TargetDir = in.WindowsPath(t, "target_dir", f + "target_dir");
    record->ShortcutName = in.Text(t, "shortcut", f + "shortcut", false);
    record->Parameters = in.Text(t, "parameters", f + "parameters", false);
    record->DesktopIcon = in.Bool(t, "desktop_icon", f + "desktop_icon", false);
    record->AddToLog = in.Bool(t, "add_to_log", f + "add_to_log", true);
    entry.convert = in.Bool(t, "convert", f + "convert", true);
    entry.target_node = t.get("target_dir");
    entry.target_field = f + "target_dir";
    entry.shortcut_node = t.get("shortcut");
    entry.shortcut_field = f + "shortcut";
    entries->files.push_back(std::move(entry));
  }
}

// Appends one [[tree]] table: an entry for each file below its folder and
// a directory for each folder that holds no file.
void LoadTree(Reader& in, const toml::table& t, const std::string& f,
              Entries* entries) {
  in.CheckKeys(t, "tree", f);
  const toml::node* source_node = t.get("source");
  std::string root = in.Path(t, "source", f + "source");
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::vector<std::string> excludes =
      in.HostList(t, "exclude", f + "exclude");
  const std::string target = in.WindowsPath(t, "target_dir", f + "target_dir");
  const bool add_to_log = in.Bool(t, "add_to_log", f + "add_to_log", true);
  std::vector<TreeItem> items;
  std::string error;
  std::vector<bool> used;
  if (!ListTree(root, excludes, &items, &error, &used)) {
    in.Fail(source_node, f + "source", error);
  }
  // A pattern written for another system (a backslash, a trailing slash,
  // "./") matches nothing, and the files it meant to leave out ship. (One
  // that simply finds nothing this time, "*.pyc" say, is not a mistake.)
  for (std::size_t i = 0; i < excludes.size(); ++i) {
    const std::string& pattern = excludes[i];
    const bool odd = pattern.empty() || pattern.back() == '/' ||
                     pattern.find('\\') != std::string::npos ||
                     pattern.compare(0, 2, "./") == 0;
    if (odd && !used[i]) {
      in.Warn(t.get("exclude"), f + "exclude",
              "\"" + excludes[i] +
                  "\" leaves nothing out (patterns use '/' between folders "
                  "and match a name, or a path from the tree's folder)");
    }
  }
  for (const TreeItem& item : items) {
    const std::string what = "\"" + item.relative + "\"";
    if (item.relative.find('\\') != std::string::npos) {
      // Windows would take it for a folder.
      in.Fail(source_node, f + "source",
              what + ": a backslash may not stand in a name");
    }
    std::string path =
        PackageName(in, source_node, f + "source", item.relative, what);
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string dir;
    std::string name = path;
    const std::size_t cut = path.find_last_of('\\');
    if (cut != std::string::npos) {
      dir = path.substr(0, cut);
      name = path.substr(cut + 1);
    }
    // The installer expands a macro wherever a directory holds one: the
    // files of a folder named "%WINDOWS%" would go to the Windows folder.
    const std::string macro = MacroIn(item.is_folder ? path : dir);
    if (!macro.empty()) {
      in.Fail(source_node, f + "source",
              what + ": the folder's name holds " + macro +
                  ", which the installer expands where it stands, so its "
                  "files would go elsewhere; rename the folder or exclude it");
    }
    const auto join = [&target](const std::string& below) {
      if (below.empty()) return target;
      if (target.empty()) return below;
      return target.back() == '\\' || target.back() == '%'
                 ? target + below
                 : target + "\\" + below;
    };
    if (item.is_folder) {
      if (item.is_empty_folder) {
        entries->tree_folders.push_back(
            {join(path), source_node, f + "source", what});
      }
      continue;
    }
    Entry entry;
    entry.table = &t;
    entry.prefix = f;
    entry.source = item.host_path;
    entry.size =
        FileSizeOf(in, source_node, f + "source", item.host_path, &entry.mtime);
    entry.node = source_node;
    entry.field = f + "source";
    entry.label = what;
    entry.record = std::make_unique<sfx::TInstallFileRecord>();
    entry.record->FileName = name;
    entry.record->TargetDir = join(dir);
    entry.record->AddToLog = add_to_log;
    entry.target_node = source_node;
    entry.target_field = f + "source";
    entries->files.push_back(std::move(entry));
  }
  // An empty tree (or one whose contents are all excluded) is an empty
  // folder too: its target directory is created all the same.
  if (items.empty() && !target.empty()) {
    entries->tree_folders.push_back(
        {target, source_node, f + "source", "\"" + root + "\""});
  } else if (items.empty()) {
    in.Warn(source_node, f + "source",
            "packs nothing: " + root +
                (used.end() != std::find(used.begin(), used.end(), true)
                     ? " holds nothing that the excludes leave in"
                     : " is empty"));
  }
}

// [[file]] and [[tree]] tables in the order they stand in the manifest.
void LoadEntries(Reader& in, const toml::table& root, Entries* entries) {
  struct Table {
    const toml::table* table;
    std::string field;
    bool tree;
  };
  std::vector<Table> tables;
  for (const char* key : {"file", "tree"}) {
    const toml::node* node = root.get(key);
    if (!node) continue;
    const auto* array = node->as_array();
    if (!array || !array->is_array_of_tables()) {
      in.Fail(node, key,
              std::string("must be an array of tables, e.g. [[") + key + "]]");
    }
    for (std::size_t i = 0; i < array->size(); ++i) {
      tables.push_back({array->get(i)->as_table(),
                        std::string(key) + "[" + std::to_string(i) + "].",
                        key[0] == 't'});
    }
  }
  std::stable_sort(tables.begin(), tables.end(),
                   [](const Table& a, const Table& b) {
                     return a.table->source().begin < b.table->source().begin;
                   });
  for (const Table& table : tables) {
    if (table.tree) {
      LoadTree(in, *table.table, table.field, entries);
    } else {
      LoadFile(in, *table.table, table.field, entries);
    }
  }
}

void LoadPreRun(Reader& in, const toml::table& root, int version,
                Entries* entries) {
  const toml::node* node = root.get("pre_run");
  if (!node) return;
  const auto* array = node->as_array();
  if (!array || !array->is_array_of_tables()) {
    in.Fail(node, "pre_run", "must be an array of tables, e.g. [[pre_run]]");
  }
  if (version < sfx::kFormat21 && !array->empty()) {
    in.Fail(node, "pre_run", "needs format 2.1 or later");
  }
  for (std::size_t i = 0; i < array->size(); ++i) {
    const toml::table& t = *array->get(i)->as_table();
    const std::string f = "pre_run[" + std::to_string(i) + "].";
    in.CheckKeys(t, "pre_run", f);
    PreRun pre_run;
    pre_run.table = &t;
    pre_run.field = f;
    auto& entry = pre_run.record;
    entry = std::make_unique<sfx::TPreRunFileRecord>();
    entry->FileName = in.WindowsPath(t, "file", f + "file", true);
    entry->Parameters = in.Text(t, "parameters", f + "parameters", false);
    entry->Directory = in.WindowsPath(t, "directory", f + "directory");
    entry->ExtractFirst =
        in.Bool(t, "extract_first", f + "extract_first", false);
    entry->DeleteAfter = in.Bool(t, "delete_after", f + "delete_after", false);
    const toml::node* stage = t.get("stage");
    if (!stage) in.Fail(&t, f + "stage", "missing, e.g. stage = \"before\"");
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
    entries->pre_runs.push_back(std::move(pre_run));
  }
}

void LoadIcon(Reader& in, const toml::table& root, int version,
              sfx::TInstalRecord* record) {
  const toml::node* icon = root.get("icon");
  if (!icon) return;
  if (version < sfx::kFormat23) {
    in.Fail(icon, "icon", "needs format 2.3 or later");
  }
  const std::string icon_path = in.Path(root, "icon", "icon");
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(icon_path, &bytes, 1u << 20)) {
    in.Fail(icon, "icon", "cannot open " + icon_path);
  }
  if (bytes.size() > (1u << 20)) in.Fail(icon, "icon", "is larger than 1 MiB");
  record->Icon.assign(bytes.begin(), bytes.end());
}

void LoadInfoAndFlags(Reader& in, const toml::table& root, int version,
                      sfx::TInstalRecord* record) {
  if (const toml::node* info = root.get("info_texts")) {
    if (version < sfx::kFormat23) {
      in.Fail(info, "info_texts", "needs format 2.3 or later");
    }
    const auto texts = in.TextList(root, "info_texts", "info_texts");
    if (texts.size() != 3) in.Fail(info, "info_texts", "must hold 3 texts");
    record->InfoText1 = texts[0];
    record->InfoText2 = texts[1];
    record->InfoText3 = texts[2];
  }
  if (const toml::node* flags = root.get("flags")) {
    if (version < sfx::kFormat24) in.Fail(flags, "flags", "needs format 2.4");
    const auto* array = flags->as_array();
    if (!array || array->size() != 3) {
      in.Fail(flags, "flags",
              "must hold 3 booleans, e.g. flags = [true, true, true]");
    }
    std::uint8_t* fields[] = {&record->Flag1, &record->Flag2, &record->Flag3};
    for (std::size_t i = 0; i < 3; ++i) {
      const auto* value = array->get(i)->as_boolean();
      if (!value) {
        in.Fail(array->get(i), "flags[" + std::to_string(i) + "]",
                "must be true or false, e.g. flags = [true, true, true]");
      }
      *fields[i] = value->get() ? 1 : 0;
    }
  }
}

void LoadTexts(Reader& in, const toml::table& root,
               sfx::TInstalRecord* record) {
  record->ProductName = in.Text(root, "product_name", "product_name", true);
  const auto product_texts =
      in.TextList(root, "product_texts", "product_texts");
  if (product_texts.size() > 3) {
    in.Fail(root.get("product_texts"), "product_texts",
            "holds at most 3 texts");
  }
  std::string* product_fields[] = {&record->ProductText2, &record->ProductText3,
                                   &record->ProductText4};
  for (std::size_t i = 0; i < product_texts.size(); ++i) {
    *product_fields[i] = product_texts[i];
  }
  const auto package_texts =
      in.TextList(root, "package_texts", "package_texts");
  if (package_texts.size() > 2) {
    in.Fail(root.get("package_texts"), "package_texts",
            "holds at most 2 texts");
  }
  if (package_texts.size() > 0) record->PackageText1 = package_texts[0];
  if (package_texts.size() > 1) record->PackageText2 = package_texts[1];
  for (const std::string& text : product_texts) {
    if (text.find('\r') != std::string::npos) {
      in.Fail(root.get("product_texts"), "product_texts", "may not hold a CR");
    }
  }
  if (record->ProductName.find('\r') != std::string::npos) {
    in.Fail(root.get("product_name"), "product_name", "may not hold a CR");
  }
  // It names the uninstall entry's registry key and stands for %PROGNAME%.
  if (const sfx::NameProblem problem =
          sfx::CheckProductName(record->ProductName);
      problem != sfx::NameProblem::kNone) {
    in.Fail(root.get("product_name"), "product_name",
            "\"" + record->ProductName + "\" " +
                sfx::DescribeNameProblem(problem) +
                "; it names the uninstall entry's key and %PROGNAME%");
  }
  record->InstallDir = in.WindowsPath(root, "install_dir", "install_dir", true);
  record->MenuFolderName = in.Text(root, "menu_folder", "menu_folder", false);
  record->BrowsePrompt = in.Text(root, "browse_prompt", "browse_prompt", false);
  record->RegistryKey =
      in.WindowsPath(root, "registry_key", "registry_key", true);
  record->LaunchProgram =
      in.WindowsPath(root, "launch_program", "launch_program");
  record->WelcomeLines = in.TextList(root, "welcome", "welcome");
  record->FinishLines = in.TextList(root, "finish", "finish");
  record->Directories = in.PathList(root, "directories", "directories");
  record->ExtraProgEntries =
      in.PathList(root, "extra_log_entries", "extra_log_entries");
}

// Opens the manifest as a user expects to hear about it when it is not
// there: "cannot open x.toml: No such file or directory".
toml::table Parse(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    throw ManifestError("cannot open " + path + ": " + std::strerror(errno));
  }
  std::fclose(f);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw ManifestError("cannot open " + path + ": it is a folder");
  }
  try {
    return toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    throw ManifestError(path + ":" + std::to_string(e.source().begin.line) +
                        ": " + std::string(e.description()));
  }
}

}  // namespace

TempFile::TempFile(std::string path)
    : path_(std::move(path)), slot_(sfx::TrackTemporary(path_)) {}

TempFile::~TempFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
  sfx::UntrackTemporary(slot_);
}

int FormatCodeOf(const std::string& name) {
  return sfx::FormatVersionOf("Installer " + name);
}

Manifest LoadManifest(const std::string& path) {
  const toml::table root = Parse(path);
  Manifest manifest;
  manifest.path = path;
  Reader in(path, &manifest.warnings);
  in.CheckKeys(root, "", "");
  sfx::PackagePlan& plan = manifest.plan;
  sfx::TInstalRecord& record = plan.record;

  const std::string format = in.Text(root, "format", "format", false, "2.4");
  plan.version = FormatCodeOf(format);
  if (plan.version == 0) {
    in.Fail(root.get("format"), "format",
            "must be \"1.2\", \"2.1\", \"2.2\", \"2.3\" or \"2.4\"");
  }
  plan.skip_checksum = in.Bool(root, "skip_checksum", "skip_checksum", false);
  LoadTexts(in, root, &record);
  LoadIcon(in, root, plan.version, &record);
  LoadInfoAndFlags(in, root, plan.version, &record);

  Entries entries;
  LoadEntries(in, root, &entries);
  LoadPreRun(in, root, plan.version, &entries);
  CheckPackage(in, root, &entries, &manifest);

  std::int64_t total_size = 0;
  for (std::int64_t size : manifest.sizes) total_size += size;
  if (const toml::node* space = root.get("space_required")) {
    const auto* value = space->as_integer();
    if (!value || value->get() < 0 || value->get() > INT32_MAX) {
      in.Fail(space, "space_required",
              "must be a number of bytes from 0 to 2147483647, e.g. "
              "space_required = 1048576");
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
