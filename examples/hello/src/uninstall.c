/* The example product's uninstaller, TIV_UNINSTAL.EXE. The installer
 * registers it as the product's "UninstallString" with the registry path of
 * the installation log as its argument:
 *     "C:\Program Files\Hello World\TIV_UNINSTAL.EXE" Software\Example Makers\Hello World
 * After a confirmation it removes what the log key names: the installed
 * files ("Prog"), the shortcuts ("Shortcut", "DeskIcon") and the menu
 * folder, the directories the files leave empty up to the installation
 * directory ("Location"), and then the log key and the uninstall
 * registration. Its own file is still running; it is left for removal when
 * Windows restarts. */
#include <windows.h>

#define TEXT_MAX 1024

static char g_log_key[TEXT_MAX];
static char g_name[TEXT_MAX];
static char g_location[TEXT_MAX];

/* The value `name` + `index` (no index when negative) of the log key into
 * `out`; an empty text when it is missing. */
static void LogValue(HKEY key, const char* name, int index, char* out) {
  char value_name[64];
  DWORD size = TEXT_MAX - 1;
  DWORD type = 0;
  if (index >= 0) {
    wsprintfA(value_name, "%s%d", name, index);
  } else {
    lstrcpynA(value_name, name, sizeof value_name);
  }
  out[0] = '\0';
  if (RegQueryValueExA(key, value_name, NULL, &type, (BYTE*)out, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    out[0] = '\0';
    return;
  }
  out[size < TEXT_MAX ? size : TEXT_MAX - 1] = '\0';
}

/* The argument: the command line after the program's own name, without
 * surrounding blanks and quotes. */
static void ReadArgument(char* out) {
  const char* line = GetCommandLineA();
  int quoted = 0;
  int n;
  while (*line && (quoted || (unsigned char)*line > ' ')) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line && (unsigned char)*line <= ' ') ++line;
  if (*line == '"') ++line;
  lstrcpynA(out, line, TEXT_MAX);
  n = lstrlenA(out);
  while (n > 0 && ((unsigned char)out[n - 1] <= ' ' || out[n - 1] == '"')) {
    out[--n] = '\0';
  }
}

/* Removes the directories of `path` that are now empty, from its own up to
 * (and not above) the installation directory. */
static void RemoveEmptyParents(const char* path) {
  char dir[TEXT_MAX];
  int location_length = lstrlenA(g_location);
  int n;
  lstrcpynA(dir, path, TEXT_MAX);
  for (;;) {
    n = lstrlenA(dir);
    while (n > 0 && dir[n - 1] != '\\') --n;
    if (n == 0) return;
    dir[n - 1] = '\0';
    if (n - 1 < location_length - 1 ||
        CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, dir,
                       location_length - 1, g_location,
                       location_length - 1) != CSTR_EQUAL) {
      return;
    }
    if (!RemoveDirectoryA(dir)) return;
  }
}

static void RemoveFile(const char* path, const char* self) {
  if (!path[0]) return;
  if (lstrcmpiA(path, self) == 0) {
    MoveFileExA(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return;
  }
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
  RemoveEmptyParents(path);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
                   int show) {
  char install_key[TEXT_MAX + 16];
  char value[TEXT_MAX];
  char self[MAX_PATH + 1];
  char question[TEXT_MAX + 128];
  HKEY key;
  int count;
  int i;
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;

  ReadArgument(g_log_key);
  wsprintfA(install_key, "%s\\install", g_log_key);
  if (!g_log_key[0] || RegOpenKeyExA(HKEY_CURRENT_USER, install_key, 0,
                                     KEY_READ, &key) != ERROR_SUCCESS) {
    MessageBoxA(NULL, "The installation log was not found.", "Uninstall",
                MB_OK | MB_ICONERROR);
    return 1;
  }
  LogValue(key, "Name", -1, g_name);
  LogValue(key, "Location", -1, g_location);
  wsprintfA(question, "Remove %s and all of its components?", g_name);
  if (MessageBoxA(NULL, question, "Uninstall", MB_YESNO | MB_ICONQUESTION) !=
      IDYES) {
    RegCloseKey(key);
    return 2;
  }

  self[GetModuleFileNameA(NULL, self, MAX_PATH)] = '\0';
  LogValue(key, "NumbOfProg", -1, value);
  count = 0;
  for (i = 0; value[i] >= '0' && value[i] <= '9'; ++i) {
    count = count * 10 + (value[i] - '0');
  }
  for (i = 0; i < count; ++i) {
    LogValue(key, "Prog", i, value);
    RemoveFile(value, self);
    LogValue(key, "Shortcut", i, value);
    if (value[0]) DeleteFileA(value);
    LogValue(key, "DeskIcon", i, value);
    if (value[0]) DeleteFileA(value);
  }
  LogValue(key, "MenuFolder", -1, value);
  if (value[0]) RemoveDirectoryA(value);
  RegCloseKey(key);
  if (g_location[0]) RemoveDirectoryA(g_location);

  RegDeleteKeyA(HKEY_CURRENT_USER, install_key);
  if (g_name[0]) {
    char uninstall[TEXT_MAX + 64];
    wsprintfA(uninstall,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
              g_name);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstall);
  }
  /* Tell the shell that the desktop and the menu changed. */
  PostMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0);
  wsprintfA(question, "%s has been removed.", g_name);
  MessageBoxA(NULL, question, "Uninstall", MB_OK | MB_ICONINFORMATION);
  return 0;
}
