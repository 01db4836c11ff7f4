// Walks host folders for the manifest. Names are compared as unsigned
// bytes (std::string's order), so the order never depends on the locale.
#include "tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace sfxtool {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// The names in `folder` but "." and "..", sorted.
bool ReadFolder(const std::string& folder, std::vector<std::string>* names,
                std::string* error) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    *error = "cannot read the folder " + folder + ": " + ErrnoText();
    return false;
  }
  names->clear();
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const int read_errno = errno;
  ::closedir(dir);
  if (read_errno != 0) {
    *error =
        "cannot read the folder " + folder + ": " + std::strerror(read_errno);
    return false;
  }
  std::sort(names->begin(), names->end());
  return true;
}

// Whether an item is left out; marks in `*used` the pattern that says so.
bool IsExcluded(const std::vector<std::string>& excludes,
                const std::string& name, const std::string& relative,
                std::vector<bool>* used) {
  for (std::size_t i = 0; i < excludes.size(); ++i) {
    const std::string& pattern = excludes[i];
    const bool whole_path = pattern.find('/') != std::string::npos;
    if (MatchPattern(pattern, whole_path ? relative : name)) {
      (*used)[i] = true;
      return true;
    }
  }
  return false;
}

class TreeWalker {
 public:
  TreeWalker(const std::vector<std::string>& excludes,
             std::vector<TreeItem>* items, std::string* error)
      : excludes_(excludes),
        used_(excludes.size(), false),
        items_(items),
        error_(error) {}

  // Which of the patterns left something out so far.
  const std::vector<bool>& used() const { return used_; }

  // Adds the items below `folder` (relative path `prefix`, empty for the
  // root); `*packed` tells whether any file lies below it.
  bool Walk(const std::string& folder, const std::string& prefix,
            bool* packed) {
    std::vector<std::string> names;
    if (!ReadFolder(folder, &names, error_)) return false;
    *packed = false;
    for (const std::string& name : names) {
      const std::string relative = prefix.empty() ? name : prefix + "/" + name;
      if (IsExcluded(excludes_, name, relative, &used_)) continue;
      const std::string host = folder + "/" + name;
      struct stat st;
      if (::stat(host.c_str(), &st) != 0) {
        *error_ =
            (errno == ENOENT ? host + " is a link that points nowhere"
                             : "cannot read " + host + ": " + ErrnoText());
        return false;
      }
      if (S_ISREG(st.st_mode)) {
        items_->push_back({relative, host, false, false});
        *packed = true;
      } else if (S_ISDIR(st.st_mode)) {
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (std::find(walking_.begin(), walking_.end(), id) != walking_.end()) {
          *error_ = host + " is a link back into a folder that holds it";
          return false;
        }
        const std::size_t at = items_->size();
        items_->push_back({relative, host, true, false});
        walking_.push_back(id);
        bool below = false;
        if (!Walk(host, relative, &below)) return false;
        walking_.pop_back();
        (*items_)[at].is_empty_folder = !below;
        *packed = *packed || below;
      } else {
        *error_ = host + " is neither a file nor a folder";
        return false;
      }
    }
    return true;
  }

  void EnterRoot(dev_t dev, ino_t ino) { walking_.push_back({dev, ino}); }

 private:
  const std::vector<std::string>& excludes_;
  std::vector<bool> used_;  // which of excludes_ left something out
  std::vector<TreeItem>* items_;
  std::string* error_;
  std::vector<std::pair<dev_t, ino_t>> walking_;  // the folders being walked
};

bool MatchSet(const std::string& pattern, std::size_t* p, unsigned char c,
              bool* matched) {
  std::size_t i = *p + 1;
  const bool negate = i < pattern.size() && pattern[i] == '!';
  if (negate) ++i;
  bool found = false;
  bool first = true;
  while (i < pattern.size() && (first || pattern[i] != ']')) {
    first = false;
    unsigned char low = static_cast<unsigned char>(pattern[i]);
    unsigned char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' &&
        pattern[i + 2] != ']') {
      high = static_cast<unsigned char>(pattern[i + 2]);
      i += 2;
    }
    if (c >= low && c <= high) found = true;
    ++i;
  }
  if (i >= pattern.size()) return false;  // no closing bracket
  *p = i + 1;
  *matched = found != negate && c != '/';
  return true;
}

void ExpandFrom(const std::string& base, const std::vector<std::string>& parts,
                std::size_t index, std::vector<std::string>* paths,
                std::string* error) {
  if (!error->empty()) return;
  const std::string joined_base =
      base.empty() ? std::string() : (base == "/" ? base : base + "/");
  if (index == parts.size()) {
    struct stat st;
    if (::stat(base.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      paths->push_back(base);
    }
    return;
  }
  const std::string& part = parts[index];
  if (!HasWildcard(part)) {
    ExpandFrom(joined_base + part, parts, index + 1, paths, error);
    return;
  }
  std::vector<std::string> names;
  const std::string folder = base.empty() ? "." : base;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  if (!ReadFolder(folder, &names, error)) return;
  for (const std::string& name : names) {
    if (name[0] == '.' && part[0] != '.') continue;
    if (MatchPattern(part, name)) {
      ExpandFrom(joined_base + name, parts, index + 1, paths, error);
    }
  }
}

}  // namespace

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?[") != std::string::npos;
}

bool MatchPattern(const std::string& pattern, const std::string& name) {
  // Iterative matching with one backtrack point for the latest '*'.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star_p = std::string::npos;
  std::size_t star_n = 0;
  while (n < name.size()) {
    bool step = false;
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        star_p = p++;
        star_n = n;
        continue;
      }
      if (c == '?') {
        step = name[n] != '/';
        if (step) ++p;
      } else if (c == '[') {
        std::size_t next = p;
        bool matched = false;
        if (MatchSet(pattern, &next, static_cast<unsigned char>(name[n]),
                     &matched)) {
          step = matched;
          if (step) p = next;
        } else {
          step = name[n] == '[';  // an unclosed '[' stands for itself
          if (step) ++p;
        }
      } else {
        step = c == name[n];
        if (step) ++p;
      }
    }
    if (step) {
      ++n;
    } else if (star_p != std::string::npos && name[star_n] != '/') {
      p = star_p + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool ListTree(const std::string& root, const std::vector<std::string>& excludes,
              std::vector<TreeItem>* items, std::string* error,
              std::vector<bool>* used) {
  items->clear();
  struct stat st;
  if (::stat(root.c_str(), &st) != 0) {
    *error = "cannot find " + root;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = root + " is not a folder";
    return false;
  }
  TreeWalker walker(excludes, items, error);
  walker.EnterRoot(st.st_dev, st.st_ino);
  bool packed = false;
  const bool listed = walker.Walk(root, "", &packed);
  if (used) *used = walker.used();
  return listed;
}

bool ExpandPattern(const std::string& folder, const std::string& pattern,
                   std::vector<std::string>* paths, std::string* error) {
  paths->clear();
  error->clear();
  if (pattern.empty()) return true;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= pattern.size()) {
    std::size_t slash = pattern.find('/', start);
    if (slash == std::string::npos) slash = pattern.size();
    if (slash > start) parts.push_back(pattern.substr(start, slash - start));
    start = slash + 1;
  }
  std::string base = folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (pattern[0] == '/') base = "/";
  ExpandFrom(base, parts, 0, paths, error);
  std::sort(paths->begin(), paths->end());
  return error->empty();
}

}  // namespace sfxtool
