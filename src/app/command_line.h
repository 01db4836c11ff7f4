// The installer's command line: the destination of an unattended run and
// the switches of deployment (/S, /LOG=file, /?). An argument that begins
// with a slash is a switch, so a destination never begins with one. See
// docs/command-line.md.
#ifndef SFX_APP_COMMAND_LINE_H_
#define SFX_APP_COMMAND_LINE_H_

#include "base/string.h"

namespace sfx {

struct CommandLine {
  String destination;  // the first argument that is not a switch
  bool quiet = false;  // /S
  bool usage = false;  // /?
  String log_path;     // /LOG=file
  String unknown;      // the first switch not understood
};

// Reads one argument starting at `*pos` and moves `*pos` behind it.
// Arguments are separated by runs of characters 1 to 32; a double quote
// starts or ends a stretch in which blanks belong to the argument and is
// itself dropped; a pair of quotes at the start of an argument is skipped
// with the blanks around it.
String NextArgument(const String& line, std::size_t* pos);

// Every argument after the program's own name. Switches are matched
// without regard to case and may stand before or after the destination.
CommandLine ParseCommandLine(const String& line);

// The text that /? shows.
extern const char kUsageText[];

}  // namespace sfx

#endif  // SFX_APP_COMMAND_LINE_H_
