/* The uninstaller, packed into installers as TIV_UNINSTAL.EXE when the
 * manifest says `uninstaller = true`. The installer registers it with the
 * registry key of the installation log as its argument:
 *     "C:\Program Files\Product\TIV_UNINSTAL.EXE" "Software\Maker\Product" [/S]
 * It asks once (not with /S), removes exactly what the log names (files,
 * shortcuts, the menu folder, and the directories within the installation
 * directory that the removal leaves empty), then the log key and the
 * uninstall registration; its own file goes last, through a copy in the
 * temporary folder that waits for this process to end.
 *
 * A small C program of its own, not linked with the installer's libraries,
 * so that it stays a few kilobytes; its decisions live in uninstall_plan.c,
 * tested natively. Exit codes: docs/uninstaller.md. */
#include <windows.h>

#include "uninstall/uninstall_plan.h"

#define TEXT_MAX UNINSTALL_TEXT_MAX

static const char kUninstallRoot[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

/* What could not be removed: the first lines of the report, and a count. */
static char g_left[2048];
static int g_left_count;
static int g_silent;
static char g_caption[TEXT_MAX + 16];

static void Say(const char* text, UINT icon) {
  if (!g_silent) MessageBoxA(NULL, text, g_caption, MB_OK | icon);
}

static int Exists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static void NoteLeft(const char* path) {
  if (g_left_count++ < 15 &&
      lstrlenA(g_left) + lstrlenA(path) + 3 < (int)sizeof g_left) {
    lstrcatA(g_left, path);
    lstrcatA(g_left, "\r\n");
  }
}

/* A file named by the log: removed, or reported when it stays. A file
   marked read-only since (attrib +r, a program's own doing) is removed as
   well; one that still cannot go keeps its attributes. */
static void RemoveFile(const char* path) {
  DWORD attributes;
  if (!path[0] || DeleteFileA(path)) return;
  attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
          FILE_ATTRIBUTE_READONLY &&
      SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
    if (DeleteFileA(path)) return;
    SetFileAttributesA(path, attributes);
  }
  NoteLeft(path);
}

/* Ends the registry text of `size` bytes in `out` (TEXT_MAX bytes) and
 * expands a REG_EXPAND_SZ one (regedit keeps that type for a value edited
 * by hand). Returns 0, leaving `out` empty, for any other type. */
static int TakeString(DWORD type, DWORD size, char* out) {
  char raw[TEXT_MAX];
  out[size < TEXT_MAX ? size : TEXT_MAX - 1] = '\0';
  if (type == REG_EXPAND_SZ) {
    lstrcpyA(raw, out);
    if (ExpandEnvironmentStringsA(raw, out, TEXT_MAX) - 1 < TEXT_MAX) return 1;
  } else if (type == REG_SZ) {
    return 1;
  }
  out[0] = '\0';
  return 0;
}

static int ReadString(HKEY key, const char* name, char* out) {
  DWORD size = TEXT_MAX - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)out, &size) !=
      ERROR_SUCCESS) {
    size = 0;
    type = REG_NONE;
  }
  return TakeString(type, size, out);
}

/* Non-zero when the log's `path` names this program, `self` (its long
 * form): it may have been started by another form of its name. */
static int IsSelf(const char* path, const char* self) {
  char full[MAX_PATH];
  DWORD n;
  if (lstrcmpiA(path, self) == 0) return 1;
  n = GetLongPathNameA(path, full, sizeof full);
  return n > 0 && n < sizeof full && lstrcmpiA(full, self) == 0;
}

/* Deletes `path` beneath `root` and then its parents while they hold
 * neither values nor subkeys; never the first component ("Software"). */
static void DeleteKeyIfEmpty(HKEY root, char* path) {
  for (;;) {
    HKEY key;
    DWORD subkeys = 0;
    DWORD values = 0;
    int cut;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values,
                       NULL, NULL, NULL, NULL);
      RegCloseKey(key);
      if (subkeys || values || RegDeleteKeyA(root, path) != ERROR_SUCCESS) {
        return;
      }
    }
    for (cut = lstrlenA(path) - 1; cut > 0 && path[cut] != '\\'; --cut) {
    }
    if (cut <= 0) return;
    path[cut] = '\0';
  }
}

/* The copy in the temporary folder: waits for the uninstaller to end,
 * deletes its file and the directories that leaves empty. A file still
 * held after that (a second uninstaller started from it meanwhile) goes
 * when Windows next starts, and those directories after it. */
