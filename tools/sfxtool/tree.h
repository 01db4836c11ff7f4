// Host folders and file patterns for the manifest: the walk over a folder
// tree of `[[tree]]` and the patterns of `[[file]].source`
// (docs/manifest.md, "Folder trees" and "Patterns").
#ifndef SFXTOOL_TREE_H_
#define SFXTOOL_TREE_H_

#include <string>
#include <vector>

namespace sfxtool {

// One file or folder below a tree's root.
struct TreeItem {
  std::string relative;  // its path below the root, components joined by '/'
  std::string host_path;
  bool is_folder = false;
  bool is_empty_folder = false;  // a folder with nothing packed below it
};

// True when `name` matches the pattern: `*` any run of characters, `?` one
// character, `[abc]`, `[a-z]` and `[!abc]` one character of (not of) a
// set. No wildcard matches a '/'; a '/' in the pattern matches itself.
bool MatchPattern(const std::string& pattern, const std::string& name);

// True when `text` holds one of the characters * ? [.
bool HasWildcard(const std::string& text);

// Every file and folder below `root`, in package order: the relative
// paths sorted component by component, each compared as unsigned bytes,
// so a folder's items follow the folder. An item matching one of
// `excludes` is left out with everything below it; a pattern without '/'
// is matched against the item's name, one with '/' against its relative
// path. Links are followed; a link that points nowhere, a link that leads
// back into a folder being walked, and anything but files and folders are
// errors. False with `*error` naming the host path on failure. `*used`,
// when given, tells which patterns left something out.
bool ListTree(const std::string& root, const std::vector<std::string>& excludes,
              std::vector<TreeItem>* items, std::string* error,
              std::vector<bool>* used = nullptr);

// The regular files that `pattern` (a path with wildcards in any
// component) matches, sorted as unsigned bytes. A relative pattern is
// looked up below `folder` (empty: the current folder), whose own name is
// taken literally. Names that start with a dot only match a pattern that
// starts with a dot. False with `*error` when a folder cannot be read; an
// empty result is the caller's to judge.
bool ExpandPattern(const std::string& folder, const std::string& pattern,
                   std::vector<std::string>* paths, std::string* error);

}  // namespace sfxtool

#endif  // SFXTOOL_TREE_H_
