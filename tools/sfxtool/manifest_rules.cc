// The rules about the package as a whole, applied once every entry has
// been read: what the installer may write (src/paths/name_rules.h), files
// that Windows would take for one, the directories files need, programs
// that are not in the package, the licence, and the format's limits.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "ansi.h"
#include "codec/file_entry.h"
#include "host_files.h"
#include "licence.h"
#include "manifest_reader.h"
#include "package/container.h"
#include "package/record_writer.h"
#include "paths/macros.h"
#include "paths/name_rules.h"
#include "paths/text.h"
#include "vendor_identity.h"

namespace sfxtool {

std::string MacroIn(const std::string& text) {
  const std::string upper = sfx::UpperCaseLatin(text);
  const char* first = nullptr;
  std::size_t first_at = std::string::npos;
  for (const char* macro : sfx::kMacroNames) {
    const std::size_t at = upper.find(macro);
    if (at < first_at) {
      first = macro;
      first_at = at;
    }
  }
  return first ? first : std::string();
}

namespace {

// Macros that stand for the destination itself.
constexpr const char* kDestinationMacros[] = {"%INSTALLDIR%", "%PROGRAMDIR%"};
// Macros that stand for a folder that exists on every machine (or that
// the installer creates): what follows them may be created.
constexpr const char* kFolderMacros[] = {"%SYSTEM%", "%TEMP%", "%WINDOWS%",
                                         "%TIVSOFTDATADIR%", "%COMMONAPPDATA%"};
// Macros that make a default destination absolute.
constexpr const char* kAbsoluteMacros[] = {
    "%SYSTEM%",         "%TEMP%",          "%WINDOWS%",
    "%TIVSOFTDATADIR%", "%COMMONAPPDATA%", "%CURRENTDIR%"};

std::string Quoted(const std::string& ansi) {
  return "\"" + AnsiToUtf8(ansi) + "\"";
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// The macro `text` starts with (upper-case), if it is one of `macros`.
template <std::size_t N>
std::string LeadingMacro(const std::string& text,
                         const char* const (&macros)[N]) {
  const std::string upper = sfx::UpperCaseLatin(text);
  for (const char* macro : macros) {
    if (StartsWith(upper, macro)) return macro;
  }
  return std::string();
}

// A target directory as the folder it names: relative to the destination
// (which %INSTALLDIR% and %PROGRAMDIR% also name) or a macro directly
// followed by the rest, without leading or trailing backslashes.
std::string FolderOf(const std::string& dir) {
  std::string folder = dir;
  const std::string destination = LeadingMacro(folder, kDestinationMacros);
  if (!destination.empty()) {
    folder.erase(0, destination.size());
  } else if (const std::size_t end =
                 LeadingMacro(folder, sfx::kMacroNames).size();
             end > 0 && end < folder.size() && folder[end] == '\\') {
    folder.erase(end, 1);
  }
  while (!folder.empty() && folder.front() == '\\') folder.erase(0, 1);
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string FileKey(const std::string& folder, const std::string& name) {
  return sfx::NameKey(folder) + "\\" + sfx::NameKey(name);
}

std::string FolderText(const std::string& folder) {
  return folder.empty() ? "the destination" : Quoted(folder);
}

// The last component of a Windows path.
std::string LastComponent(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void CheckPath(const Reader& in, const toml::node* node,
               const std::string& field, const std::string& path,
               bool macro_allowed, const std::string& label = std::string()) {
  const sfx::NameProblem problem = sfx::CheckRelativePath(path, macro_allowed);
  if (problem == sfx::NameProblem::kNone) return;
  in.Fail(node, field,
          (label.empty() ? "" : label + " goes to ") + Quoted(path) +
              ", which " + sfx::DescribeNameProblem(problem));
}

// The installer builds the folder of %SYSTEM%, %TEMP%, %WINDOWS% or
// %PROGRAMDIR% followed by a name by joining the name to the folder's own:
// "%TEMP%Logs" is "...\TempLOGS", not "...\Temp\Logs" (while the
// directory list reads it the other way), so a name must follow a
// backslash there.
void CheckJoinedMacro(const Reader& in, const toml::node* node,
                      const std::string& field, const std::string& path) {
  static const char* const kJoining[] = {"%SYSTEM%", "%TEMP%", "%WINDOWS%",
                                         "%PROGRAMDIR%"};
  const std::size_t n = LeadingMacro(path, kJoining).size();
  if (n == 0 || path.size() == n || path[n] == '\\') return;
  in.Fail(node, field,
          Quoted(path) + " joins its name to the macro's folder name; write " +
              Quoted(path.substr(0, n) + "\\" + path.substr(n)));
}

void CheckName(const Reader& in, const toml::node* node,
               const std::string& field, const std::string& name,
               const std::string& lead) {
  const sfx::NameProblem problem = sfx::CheckNameComponent(name);
  if (problem == sfx::NameProblem::kNone) return;
  in.Fail(node, field,
          lead + Quoted(name) + " " + sfx::DescribeNameProblem(problem));
}

// The default destination must be absolute: a drive, a network share or
// a macro of a system folder. A relative one would be taken relative to
// whatever folder is current when the installer starts.
void CheckInstallDir(const Reader& in, const toml::node* node,
                     const std::string& dir) {
  const std::string field = "install_dir";
  const unsigned char first = static_cast<unsigned char>(dir[0]);
  if (dir.size() >= 2 && dir[1] == ':' && std::isalpha(first)) {
    if (dir.size() == 2 || dir[2] != '\\') {
      in.Fail(node, field,
              Quoted(dir) + " is relative to the current folder of drive " +
                  dir.substr(0, 2) + "; write " + dir.substr(0, 2) + "\\...");
    }
    CheckPath(in, node, field, dir.substr(3), false);
  } else if (StartsWith(dir, "\\\\")) {
    // A share is the root of a network path: \\server alone is no folder.
    const std::size_t share = dir.find('\\', 2);
    if (share == std::string::npos || share + 1 >= dir.size() ||
        dir[share + 1] == '\\') {
      in.Fail(node, field,
              Quoted(dir) + " names no share; write \\\\server\\share\\...");
    }
    CheckPath(in, node, field, dir.substr(2), false);
  } else if (!LeadingMacro(dir, kAbsoluteMacros).empty()) {
    CheckPath(in, node, field, dir, true);
  } else if (dir[0] == '%') {
    in.Fail(node, field,
            Quoted(dir) +
                " does not start with a macro of a system folder: "
                "%INSTALLDIR%, %PROGRAMDIR% and %PROGNAME% are not "
                "folders yet when the installer starts");
  } else {
    in.Fail(node, field,
            Quoted(dir) +
                " is relative; start it with a drive (C:\\...) or a "
                "directory macro such as %COMMONAPPDATA%");
  }
}

// The log goes to HKEY_CURRENT_USER\<key>\install: the key is a path
// below that root, never a root itself.
void CheckRegistryKey(const Reader& in, const toml::node* node,
                      const std::string& key) {
  const std::string upper = sfx::UpperCaseLatin(key);
  const std::string first = upper.substr(0, upper.find('\\'));
  const char* const kRoots[] = {"HKLM", "HKCU", "HKCR", "HKU", "HKCC"};
  bool root = StartsWith(first, "HKEY_");
  for (const char* name : kRoots) root = root || first == name;
  if (root) {
    in.Fail(node, "registry_key",
            Quoted(key) +
                " names a root key; the log always goes below "
                "HKEY_CURRENT_USER, so give the path below it" +
                in.Example("registry_key"));
  }
  if (key[0] == '\\') {
    in.Fail(
        node, "registry_key",
        Quoted(key) + " starts with a backslash" + in.Example("registry_key"));
  }
  // The uninstall command passes the key in double quotes.
  if (key.find('"') != std::string::npos) {
    in.Fail(node, "registry_key",
            Quoted(key) +
                " holds a double quote, which would end the key in the "
                "uninstaller's command line" +
                in.Example("registry_key"));
  }
}

// The program part of a launch program: the text before a double quote,
// which starts its arguments.
std::string ProgramOf(const std::string& launch) {
  return launch.substr(0, launch.find('"'));
}

// Warns when the installer will not log the listed `directory`, so that
// the uninstaller leaves it: the installer skips one whose last '%' only
// backslashes follow, taking it for a macro's folder (%SYSTEM%\), which
// is not the product's to remove. A folder named "Logs%" reads so too.
void WarnUnlogged(const Reader& in, const toml::node* node,
                  const std::string& field, const std::string& directory) {
  const std::size_t last = directory.rfind('%');
  if (last == std::string::npos ||
      directory.find_first_not_of('\\', last + 1) != std::string::npos) {
    return;
  }
  const std::string macro = MacroIn(directory);
  const std::size_t at = sfx::UpperCaseLatin(directory).find(macro);
  if (!macro.empty() && at + macro.size() == last + 1) return;
  in.Warn(node, field,
          "the folder " + Quoted(directory) +
              " ends in '%', which the installer takes for a macro's "
              "folder: it does not log it, and the uninstaller leaves it");
}

void CheckTopLevel(const Reader& in, const toml::table& root,
                   const sfx::TInstalRecord& record) {
  CheckInstallDir(in, root.get("install_dir"), record.InstallDir);
  CheckRegistryKey(in, root.get("registry_key"), record.RegistryKey);
  if (!record.MenuFolderName.empty()) {
    CheckName(in, root.get("menu_folder"), "menu_folder", record.MenuFolderName,
              "must be one folder name: ");
  }
  if (!record.LaunchProgram.empty()) {
    CheckPath(in, root.get("launch_program"), "launch_program",
              ProgramOf(record.LaunchProgram), true);
    CheckJoinedMacro(in, root.get("launch_program"), "launch_program",
                     ProgramOf(record.LaunchProgram));
  }
  for (std::size_t i = 0; i < record.Directories.size(); ++i) {
    const toml::node* node = root.get("directories")->as_array()->get(i);
    const std::string field = "directories[" + std::to_string(i) + "]";
    CheckPath(in, node, field, record.Directories[i], true);
    WarnUnlogged(in, node, field, record.Directories[i]);
  }
}

void CheckEntry(const Reader& in, const Entry& entry, int version) {
  const sfx::TInstallFileRecord& record = *entry.record;
  const std::string lead = entry.label.empty() ? "" : entry.label + ": ";
  CheckName(in, entry.node, entry.field, record.FileName,
            lead + "must be a plain file name: ");
  if (record.FileName.size() > sfx::kShortTextMax) {
    in.Fail(entry.node, entry.field,
            lead + "the name is longer than 255 bytes");
  }
  CheckPath(in, entry.target_node, entry.target_field, record.TargetDir, true,
            entry.label);
  CheckJoinedMacro(in, entry.target_node, entry.target_field, record.TargetDir);
  if (record.TargetDir.size() > sfx::kShortTextMax) {
    in.Fail(entry.target_node, entry.target_field,
            lead + "the target directory is longer than 255 bytes");
  }
  if (!record.ShortcutName.empty()) {
    CheckName(in, entry.shortcut_node, entry.shortcut_field,
              record.ShortcutName, "must be a plain name: ");
  }
  if (record.DesktopIcon && version < sfx::kFormat24) {
    in.Fail(entry.table->get("desktop_icon"), entry.prefix + "desktop_icon",
            "needs format 2.4");
  }
  if (!record.AddToLog && version < sfx::kFormat22) {
    in.Fail(entry.table->get("add_to_log"), entry.prefix + "add_to_log",
            "false needs format 2.2 or later");
  }
}

void CheckPreRun(const Reader& in, const PreRun& pre_run) {
  const sfx::TPreRunFileRecord& record = *pre_run.record;
  std::string file = record.FileName;
  if (!file.empty() && file[0] == '\\') file.erase(0, 1);  // dropped
  CheckPath(in, pre_run.table->get("file"), pre_run.field + "file", file, true);
  CheckPath(in, pre_run.table->get("directory"), pre_run.field + "directory",
            record.Directory, true);
  CheckJoinedMacro(in, pre_run.table->get("directory"),
                   pre_run.field + "directory", record.Directory);
}

// Two entries that Windows would take for the same file, and a file that
// stands where a folder must be.
void CheckCollisions(const Reader& in, const Entries& entries,
                     const std::vector<std::string>& directories) {
  std::map<std::string, const Entry*> files;
  std::map<std::string, std::string> folders;  // key -> a folder's text
  const auto add_folder_chain = [&folders](const std::string& folder) {
    for (std::size_t cut = 0; cut != std::string::npos;) {
      cut = folder.find('\\', cut + 1);
      const std::string part = folder.substr(0, cut);
      if (!part.empty()) folders.emplace(sfx::NameKey(part), part);
    }
  };
  for (const Entry& entry : entries.files) {
    const std::string folder = FolderOf(entry.record->TargetDir);
    add_folder_chain(folder);
    const std::string key = FileKey(folder, entry.record->FileName);
    const auto [it, inserted] = files.emplace(key, &entry);
    if (inserted) continue;
    const Entry& first = *it->second;
    const std::string lead = entry.label.empty() ? "" : entry.label + ": ";
    // Folders that differ in case only ("A/x" and "a/x" of a tree) are
    // named with the files, or the message would show one name twice.
    const std::string first_folder = FolderOf(first.record->TargetDir);
    const bool same_folder = folder == first_folder;
    const auto shown = [same_folder](const std::string& in_folder,
                                     const std::string& name) {
      return Quoted(same_folder || in_folder.empty() ? name
                                                     : in_folder + "\\" + name);
    };
    in.Fail(entry.node, entry.field,
            lead + shown(folder, entry.record->FileName) + " and " +
                shown(first_folder, first.record->FileName) + " of " +
                first.field + (first.label.empty() ? "" : " " + first.label) +
                " (line " + std::to_string(first.node->source().begin.line) +
                ") are the same file" +
                (same_folder ? " in " + FolderText(folder) : std::string()) +
                (same_folder && entry.record->FileName == first.record->FileName
                     ? ""
                     : "; Windows does not tell upper and lower case apart"));
  }
  // Shortcuts share one menu folder and the desktop.
  std::map<std::string, const Entry*> shortcuts;
  for (const Entry& entry : entries.files) {
    const std::string& name = entry.record->ShortcutName;
    if (name.empty()) continue;
    const auto [it, inserted] = shortcuts.emplace(sfx::NameKey(name), &entry);
    if (inserted) continue;
    in.Fail(entry.shortcut_node, entry.shortcut_field,
            Quoted(name) + " and " + Quoted(it->second->record->ShortcutName) +
                " of " + it->second->shortcut_field + " (line " +
                std::to_string(it->second->shortcut_node->source().begin.line) +
                ") are the same shortcut file");
  }
  for (const TreeFolder& folder : entries.tree_folders) {
    add_folder_chain(FolderOf(folder.target));
  }
  for (const std::string& directory : directories) {
    add_folder_chain(FolderOf(directory));
  }
  for (const Entry& entry : entries.files) {
    const std::string folder = FolderOf(entry.record->TargetDir);
    const std::string path = folder.empty()
                                 ? entry.record->FileName
                                 : folder + "\\" + entry.record->FileName;
    const auto it = folders.find(sfx::NameKey(path));
    if (it == folders.end()) continue;
    const std::string lead = entry.label.empty() ? "" : entry.label + ": ";
    in.Fail(entry.node, entry.field,
            lead + "the file " + Quoted(path) + " stands where the folder " +
                Quoted(it->second) + " must be");
  }
}

// A listed directory or log entry as the installer reads it: one that
// holds a '%' is expanded rather than joined to the destination, so a
// relative one whose '%' starts no macro ("100%") gets %INSTALLDIR%
// before it, or it would be taken relative to whatever folder is current.
std::string InDestination(const std::string& path) {
  if (path.find('%') == std::string::npos || !MacroIn(path).empty() ||
      path.find(':') != std::string::npos) {
    return path;
  }
  return "%INSTALLDIR%" + path;
}

// The directories that the files need and the empty folders of trees,
// with their parents, appended to `directories` unless listed already.
// Only folders the installer can know: relative ones and those below the
// macro of a system folder. A directory longer than a text may be is an
// error at the file or tree that needs it.
void AddNeededDirectories(const Reader& in, const Entries& entries,
                          std::vector<std::string>* directories) {
  std::set<std::string> listed;
  for (const std::string& directory : *directories) {
    listed.insert(sfx::NameKey(FolderOf(directory)));
  }
  const auto add = [&](const std::string& target, const toml::node* node,
                       const std::string& field, const std::string& label) {
    const std::string folder = FolderOf(target);
    std::string base;
    std::string rest = folder;
    if (!MacroIn(folder).empty()) {
      base = LeadingMacro(folder, kFolderMacros);
      if (base.empty()) return;
      base = folder.substr(0, base.size());  // as written
      rest = folder.substr(base.size());
      if (!MacroIn(rest).empty()) return;
    }
    for (std::size_t cut = 0; cut != std::string::npos;) {
      cut = rest.find('\\', cut + 1);
      const std::string part = InDestination(base + rest.substr(0, cut));
      if (rest.empty() || !listed.insert(sfx::NameKey(FolderOf(part))).second) {
        continue;
      }
      if (part.size() > sfx::kShortTextMax) {
        in.Fail(node, field,
                (label.empty() ? "" : label + ": ") + "the directory " +
                    Quoted(part) + " is longer than 255 bytes");
      }
      WarnUnlogged(in, node, field, part);
      directories->push_back(part);
    }
  };
  for (const Entry& entry : entries.files) {
    add(entry.record->TargetDir, entry.target_node, entry.target_field,
        entry.label);
  }
  for (const TreeFolder& folder : entries.tree_folders) {
    add(folder.target, folder.node, folder.field, folder.label);
  }
}

// Converts every file named LICENSE.TXT, the one the installer shows, to
// code page 1252 with CR LF; a changed text is packed from a temporary
// file that keeps the original's modification time.
void ConvertLicences(const Reader& in, Entries* entries, Manifest* manifest) {
  for (Entry& entry : entries->files) {
    if (!entry.convert ||
        sfx::NameKey(entry.record->FileName) != "LICENSE.TXT") {
      continue;
    }
    const std::string lead = entry.label.empty() ? "" : entry.label + ": ";
    std::ifstream file(entry.source, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    struct stat st;
    if (!file.good() && !file.eof()) {
      in.Fail(entry.node, entry.field, "cannot read " + entry.source);
    }
    if (::stat(entry.source.c_str(), &st) != 0) {
      in.Fail(entry.node, entry.field, "cannot read " + entry.source);
    }
    std::string converted;
    std::string problem;
    if (!ConvertLicenceText(text, &converted, &problem)) {
      in.Fail(entry.node, entry.field,
              lead + "the licence " + entry.source + ": " + problem);
    }
    if (converted == text) continue;
    std::string path = TempFolder() + "/sfxtool-licence-XXXXXX";
    const int fd = ::mkstemp(&path[0]);
    if (fd < 0) {
      in.Fail(entry.node, entry.field,
              "cannot create a file in " + TempFolder() +
                  " for the licence: " + std::strerror(errno));
    }
    manifest->temp_files.emplace_back(path);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const bool written = ::write(fd, converted.data(), converted.size()) ==
                             static_cast<ssize_t>(converted.size()) &&
                         ::futimens(fd, times) == 0;
    ::close(fd);
    if (!written) {
      in.Fail(
          entry.node, entry.field,
          "cannot write the licence to " + path + ": " + std::strerror(errno));
    }
    manifest->other_inputs.push_back(entry.source);
    entry.source = path;
    entry.size = static_cast<std::int64_t>(converted.size());
  }
}

// The first "%NAME%" of `text` that is no macro of the installer (a
// misspelt "%SYTEM%"), or empty. The installer keeps such a text as it
// is, so the folder would be named after it.
std::string UnknownMacro(const std::string& text) {
  for (std::size_t open = text.find('%'); open != std::string::npos;
       open = text.find('%', open + 1)) {
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    std::string name = text.substr(open, close - open + 1);
    const bool word =
        name.size() > 2 &&
        std::all_of(name.begin() + 1, name.end() - 1, [](char c) {
          return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
        });
    if (!word) continue;
    for (char& c : name) c = static_cast<char>(std::toupper(c));
    if (std::find_if(std::begin(sfx::kMacroNames), std::end(sfx::kMacroNames),
                     [&name](const char* macro) { return name == macro; }) ==
        std::end(sfx::kMacroNames)) {
      return text.substr(open, close - open + 1);
    }
    open = close;
  }
  return "";
}

// Warns of a misspelt macro in the path fields that take macros.
void WarnUnknownMacros(const Reader& in, const toml::table& root) {
  const auto check = [&in](const toml::node* node, const std::string& field) {
    const std::string name = node && node->as_string()
                                 ? UnknownMacro(node->as_string()->get())
                                 : std::string();
    if (name.empty()) return;
    std::string known;
    for (const char* macro : sfx::kMacroNames) {
      known += (known.empty() ? "" : ", ") + std::string(macro);
    }
    in.Warn(node, field,
            "\"" + name +
                "\" is no macro of the installer, which keeps it "
                "as a name (the macros: " +
                known + ")");
  };
  check(root.get("launch_program"), "launch_program");
  for (const char* key :
       {"directories", "extra_log_entries", "file", "tree", "pre_run"}) {
    const toml::array* array =
        root.get(key) ? root.get(key)->as_array() : nullptr;
    for (std::size_t i = 0; array && i < array->size(); ++i) {
      const std::string field = key + ("[" + std::to_string(i) + "]");
      const toml::table* table = array->get(i)->as_table();
      if (!table) check(array->get(i), field);
      for (const char* inner : {"target_dir", "file", "directory"}) {
        if (table) check(table->get(inner), field + "." + inner);
      }
    }
  }
}

// The length of `text` with each "%NAME%" in it counted as the shortest
// folder a macro can name (C:\).
std::size_t ShortestLength(const std::string& text) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size(); ++i, ++length) {
    const std::size_t close =
        text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close != std::string::npos && close > i + 1) {
      length += 2;
      i = close;
    }
  }
  return length;
}

// The installer writes a file that replaces another beside it, under a
// name 7 characters longer (".sfxnew"), and the system's ANSI calls take
// paths of up to 259 characters.
constexpr std::size_t kLongestReplacedPath = 259 - 7;

// Warns of the first file whose path under the default folder is too long
// for the installer to replace it (at least: a macro counts as C:\).
void WarnLongPaths(const Reader& in, const Entries& entries,
                   const sfx::TInstalRecord& record) {
  std::size_t destination = ShortestLength(record.InstallDir);
  if (!record.InstallDir.empty() && record.InstallDir.back() != '\\') {
    ++destination;
  }
  const Entry* first = nullptr;
  std::size_t first_length = 0, count = 0;
  for (const Entry& entry : entries.files) {
    const std::string folder = FolderOf(entry.record->TargetDir);
    const std::size_t length =
        (folder.empty() || folder[0] != '%' ? destination : 0) +
        ShortestLength(folder) + (folder.empty() ? 0 : 1) +
        entry.record->FileName.size();
    if (length <= kLongestReplacedPath) continue;
    if (count++ == 0) {
      first = &entry;
      first_length = length;
    }
  }
  if (!first) return;
  in.Warn(first->node, first->field,
          (first->label.empty() ? "" : first->label + ": ") +
              "installs under the default folder as a path of at least " +
              std::to_string(first_length) +
              " characters; the installer cannot replace a file whose path "
              "is longer than " +
              std::to_string(kLongestReplacedPath) +
              ", nor write one longer than 259" +
              (count > 1 ? " (" + std::to_string(count - 1) + " more files)"
                         : std::string()));
}

// Warns of the first file whose modification time lies outside the years
// 1980 to 2107 that a package's time stamps hold (in the local time zone,
// as they are packed): it installs dated at the nearer end. A time after
// SOURCE_DATE_EPOCH, when that is set, is packed as that time instead.
void WarnTimesOutOfRange(const Reader& in, const Entries& entries) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  const bool newest_clamped = epoch && *epoch;
  const Entry* first = nullptr;
  int first_year = 0;
  std::size_t count = 0;
  for (const Entry& entry : entries.files) {
    const std::time_t t = static_cast<std::time_t>(entry.mtime);
    struct tm local;
    if (!::localtime_r(&t, &local)) continue;
    const int year = local.tm_year + 1900;
    if (year >= 1980 && (year <= 2107 || newest_clamped)) continue;
    if (count++ == 0) {
      first = &entry;
      first_year = year;
    }
  }
  if (!first) return;
  in.Warn(first->node, first->field,
          (first->label.empty() ? "" : first->label + ": ") + first->source +
              " was modified in " + std::to_string(first_year) +
              "; a package holds the years 1980 to 2107, so it installs "
              "dated " +
              (first_year < 1980 ? "1980-01-01 00:00" : "2107-12-31 23:59") +
              (count > 1 ? " (" + std::to_string(count - 1) +
                               " more files outside those years)"
                         : std::string()));
}

// What builds but may not install as meant.
void Warn(const Reader& in, const toml::table& root, const Entries& entries,
          const sfx::TInstalRecord& record) {
  WarnLongPaths(in, entries, record);
  WarnTimesOutOfRange(in, entries);
  for (const char* key : {"product_version", "publisher"}) {
    const toml::node* node = root.get(key);
    const auto* text = node ? node->as_string() : nullptr;
    if (!text) continue;
    std::string warning = UninstallTextWarning(text->get());
    if (warning.empty() && std::string(key) == "product_version") {
      warning = VersionWarning(text->get());
    }
    if (!warning.empty()) in.Warn(node, key, warning);
  }
  std::set<std::string> paths;  // FileKey of every packaged file
  std::set<std::string> names;  // NameKey of every packaged file's name
  for (const Entry& entry : entries.files) {
    // The installer registers as the uninstaller the first file whose name
    // holds TIV_UNINSTAL.EXE, but under that name in its folder.
    const std::string key = sfx::NameKey(entry.record->FileName);
    if (key.find("TIV_UNINSTAL.EXE") != std::string::npos &&
        key != "TIV_UNINSTAL.EXE") {
      in.Warn(entry.node, entry.field,
              (entry.label.empty() ? "" : entry.label + ": ") +
                  Quoted(entry.record->FileName) +
                  " holds TIV_UNINSTAL.EXE: the installer registers an "
                  "uninstaller named TIV_UNINSTAL.EXE in its folder, which "
                  "would not be there; rename or exclude it");
    }
    paths.insert(
        FileKey(FolderOf(entry.record->TargetDir), entry.record->FileName));
    names.insert(sfx::NameKey(entry.record->FileName));
    if (!entry.record->ShortcutName.empty() && record.MenuFolderName.empty()) {
      in.Warn(entry.shortcut_node, entry.shortcut_field,
              "makes no shortcut: menu_folder is empty, and without it the "
              "installer makes none");
    }
  }
  const std::string program = ProgramOf(record.LaunchProgram);
  if (!program.empty() && program.find('%') == std::string::npos) {
    const std::size_t cut = program.find_last_of('\\');
    const std::string folder =
        FolderOf(cut == std::string::npos ? "" : program.substr(0, cut));
    if (!paths.count(FileKey(folder, LastComponent(program)))) {
      in.Warn(root.get("launch_program"), "launch_program",
              Quoted(program) +
                  " is not in the package and names no directory macro");
    }
  }
  for (const PreRun& pre_run : entries.pre_runs) {
    const sfx::TPreRunFileRecord& entry = *pre_run.record;
    const std::string& file = entry.FileName;
    // Stages 2 and 3 are only logged, for the uninstaller to run.
    if (entry.RunStage <= 1 && file.find('%') == std::string::npos &&
        entry.Directory.find('%') == std::string::npos &&
        !names.count(sfx::NameKey(LastComponent(file)))) {
      in.Warn(
          pre_run.table->get("file"), pre_run.field + "file",
          Quoted(file) + " is not in the package and names no directory macro");
    }
    if (entry.RunStage == 0 && entry.ExtractFirst && entry.Directory.empty()) {
      in.Warn(pre_run.table->get("extract_first"),
              pre_run.field + "extract_first",
              "a program run \"before\" the copy is extracted into the "
              "destination, which may not exist yet; give a directory, e.g. "
              "directory = \"%TEMP%\"");
    }
  }
}

}  // namespace

void CheckPackage(const Reader& in, const toml::table& root, Entries* entries,
                  Manifest* manifest) {
  sfx::PackagePlan& plan = manifest->plan;
  sfx::TInstalRecord& record = plan.record;
  CheckTopLevel(in, root, record);
  for (const Entry& entry : entries->files) {
    CheckEntry(in, entry, plan.version);
  }
  for (const TreeFolder& folder : entries->tree_folders) {
    CheckPath(in, folder.node, folder.field, folder.target, true, folder.label);
  }
  for (const PreRun& pre_run : entries->pre_runs) CheckPreRun(in, pre_run);
  CheckCollisions(in, *entries, record.Directories);
  AddNeededDirectories(in, *entries, &record.Directories);
  for (const auto& [key, list] :
       {std::make_pair("directories", &record.Directories),
        std::make_pair("extra_log_entries", &record.ExtraProgEntries)}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      std::string& path = (*list)[i];
      path = InDestination(path);
      if (path.size() > sfx::kShortTextMax) {
        const toml::node* node = root.get(key);
        in.Fail(node ? node->as_array()->get(i) : nullptr,
                std::string(key) + "[" + std::to_string(i) + "]",
                Quoted(path) + " is longer than 255 bytes");
      }
    }
  }
  ConvertLicences(in, entries, manifest);
  Warn(in, root, *entries, record);
  WarnUnknownMacros(in, root);

