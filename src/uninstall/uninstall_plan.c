/* The uninstaller's portable decisions (see uninstall_plan.h). */
#include "uninstall/uninstall_plan.h"

#include <stdlib.h>
#include <string.h>

static char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

/* Copies the next argument (quotes removed) into `out` (size
 * UNINSTALL_TEXT_MAX) and returns the position behind it, or NULL at the
 * end of the line. */
static const char* NextArgument(const char* p, char* out) {
  int quoted = 0;
  int n = 0;
  while (*p && IsBlank(*p)) ++p;
  if (!*p) return NULL;
  for (; *p && (quoted || !IsBlank(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (n < UNINSTALL_TEXT_MAX - 1) {
      out[n++] = *p;
    }
  }
  out[n] = '\0';
  return p;
}

static int SameText(const char* a, const char* b) {
  while (*a && Upper(*a) == Upper(*b)) {
    ++a;
    ++b;
  }
  return *a == '\0' && *b == '\0';
}

int ParseUninstallArgs(const char* command_line, UninstallArgs* args) {
  char word[UNINSTALL_TEXT_MAX];
  const char* p = NextArgument(command_line, word); /* the program */
  const char* rest = p;
  int bad = 0;
  memset(args, 0, sizeof *args);
  /* A "/S" anywhere keeps even the usage message from showing a box. */
  while (rest && (rest = NextArgument(rest, word)) != NULL) {
    if (SameText(word, "/S")) args->silent = 1;
  }
  while (p && (p = NextArgument(p, word)) != NULL) {
    if (SameText(word, "/S")) {
      args->silent = 1;
    } else if (word[0] == '/' && Upper(word[1]) == 'X' && word[2] == ':') {
      char* end = NULL;
      args->wait_pid = strtoul(word + 3, &end, 10);
      if (!end || *end || !(p = NextArgument(p, args->remove)) ||
          !(p = NextArgument(p, args->location)) || !args->remove[0]) {
        return -1;
      }
      args->silent = 1;
    } else if (word[0] == '/' || args->key[0]) {
      bad = 1;
    } else {
      memcpy(args->key, word, sizeof word);
    }
  }
  return !bad && (args->key[0] || args->remove[0]) ? 0 : -1;
}

/* Non-zero when `name` is `prefix` followed by one or more digits. */
static int IsIndexed(const char* name, const char* prefix) {
  while (*prefix) {
    if (Upper(*name++) != Upper(*prefix++)) return 0;
  }
  if (!*name) return 0;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return 0;
  }
  return 1;
}

LogValueKind ClassifyLogValue(const char* name) {
  if (IsIndexed(name, "Prog")) return kLogFile;
  if (IsIndexed(name, "Shortcut") || IsIndexed(name, "DeskIcon")) {
    return kLogShortcut;
  }
  if (IsIndexed(name, "Dir")) return kLogDirectory;
  if (SameText(name, "MenuFolder")) return kLogMenuFolder;
  return kLogIgnored;
}

static size_t TrimmedLength(const char* path) {
  size_t n = strlen(path);
  while (n > 0 && path[n - 1] == '\\') --n;
  return n;
}

int IsKeptLogName(const char* name) {
  return SameText(name, "install.previous") ||
         IsIndexed(name, "install.failed");
}

int IsWithinDirectory(const char* path, const char* dir) {
  const size_t n = TrimmedLength(dir);
  const size_t m = TrimmedLength(path);
  size_t i;
  if (n == 0 || m < n) return 0;
  for (i = 0; i < n; ++i) {
    if (Upper(path[i]) != Upper(dir[i])) return 0;
  }
  return m == n || path[n] == '\\';
}

int IsFullPathBelowRoot(const char* path) {
  const size_t n = TrimmedLength(path);
  size_t i;
  size_t start;
  int parts = 0;
  int needed;
  if (n > 2 && path[1] == ':' && path[2] == '\\' && Upper(path[0]) >= 'A' &&
      Upper(path[0]) <= 'Z') {
    start = 3; /* "C:\" is the root; a name must follow it */
    needed = 1;
  } else if (path[0] == '\\' && path[1] == '\\') {
    start = 2; /* "\\server\share" is the root */
    needed = 3;
  } else {
    return 0;
  }
  /* Every name is a real one: none empty, none "." or "..". */
  for (i = start; i <= n; ++i) {
    if (i == n || path[i] == '\\') {
      const size_t len = i - start;
      if (len == 0 || (path[start] == '.' && len <= 2 &&
                       (len == 1 || path[start + 1] == '.'))) {
        return 0;
      }
      ++parts;
      start = i + 1;
    }
  }
  return parts >= needed;
}

static int Contains(const DirectoryList* list, const char* dir) {
  int i;
  for (i = 0; i < list->count; ++i) {
    if (SameText(list->items[i], dir)) return 1;
  }
  return 0;
}

int AddDirectory(DirectoryList* list, const char* dir) {
  const size_t n = TrimmedLength(dir);
  if (n >= UNINSTALL_TEXT_MAX || !IsFullPathBelowRoot(dir)) return 0;
  if (list->count == list->capacity) {
    const int capacity = list->capacity ? 2 * list->capacity : 16;
    void* grown = realloc(list->items, (size_t)capacity * UNINSTALL_TEXT_MAX);
    if (!grown) return -1;
    list->items = (char(*)[UNINSTALL_TEXT_MAX])grown;
    list->capacity = capacity;
  }
  memcpy(list->items[list->count], dir, n);
  list->items[list->count][n] = '\0';
  if (Contains(list, list->items[list->count])) return 0;
  ++list->count;
  return 0;
}

int AddParentDirectories(DirectoryList* list, const char* file,
                         const char* location) {
  char dir[UNINSTALL_TEXT_MAX];
  size_t n = strlen(file);
  if (n >= sizeof dir || !IsFullPathBelowRoot(location)) return 0;
  memcpy(dir, file, n + 1);
  for (;;) {
    while (n > 0 && dir[n - 1] != '\\') --n; /* cut the last component */
    while (n > 0 && dir[n - 1] == '\\') --n;
    dir[n] = '\0';
    if (n == 0 || !IsWithinDirectory(dir, location)) return 0;
    if (AddDirectory(list, dir) != 0) return -1;
  }
}

static int DeeperFirst(const void* a, const void* b) {
  const size_t la = strlen((const char*)a);
  const size_t lb = strlen((const char*)b);
  return la < lb ? 1 : la > lb ? -1 : 0;
}

void SortDeepestFirst(DirectoryList* list) {
  if (list->count > 1) {
    qsort(list->items, (size_t)list->count, UNINSTALL_TEXT_MAX, DeeperFirst);
  }
}

void FreeDirectoryList(DirectoryList* list) {
  free(list->items);
  list->items = NULL;
  list->count = list->capacity = 0;
}
