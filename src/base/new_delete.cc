// The global allocation functions of the installer program (a replacement
// the language provides for). The standard library's own throw bad_alloc,
// which would link the exception runtime (see base/string.h); these end
// the program instead when memory runs out, as base::Allocate does. Built
// into the Win32 programs only: the host keeps its allocator (and the
// sanitizers theirs).
#include <cstddef>
#include <cstdlib>
#include <new>

#include "base/string.h"

void* operator new(std::size_t bytes) { return sfx::base::Allocate(bytes); }
void* operator new[](std::size_t bytes) { return sfx::base::Allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return std::malloc(bytes == 0 ? 1 : bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return std::malloc(bytes == 0 ? 1 : bytes);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
