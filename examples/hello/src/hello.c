/* The example product: a tiny Windows program that says hello. The example
 * installer packages it, puts it in the program menu and starts it at the
 * end of the installation. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
                   int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  MessageBoxA(NULL, "Hello! The example product is installed and running.",
              "Hello", MB_OK | MB_ICONINFORMATION);
  return 0;
}