static int RunRemover(const UninstallArgs* args) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, args->wait_pid);
  DirectoryList dirs = {0};
  char self[MAX_PATH];
  int held;
  int i;
  if (process) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
  for (i = 0; i < 100 && !DeleteFileA(args->remove) && Exists(args->remove);
       ++i) {
    Sleep(100);
  }
  held = Exists(args->remove);
  if (held) MoveFileExA(args->remove, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  AddParentDirectories(&dirs, args->remove, args->location);
  SortDeepestFirst(&dirs);
  for (i = 0; i < dirs.count; ++i) {
    if (!RemoveDirectoryA(dirs.items[i]) && held) {
      MoveFileExA(dirs.items[i], NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
  }
  FreeDirectoryList(&dirs);
  /* The copy itself goes when Windows next starts. */
  if (GetModuleFileNameA(NULL, self, sizeof self)) {
    MoveFileExA(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return Exists(args->remove) ? kUninstallLeftOver : kUninstallDone;
}

/* Starts the copy that removes `self` once this process has ended. */
static int StartRemover(const char* self, const char* location) {
  char temp[MAX_PATH];
  char copy[MAX_PATH + 40];
  char line[3 * TEXT_MAX + 80];
  char pid[16];
  STARTUPINFOA startup;
  PROCESS_INFORMATION info;
  if (!GetTempPathA(MAX_PATH, temp)) return 0;
  wsprintfA(pid, "%lu", GetCurrentProcessId());
  lstrcpyA(copy, temp);
  lstrcatA(copy, "sfx-uninstall-");
  lstrcatA(copy, pid);
  lstrcatA(copy, ".exe");
  if (!CopyFileA(self, copy, FALSE)) return 0;
  lstrcpyA(line, "\"");
  lstrcatA(line, copy);
  lstrcatA(line, "\" /X:");
  lstrcatA(line, pid);
  lstrcatA(line, " \"");
  lstrcatA(line, self);
  lstrcatA(line, "\" \"");
  lstrcatA(line, location);
  lstrcatA(line, "\"");
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(copy, line, NULL, NULL, FALSE, 0, NULL, temp, &startup,
                      &info)) {
    DeleteFileA(copy);
    return 0;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 1;
}

/* Removes the files and links that the log key `log` names, and collects
 * its directories and its menu folder (removed later, when empty) and its
 * location. When the log names this program, which goes last, sets
 * `*self_listed` and copies the log's location to `self_location` (the
 * folders the program leaves empty go with it). A value that is no full
 * path (a log edited by hand) is not acted on. */
static void RemoveLogged(HKEY log, const char* self, DirectoryList* dirs,
                         DirectoryList* locations, int* self_listed,
                         char* self_location) {
  char location[TEXT_MAX];
  DWORD index;
  ReadString(log, "Location", location);
  if (AddDirectory(locations, location) != 0) NoteLeft("(out of memory)");
  for (index = 0;; ++index) {
    char value_name[256];
    char value[TEXT_MAX];
    DWORD name_size = sizeof value_name;
    DWORD value_size = sizeof value - 1;
    DWORD type = 0;
    LONG status = RegEnumValueA(log, index, value_name, &name_size, NULL, &type,
                                (BYTE*)value, &value_size);
    /* Too long a name or text names nothing that can be removed; any
     * other failure (the key deleted meanwhile) ends the list. */
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (!TakeString(type, value_size, value) || !IsFullPathBelowRoot(value)) {
      continue;
    }
    switch (ClassifyLogValue(value_name)) {
      case kLogFile:
        if (IsSelf(value, self)) {
          *self_listed = 1;
          lstrcpyA(self_location, location);
        } else if (GetFileAttributesA(value) != INVALID_FILE_ATTRIBUTES &&
                   (GetFileAttributesA(value) & FILE_ATTRIBUTE_DIRECTORY)) {
          /* An extra log entry may name a directory: it goes when empty. */
          if (AddDirectory(dirs, value) != 0) NoteLeft("(out of memory)");
        } else {
          RemoveFile(value);
        }
        if (AddParentDirectories(dirs, value, location) != 0) {
          NoteLeft("(out of memory)");
        }
        break;
      case kLogShortcut:
        RemoveFile(value);
        break;
      case kLogDirectory:
        if (AddDirectory(dirs, value) != 0 ||
            AddParentDirectories(dirs, value, location) != 0) {
          NoteLeft("(out of memory)");
        }
        break;
      case kLogMenuFolder: /* each log's: a later run may have moved it */
        if (AddDirectory(dirs, value) != 0) NoteLeft("(out of memory)");
        break;
      default:
        break;
    }
  }
}

/* Deletes the logs kept beside the log key, each with the uninstall entry
 * of the product it names (a failed run may have renamed the product). */
static void DeleteKeptLogs(const char* parent) {
  HKEY key;
  DWORD index = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, parent, 0, KEY_READ | KEY_WRITE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (;;) {
    char name[256];
    char product[TEXT_MAX];
    char entry[sizeof kUninstallRoot + TEXT_MAX];
    DWORD size = sizeof name;
    HKEY kept;
    if (RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS) {
      break;
    }
    if (!IsKeptLogName(name)) {
      ++index;
      continue;
    }
    product[0] = '\0';
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &kept) == ERROR_SUCCESS) {
      ReadString(kept, "Name", product);
      RegCloseKey(kept);
    }
    if (product[0]) {
      lstrcpyA(entry, kUninstallRoot);
      lstrcatA(entry, product);
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, entry);
    }
    if (RegDeleteKeyA(key, name) != ERROR_SUCCESS) ++index;
  }
  RegCloseKey(key);
}

static int NoLog(const char* path) {
  char text[TEXT_MAX + 100];
  lstrcpyA(text, "The installation log HKEY_CURRENT_USER\\");
  lstrcatA(text, path);
  lstrcatA(text, " cannot be read. Nothing was removed.");
  Say(text, MB_ICONERROR);
  return kUninstallBadLog;
}

static int Uninstall(void) {
  UninstallArgs args;
  char path[TEXT_MAX + 16];
  char parent[TEXT_MAX];
  char folders_key[TEXT_MAX + 20];
  char self_top[TEXT_MAX];
  DirectoryList locations = {0}; /* of every log */
  char name[TEXT_MAX];
  char self[MAX_PATH] = "";
  char temp[MAX_PATH];
  char text[TEXT_MAX + 2200];
  DirectoryList dirs = {0};
  HKEY log;
  HANDLE lock;
  char self_location[TEXT_MAX] = "";
  int self_listed = 0;
  int i;

  lstrcpyA(g_caption, "Uninstall");
  if (ParseUninstallArgs(GetCommandLineA(), &args) != 0) {
    g_silent = args.silent;
    Say("Usage: TIV_UNINSTAL.EXE \"<registry key of the installation log>\" "
        "[/S]",
        MB_ICONERROR);
    return kUninstallBadLog;
  }
  g_silent = args.silent;
  if (args.remove[0]) return RunRemover(&args);

  /* Hold no directory of the product as the current one. */
  if (GetTempPathA(MAX_PATH, temp)) SetCurrentDirectoryA(temp);
  lstrcpyA(parent, args.key[0] == '\\' ? args.key + 1 : args.key);
  lstrcpyA(path, parent);
  lstrcatA(path, "\\install");
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &log) !=
      ERROR_SUCCESS) {
    return NoLog(path);
  }
  i = ReadString(log, "Name", name);
  RegCloseKey(log);
  if (!i || !name[0]) {
    Say("The installation log names no product. Nothing was removed.",
        MB_ICONERROR);
    return kUninstallBadLog;
  }
  lstrcpyA(g_caption, name);
  lstrcatA(g_caption, " Uninstall");
  if (!g_silent) {
    lstrcpyA(text, "Remove ");
    lstrcatA(text, name);
    lstrcatA(text, " and everything its installation put on this computer?");
    if (MessageBoxA(NULL, text, g_caption,
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
      return kUninstallCancelled;
    }
  }
  /* One uninstaller at a time per log (Uninstall clicked twice): the second
   * waits, then finds the log gone. Held until this process ends. */
  lstrcpyA(text, "sfx-uninstall:");
  lstrcatA(text, parent);
  for (i = 0; text[i]; ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  lock = CreateMutexA(NULL, FALSE, text);
  if (lock) WaitForSingleObject(lock, INFINITE);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &log) !=
      ERROR_SUCCESS) {
    return NoLog(path);
  }
  GetModuleFileNameA(NULL, text, MAX_PATH);
  if (!GetLongPathNameA(text, self, sizeof self)) lstrcpyA(self, text);

  RemoveLogged(log, self, &dirs, &locations, &self_listed, self_location);
  RegCloseKey(log);
  /* The logs kept beside it ("install.previous", "install.failed<k>"):
   * the last complete run's and those of runs that failed since. */
  if (RegOpenKeyExA(HKEY_CURRENT_USER, parent, 0, KEY_READ, &log) ==
      ERROR_SUCCESS) {
    DWORD index;
    for (index = 0;; ++index) {
      char kept_name[256];
      DWORD size = sizeof kept_name;
      HKEY kept_log;
      if (RegEnumKeyExA(log, index, kept_name, &size, NULL, NULL, NULL, NULL) !=
          ERROR_SUCCESS) {
        break;
      }
      if (IsKeptLogName(kept_name) &&
          RegOpenKeyExA(log, kept_name, 0, KEY_READ, &kept_log) ==
              ERROR_SUCCESS) {
        RemoveLogged(kept_log, self, &dirs, &locations, &self_listed,
                     self_location);
        RegCloseKey(kept_log);
      }
    }
    RegCloseKey(log);
  }

  /* The folders that runs made above their destinations ("install.folders"
   * beside the logs, a value named by each): each goes, when empty, with
   * every logged destination inside it, and the program's own folder with
   * the topmost of them. */
  lstrcpyA(folders_key, parent);
  lstrcatA(folders_key, "\\install.folders");
  if (RegOpenKeyExA(HKEY_CURRENT_USER, folders_key, 0, KEY_READ, &log) ==
      ERROR_SUCCESS) {
    DWORD index;
    char folder[TEXT_MAX];
    lstrcpyA(self_top, self_location);
    for (index = 0;; ++index) {
      DWORD size = TEXT_MAX;
      if (RegEnumValueA(log, index, folder, &size, NULL, NULL, NULL, NULL) !=
          ERROR_SUCCESS) {
        break;
      }
      for (i = 0; i < locations.count; ++i) {
        if (IsWithinDirectory(locations.items[i], folder) &&
            AddParentDirectories(&dirs, locations.items[i], folder) != 0) {
          NoteLeft("(out of memory)");
        }
      }
      if (IsFullPathBelowRoot(folder) &&
          IsWithinDirectory(self_location, folder) &&
          IsWithinDirectory(self_top, folder)) {
        lstrcpyA(self_top, folder);
      }
    }
    RegCloseKey(log);
    lstrcpyA(self_location, self_top);
  }
  FreeDirectoryList(&locations);

  /* Folders go only when empty: whatever else is in them stays. */
  SortDeepestFirst(&dirs);
  for (i = 0; i < dirs.count; ++i) RemoveDirectoryA(dirs.items[i]);
  FreeDirectoryList(&dirs);

  /* The copy that removes this program is started before the keys go: when
   * it cannot be (the temporary folder full or not writable), the keys stay
   * for another run, like for any file left. */
  if (g_left_count == 0 && self_listed && !StartRemover(self, self_location)) {
    NoteLeft(self);
  }
  if (g_left_count == 0) {
    /* The keys stay while something is left, so that the uninstaller can
     * be run again. */
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
    DeleteKeptLogs(parent);
    RegDeleteKeyA(HKEY_CURRENT_USER, folders_key);
    /* The mark a run leaves until it completes. */
    lstrcpyA(path, parent);
    lstrcatA(path, "\\install.running");
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
    lstrcpyA(path, parent);
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, path);
    lstrcpyA(text, kUninstallRoot);
    lstrcatA(text, name);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, text);
  }

  if (g_left_count > 0) {
    lstrcpyA(text,
             "These items could not be removed (they may be in use):\r\n");
    lstrcatA(text, g_left);
    if (g_left_count > 15) lstrcatA(text, "...\r\n");
    Say(text, MB_ICONWARNING);
    return kUninstallLeftOver;
  }
  lstrcpyA(text, name);
  lstrcatA(text, " has been removed.");
  Say(text, MB_ICONINFORMATION);
  return kUninstallDone;
}

/* The entry, without the C runtime's start-up code (-nostartfiles,
 * CMakeLists.txt): the program takes its arguments from GetCommandLineA,
 * and msvcrt.dll initialises itself when loaded, so malloc and qsort work
 * from the first line. */
void WinMainCRTStartup(void) { ExitProcess((UINT)Uninstall()); }
