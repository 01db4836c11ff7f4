// sfxtool's standard error as a terminal may safely show it: names from
// manifests, packages and the command line end up in messages, and a
// control character in one could move the cursor, rewrite the line or
// change the terminal's state.
#ifndef SFXTOOL_SAFE_STDERR_H_
#define SFXTOOL_SAFE_STDERR_H_

#include <cstdio>

namespace sfxtool {

// Replaces `stderr` by a stream that writes to file descriptor 2 with
// every control character but the line feed and the tab (C0, DEL, and C1
// as UTF-8) shown as \xNN. Line buffered; what is left is written at exit.
void EscapeStandardError();

// The standard error stream as it was before, for the progress line, which
// draws itself with a carriage return and an erase sequence.
std::FILE* RawStandardError();

}  // namespace sfxtool

#endif  // SFXTOOL_SAFE_STDERR_H_
