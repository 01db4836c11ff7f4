// sfxtool: builds self-extracting installers from a manifest, and lists,
// verifies and extracts them; also encodes and decodes raw LZH streams.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "platform/replacing_file.h"
#include "safe_stderr.h"

namespace {

constexpr char kUsage[] =
    "usage: sfxtool COMMAND [ARGS...]\n"
    "\n"
    "Builds and inspects self-extracting installers for 32-bit Windows.\n"
    "\n"
    "commands:\n"
    "  build MANIFEST -o SETUP.EXE   build an installer from a TOML manifest\n"
    "  list SETUP.EXE [--json]       show the header and the packaged files\n"
    "  verify SETUP.EXE              check the installer's integrity\n"
    "  extract SETUP.EXE -o DIR      write the packaged files below DIR\n"
    "  lzh encode|decode IN OUT      raw LZH streams ('-' for stdin/stdout)\n"
    "\n"
    "build, verify and extract use every core (-j N to choose), show a\n"
    "progress line on a terminal (-q: none) and list files with -v. '--'\n"
    "ends a command's options, for a file name that begins with '-'.\n"
    "'sfxtool COMMAND --help' explains a command; 'sfxtool help manifest'\n"
    "lists the manifest's keys; 'sfxtool --version' shows the version.\n";

struct Command {
  const char* name;
  int (*run)(int, char**);
};

constexpr Command kCommands[] = {
    {"build", sfxtool::RunBuildCommand},
    {"list", sfxtool::RunListCommand},
    {"verify", sfxtool::RunVerifyCommand},
    {"extract", sfxtool::RunExtractCommand},
    {"lzh", sfxtool::RunLzhCommand},
};

// The exit code once standard output has taken everything: a listing
// lost to a full disk is a failure, not a success. (A command that failed
// has said why already.)
int FlushedOutput(int code) {
  errno = 0;
  if (code != 0 || (std::fflush(stdout) == 0 && !std::ferror(stdout))) {
    return code;
  }
  std::fprintf(stderr, "sfxtool: cannot write the standard output%s%s\n",
               errno != 0 ? ": " : "", errno != 0 ? std::strerror(errno) : "");
  return 1;
}

int Run(int argc, char** argv) {
  sfx::RemoveTemporariesOnSignals();
  sfxtool::EscapeStandardError();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* name = argv[1];
  if (std::strcmp(name, "--version") == 0) return sfxtool::PrintVersion();
  if (std::strcmp(name, "help") == 0 && argc > 2) {
    const int code = sfxtool::RunHelpCommand(argc - 2, argv + 2);
    if (code >= 0) return code;
    if (argc > 3) {
      std::fprintf(stderr, "sfxtool: help takes one topic\n\n%s", kUsage);
    } else {
      std::fprintf(stderr, "sfxtool: no help on '%s' (try 'manifest')\n\n%s",
                   argv[2], kUsage);
    }
    return 2;
  }
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
      std::strcmp(name, "help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(name, command.name) == 0) {
      return command.run(argc - 2, argv + 2);
    }
  }
  std::fprintf(stderr, "sfxtool: unknown command '%s'\n\n%s", name, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) { return FlushedOutput(Run(argc, argv)); }