  for (Entry& entry : entries->files) {
    record.Files.push_back(std::move(entry.record));
    plan.sources.push_back(entry.source);
    manifest->sizes.push_back(entry.size);
  }
  for (PreRun& pre_run : entries->pre_runs) {
    record.PreRunFiles.push_back(std::move(pre_run.record));
  }
}

void CheckLimits(Manifest* manifest) {
  const sfx::PackagePlan& plan = manifest->plan;
  std::vector<std::uint8_t> header;
  try {
    header = sfx::WriteRecord(plan.record, plan.version);
  } catch (const sfx::RecordWriteError& e) {
    throw ManifestError(manifest->path + ": " + e.what());
  }
  if (header.size() > sfx::kMaxHeaderSize) {
    throw ManifestError(
        manifest->path + ": the header would be " +
        std::to_string(header.size()) + " bytes; the installer reads at most " +
        std::to_string(sfx::kMaxHeaderSize) + " (about 65000 files)");
  }
  // What the installer holds besides the files' data is known now; the
  // data itself is at most its size, as a block that does not compress is
  // stored.
  std::int64_t fixed = static_cast<std::int64_t>(plan.stub.size()) + 12 +
                       static_cast<std::int64_t>(header.size()) +
                       static_cast<std::int64_t>(sfx::kMarkerSize) + 8;
  std::int64_t data = 0;
  for (std::size_t i = 0; i < manifest->sizes.size(); ++i) {
    const std::int64_t size = manifest->sizes[i];
    if (size > std::int64_t{UINT32_MAX}) {
      throw ManifestError(manifest->path + ": " + plan.sources[i] +
                          " is larger than 4 GiB, the limit of a file");
    }
    const std::int64_t blocks =
        (size + sfx::kFileBlockSize - 1) / sfx::kFileBlockSize;
    fixed += 1 +
             static_cast<std::int64_t>(
                 LastComponent(plan.record.Files[i]->FileName).size()) +
             static_cast<std::int64_t>(sfx::kPackedFileHeaderSize) + 8 * blocks;
    data += size;
  }
  struct Limit {
    std::int64_t bytes;
    const char* what;
  };
  std::vector<Limit> limits = {
      {INT32_MAX, "the format's 32-bit offsets reach 2 GiB"}};
  if (!plan.skip_checksum) {
    limits.push_back({sfx::kMaxChecksummedSize,
                      "the checksum covers at most this much; use "
                      "--skip-checksum or split the package"});
  }
  for (const Limit& limit : limits) {
    if (fixed + 1 > limit.bytes) {
      throw ManifestError(
          manifest->path + ": the installer would be at least " +
          std::to_string(fixed) + " bytes without its data; " + limit.what +
          " (" + std::to_string(limit.bytes) + " bytes)");
    }
    if (fixed + data > limit.bytes) {
      manifest->warnings.push_back(
          manifest->path + ": the files hold " + std::to_string(data) +
          " bytes; unless they compress to below " +
          std::to_string(limit.bytes - fixed) +
          " the build fails once they are packed: " + limit.what + " (" +
          std::to_string(limit.bytes) + " bytes)");
      break;
    }
  }
}

}  // namespace sfxtool
