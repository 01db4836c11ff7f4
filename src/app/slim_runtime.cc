// Replacements for the parts of the C and C++ runtime that the installer
// never needs but would otherwise link, each a few kilobytes:
//  - the standard library's throw helpers with their exception classes,
//    and the verbose terminate handler with the symbol demangler. The
//    installer throws only its own exception types; a failure of the
//    standard library here means memory ran out or a bug, and the program
//    stops at once;
//  - the thread support of the exception machinery (per-thread exception
//    globals, the lock of the emergency exception pool). The installer has
//    a single thread;
//  - the C library's math-error reporter, never installed here (below);
//  - the start-up pass that applies pseudo-relocations for data imported
//    from DLLs. The installer links statically and imports no data; the
//    link (-Wl,--disable-runtime-pseudo-reloc) fails should that change.
#include <cstdlib>

namespace std {

[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

extern "C" {

// The exception globals of the one thread: the caught-exception stack and
// the count of uncaught exceptions (two words; room is left for more).
void* __cxa_get_globals() noexcept {
  static void* globals[4];
  return globals;
}
void* __cxa_get_globals_fast() noexcept { return __cxa_get_globals(); }

// The emergency pool's lock: nothing to exclude with one thread.
void __gthr_win32_mutex_init_function(void*) {}
int __gthr_win32_mutex_lock(void*) { return 0; }
int __gthr_win32_mutex_unlock(void*) { return 0; }
void __gthr_win32_mutex_destroy(void*) {}

void _pei386_runtime_relocator() {}

// The start-up code installs the C library's math-error reporter (which
// prints through stdio) only when a program asks for it with
// _MINGW_INSTALL_DEBUG_MATHERR = 1; the installer does not, so it never
// runs and this keeps the reporter and its texts out.
int _matherr(void*) { return 0; }

}  // extern "C"
