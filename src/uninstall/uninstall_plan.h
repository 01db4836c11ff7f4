/* The uninstaller's decisions, kept apart from its Win32 calls so that they
 * are tested natively: its command line, what each value of the
 * installation log names, and which directories may go once the files in
 * them are removed. Plain C, like the rest of the uninstaller, which must
 * stay small. See docs/uninstaller.md. */
#ifndef SFX_UNINSTALL_UNINSTALL_PLAN_H_
#define SFX_UNINSTALL_UNINSTALL_PLAN_H_

#ifdef __cplusplus
extern "C" {
#endif

#define UNINSTALL_TEXT_MAX 1024

/* Exit codes of the uninstaller. */
enum {
  kUninstallDone = 0,      /* everything the log named is gone */
  kUninstallBadLog = 1,    /* bad arguments, or no readable log */
  kUninstallCancelled = 3, /* the user answered No */
  kUninstallLeftOver = 5   /* something could not be removed */
};

typedef struct {
  char key[UNINSTALL_TEXT_MAX]; /* registry key of the installation log */
  int silent;                   /* "/S": no question, no boxes */
  /* The self-removal helper ("/X:<pid>" path location): the copy in the
   * temporary folder that deletes `remove` once process `wait_pid` ended. */
  unsigned long wait_pid;
  char remove[UNINSTALL_TEXT_MAX];
  char location[UNINSTALL_TEXT_MAX];
} UninstallArgs;

/* Reads the command line (program name first). Arguments: the log's
 * registry key (quotes removed) and "/S" in any order, or the helper's
 * "/X:<pid>" with two paths. Returns 0, or -1 when the key is missing or an
 * argument is unknown. */
int ParseUninstallArgs(const char* command_line, UninstallArgs* args);

typedef enum {
  kLogIgnored,    /* a value the uninstaller does not act on */
  kLogFile,       /* "Prog" + i: an installed file */
  kLogShortcut,   /* "Shortcut" + i or "DeskIcon" + i: a link file */
  kLogMenuFolder, /* "MenuFolder" */
  kLogDirectory,  /* "Dir" + i: a listed directory, removed when empty */
} LogValueKind;

/* What the log value called `name` names (case-insensitive). */
LogValueKind ClassifyLogValue(const char* name);

/* Non-zero when the subkey `name` of the log's key is a log kept beside
 * the installation log: "install.previous" (the last complete run's) or
 * "install.failed<k>" (a run that failed since), any case. */
int IsKeptLogName(const char* name);

/* Non-zero when `path` is `dir` itself or lies below it (case-insensitive,
 * trailing backslashes ignored). */
int IsWithinDirectory(const char* path, const char* dir);

/* Non-zero when `path` is a full path ("C:\..." or "\\server\share...")
 * and not merely the root of a drive or share. A log value that is not is
 * never acted on: a relative name would be taken in the uninstaller's
 * current folder, and a root never goes. */
int IsFullPathBelowRoot(const char* path);

/* A set of directories, removed deepest first. */
typedef struct {
  char (*items)[UNINSTALL_TEXT_MAX];
  int count;
  int capacity;
} DirectoryList;

/* Adds every parent directory of `file` that lies within `location`
 * (location included, without trailing backslashes), each once; nothing
 * when `location` is no full path below a root (a drive's root holds the
 * user's own folders too). Returns -1 when memory runs out. */
int AddParentDirectories(DirectoryList* list, const char* file,
                         const char* location);

/* Adds the directory `dir` itself (trailing backslashes dropped), once;
 * not when it is no full path below a root. Returns -1 when memory runs
 * out. */
int AddDirectory(DirectoryList* list, const char* dir);

/* Orders the list deepest first (longest path first). */
void SortDeepestFirst(DirectoryList* list);

void FreeDirectoryList(DirectoryList* list);

#ifdef __cplusplus
}
#endif

#endif /* SFX_UNINSTALL_UNINSTALL_PLAN_H_ */
