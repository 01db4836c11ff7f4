// The command line of the installer (see command_line.h).
#include "app/command_line.h"

namespace sfx {
namespace {

bool IsSeparator(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

const char kUsageText[] =
    "setup [destination] [/S] [/LOG=file] [/?]\r"
    "/S: no window, no message, into the destination or the default folder\r"
    "/LOG=file: each step and message into the file\r"
    "Exit codes: 0 installed, 1 damaged installer, 2 bad command line, "
    "3 cancelled, 4 no space, 5 a step failed.";

String NextArgument(const String& line, std::size_t* pos) {
  std::size_t i = *pos;
  while (true) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
    } else {
      break;
    }
  }
  String argument;
  bool quoted = false;
  for (; i < line.size() && line[i] != '\0'; ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(c)) {
      break;
    } else {
      argument += c;
    }
  }
  *pos = i;
  return argument;
}

CommandLine ParseCommandLine(const String& line) {
  CommandLine result;
  std::size_t pos = 0;
  NextArgument(line, &pos);  // the program's own name
  while (true) {
    const String argument = NextArgument(line, &pos);
    if (argument.empty()) break;
    if (argument[0] != '/') {
      // Only the first destination counts, as it always has.
      if (result.destination.empty()) result.destination = argument;
      continue;
    }
    // Upper-cased letters of the switch name ("/s" is "/S").
    const char letter =
        static_cast<char>(argument.size() > 1 ? argument[1] & ~0x20 : 0);
    if (argument.size() == 2 && letter == 'S') {
      result.quiet = true;
    } else if (argument.size() == 2 && argument[1] == '?') {
      result.usage = true;
    } else if (argument.size() > 5 && letter == 'L' &&
               (argument[2] & ~0x20) == 'O' && (argument[3] & ~0x20) == 'G' &&
               argument[4] == '=') {
      result.log_path = argument.substr(5);
    } else if (result.unknown.empty()) {
      result.unknown = argument;
    }
  }
  return result;
}

}  // namespace sfx
