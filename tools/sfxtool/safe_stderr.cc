// The escaping standard error (see safe_stderr.h), a glibc custom stream.
#include "safe_stderr.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace sfxtool {
namespace {

// A C1 control in UTF-8 is 0xC2 followed by 0x80-0x9F; a 0xC2 at the end
// of one write waits for the next.
bool g_pending_c2 = false;
std::FILE* g_raw = nullptr;

void AppendEscape(std::string* out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  *out += "\\x";
  *out += kHex[c >> 4];
  *out += kHex[c & 15];
}

ssize_t WriteEscaped(void*, const char* data, std::size_t size) {
  std::string out;
  out.reserve(size + 16);
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (g_pending_c2) {
      g_pending_c2 = false;
      if (c >= 0x80 && c <= 0x9F) {
        AppendEscape(&out, 0xC2);
        AppendEscape(&out, c);
        continue;
      }
      out += '\xC2';
    }
    if (c == 0xC2) {
      g_pending_c2 = true;
    } else if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
      AppendEscape(&out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  for (std::size_t done = 0; done < out.size();) {
    const ssize_t n = ::write(2, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

int CloseEscaped(void*) {
  if (g_pending_c2) {
    g_pending_c2 = false;
    return ::write(2, "\xC2", 1) == 1 ? 0 : EOF;
  }
  return 0;
}

}  // namespace

void EscapeStandardError() {
  cookie_io_functions_t functions{};
  functions.write = WriteEscaped;
  functions.close = CloseEscaped;
  if (std::FILE* stream = ::fopencookie(nullptr, "w", functions)) {
    std::setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
    g_raw = stderr;
    stderr = stream;
  }
}

std::FILE* RawStandardError() { return g_raw ? g_raw : stderr; }

}  // namespace sfxtool
