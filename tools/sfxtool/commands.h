// The subcommands of sfxtool. Each takes the arguments that follow its name
// and returns the process exit code (0 success, 1 failure, 2 usage error).
#ifndef SFXTOOL_COMMANDS_H_
#define SFXTOOL_COMMANDS_H_

namespace sfxtool {

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
