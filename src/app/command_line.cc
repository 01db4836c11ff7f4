// The command line of the installer (see command_line.h).
#include "app/command_line.h"

#include "paths/text.h"

namespace sfx {
namespace {

bool IsSeparator(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

const char kUsageText[] =
    "Usage: setup [destination] [/S] [/LOG=file] [/?]\r\r"
    "destination: the folder to install into, without the window and the "
    "licence (it never begins with /)\r"
    "/S: quiet; no window and no message at all, into the destination or "
    "else the default folder; the product is not started\r"
    "/LOG=file: writes each step and every message to the file\r"
    "/?: shows this text\r\r"
    "Exit codes: 0 installed, 1 damaged installer, 2 bad command line, "
    "3 cancelled, 4 not enough space, 5 a step of the installation failed.";

std::string NextArgument(const std::string& line, std::size_t* pos) {
  std::size_t i = *pos;
  while (true) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
    } else {
      break;
    }
  }
  std::string argument;
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

CommandLine ParseCommandLine(const std::string& line) {
  CommandLine result;
  std::size_t pos = 0;
  NextArgument(line, &pos);  // the program's own name
  while (true) {
    const std::string argument = NextArgument(line, &pos);
    if (argument.empty()) break;
    if (argument[0] != '/') {
      // Only the first destination counts, as it always has.
      if (result.destination.empty()) result.destination = argument;
      continue;
    }
    const std::string upper = UpperCaseLatin(argument);
    if (upper == "/S") {
      result.quiet = true;
    } else if (upper == "/?") {
      result.usage = true;
    } else if (upper.compare(0, 5, "/LOG=") == 0 && upper.size() > 5) {
      result.log_path = argument.substr(5);
    } else if (result.unknown.empty()) {
      result.unknown = argument;
    }
  }
  return result;
}

}  // namespace sfx
