// Inside the manifest loader: the reader of typed values that knows every
// key with an example of its value, and the entries as they were read,
// each with the place in the manifest that messages point to.
#ifndef SFXTOOL_MANIFEST_READER_H_
#define SFXTOOL_MANIFEST_READER_H_

#include <toml++/toml.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "manifest.h"
#include "package/record.h"

namespace sfxtool {

class Reader {
 public:
  Reader(const std::string& path, std::vector<std::string>* warnings);

  // "hello.toml:12: field: message"; line 0 when there is no node.
  [[noreturn]] void Fail(const toml::node* node, const std::string& field,
                         const std::string& message) const;
  void Warn(const toml::node* node, const std::string& field,
            const std::string& message) const;

  // Every key of `table` must be a key of `section` ("" for the top level,
  // "file", "tree", "pre_run"); an unknown one is named with the nearest
  // known key.
  void CheckKeys(const toml::table& table, const std::string& section,
                 const std::string& prefix) const;

  // An ANSI text of at most 255 bytes, converted from the UTF-8 in the
  // manifest; `fallback` when the key is absent and not `required`. A
  // required text may not be empty.
  std::string Text(const toml::table& table, const std::string& key,
                   const std::string& field, bool required,
                   const std::string& fallback = std::string()) const;
  std::string TextOf(const toml::node& node, const std::string& field) const;
  std::vector<std::string> TextList(const toml::table& table,
                                    const std::string& key,
                                    const std::string& field) const;
  // A Windows path: a text whose forward slashes (before a double quote,
  // which starts the arguments of a launch program) become backslashes,
  // with a warning.
  std::string WindowsPath(const toml::table& table, const std::string& key,
                          const std::string& field,
                          bool required = false) const;
  std::vector<std::string> PathList(const toml::table& table,
                                    const std::string& key,
                                    const std::string& field) const;

  bool Bool(const toml::table& table, const std::string& key,
            const std::string& field, bool fallback) const;

  // A host path relative to the manifest's folder, kept in the host's
  // encoding.
  std::string Path(const toml::table& table, const std::string& key,
                   const std::string& field) const;
  // The manifest's folder ("" or ending in '/'), where relative paths start.
  const std::string& folder() const { return dir_; }
  // Host texts (patterns), kept in the host's encoding.
  std::vector<std::string> HostList(const toml::table& table,
                                    const std::string& key,
                                    const std::string& field) const;

  // ", e.g. format = \"2.4\"" for `field`, empty for an unknown field.
  std::string Example(const std::string& field) const;
  // "must be a string, e.g. format = \"2.4\"" for `field`.
  std::string Expected(const std::string& what, const std::string& field) const;

 private:
  // Each item of the array at `key` (none when the key is absent) as `item`
  // gives it, which is called with the item's field name ("field[i]").
  std::vector<std::string> List(
      const toml::table& table, const std::string& key,
      const std::string& field,
      const std::function<std::string(const toml::node&, const std::string&)>&
          item) const;
  // Fails when `text` holds a NUL ("\u0000" in TOML): Windows reads a
  // text only up to it, and the build machine a path.
  void RefuseNul(const toml::node* node, const std::string& field,
                 const std::string& text) const;
  std::string WithSlashesTurned(const toml::node* node,
                                const std::string& field,
                                std::string text) const;

  std::string path_;
  std::string dir_;
  std::vector<std::string>* warnings_;
};

// One packaged file as read: its record, its source and where it stands.
struct Entry {
  std::unique_ptr<sfx::TInstallFileRecord> record;
  std::string source;
  std::int64_t size = 0;
  std::int64_t mtime = 0;              // the source's, in seconds
  const toml::table* table = nullptr;  // its [[file]] or [[tree]]
  std::string prefix;                  // "file[2]." or "tree[0]."
  const toml::node* node = nullptr;    // for messages about its name
  std::string field;                   // "file[2].name", "tree[0].source"
  std::string label;                   // "\"sub/x.txt\"" for tree files
  const toml::node* target_node = nullptr;
  std::string target_field;
  const toml::node* shortcut_node = nullptr;
  std::string shortcut_field;
  bool convert = true;  // a licence is converted (docs: "The licence")
};

// A folder of a tree that holds no file, kept as a directory.
struct TreeFolder {
  std::string target;  // the folder's target directory
  const toml::node* node;
  std::string field;
  std::string label;
};

struct PreRun {
  std::unique_ptr<sfx::TPreRunFileRecord> record;
  const toml::table* table = nullptr;
  std::string field;  // "pre_run[1]."
};

struct Entries {
  std::vector<Entry> files;
  std::vector<TreeFolder> tree_folders;
  std::vector<PreRun> pre_runs;
};

// The first macro of the installer that `text` holds, in any case
// ("%Temp%" gives "%TEMP%"), or empty. The installer expands a macro
// wherever it stands in a directory, so a folder whose own name holds one
// would be put elsewhere; a '%' that starts no macro is an ordinary
// character.
std::string MacroIn(const std::string& text);

// The rules about the package as a whole: names and paths, files that
// Windows would take for one, the directories files need, programs that
// are not in the package, the licence. Moves the entries into the plan.
void CheckPackage(const Reader& in, const toml::table& root, Entries* entries,
                  Manifest* manifest);

}  // namespace sfxtool

#endif  // SFXTOOL_MANIFEST_READER_H_
