/* A program for the installer's pre-run and launch entries in the
 * end-to-end tests. It leaves a trace and ends with an exit code, both
 * chosen by its own file name, since the installer starts waited-for
 * programs without arguments:
 *   - it writes its command line into "<its own path>.ran";
 *   - a name holding "exit" followed by digits (probe-exit1962.exe) ends
 *     with that number, any other name with 0. */
#include <windows.h>

static unsigned ExitCodeFromName(const char* path) {
  const char* name = path;
  const char* p;
  unsigned code = 0;
  for (p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  for (p = name; *p; ++p) {
    if ((p[0] | 0x20) == 'e' && (p[1] | 0x20) == 'x' && (p[2] | 0x20) == 'i' &&
        (p[3] | 0x20) == 't' && p[4] >= '0' && p[4] <= '9') {
      for (p += 4; *p >= '0' && *p <= '9'; ++p) code = code * 10 + (*p - '0');
      break;
    }
  }
  return code;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
                   int show) {
  char path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
  const char* line = GetCommandLineA();
  HANDLE trace;
  DWORD written;
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  lstrcpyA(path + n, ".ran");
  trace = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, NULL);
  if (trace != INVALID_HANDLE_VALUE) {
    WriteFile(trace, line, lstrlenA(line), &written, NULL);
    CloseHandle(trace);
  }
  path[n] = '\0';
  return (int)ExitCodeFromName(path);
}
