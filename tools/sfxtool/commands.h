// The subcommands of sfxtool. Each takes the arguments that follow its name
// and returns the process exit code (0 success, 1 failure, 2 usage error).
#ifndef SFXTOOL_COMMANDS_H_
#define SFXTOOL_COMMANDS_H_

#include <cstdio>
#include <set>
#include <string>

namespace sfxtool {

// The options a command line has given so far, for the commands' parsers:
// each option is given at most once, and a second one is a usage error.
class OptionsGiven {
 public:
  explicit OptionsGiven(const char* command) : command_(command) {}
  // True the first time `key` (one name for all spellings of an option)
  // comes; otherwise prints "`command`: `written` is given twice".
  bool First(const std::string& key, const std::string& written) {
    if (keys_.insert(key).second) return true;
    std::fprintf(stderr, "%s: %s is given twice\n", command_, written.c_str());
    return false;
  }

 private:
  const char* command_;  // "sfxtool build"
  std::set<std::string> keys_;
};

int RunLzhCommand(int argc, char** argv);      // lzh encode|decode IN OUT
int RunBuildCommand(int argc, char** argv);    // build MANIFEST -o SETUP.EXE
int RunListCommand(int argc, char** argv);     // list SETUP.EXE [--json]
int RunVerifyCommand(int argc, char** argv);   // verify SETUP.EXE
int RunExtractCommand(int argc, char** argv);  // extract SETUP.EXE -o DIR
// help manifest|build; -1 for any other topic (the caller prints usage).
int RunHelpCommand(int argc, char** argv);
int PrintVersion();  // --version

}  // namespace sfxtool

#endif  // SFXTOOL_COMMANDS_H_
