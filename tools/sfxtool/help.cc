// `sfxtool help [TOPIC]` and `sfxtool --version`: the manifest's keys in
// one screen, so that an installed sfxtool documents itself.
#include <cstdio>
#include <cstring>

#include "commands.h"

#ifndef SFX_VERSION
#define SFX_VERSION "unknown"
#endif

namespace sfxtool {
namespace {

constexpr char kManifestHelp[] =
    "The build manifest (TOML; paths relative to its folder; texts UTF-8,\n"
    "stored in code page 1252, at most 255 bytes each):\n"
    "\n"
    "  format             \"1.2\" \"2.1\" \"2.2\" \"2.3\" \"2.4\" (default "
    "2.4)\n"
    "  skip_checksum      bool: the installer only looks for its trailer\n"
    "  product_name       required: window title, log and uninstall name\n"
    "  product_texts      up to 3 strings (kept, not shown)\n"
    "  package_texts      up to 2 strings (kept, not shown)\n"
    "  install_dir        required: default destination, may hold a macro\n"
    "  menu_folder        program-menu group; empty: no shortcuts\n"
    "  browse_prompt      title of the folder browser\n"
    "  registry_key       required: the log goes to HKCU\\<key>\\install\n"
    "  launch_program     started at the end\n"
    "  space_required     bytes (default: the sum of the files' sizes)\n"
    "  welcome, finish    lines of the window and of the closing message\n"
    "  directories        created before the copy\n"
    "  extra_log_entries  further paths for the installation log\n"
    "  icon               .ico file: header icon and setup.exe's icon (2.3+)\n"
    "  info_texts         3 strings (2.3+)\n"
    "  flags              3 booleans (2.4)\n"
    "  product_version    setup.exe's version and \"DisplayVersion\"\n"
    "  publisher          setup.exe's CompanyName and \"Publisher\"\n"
    "  execution_level    asInvoker | highestAvailable |\n"
    "                     requireAdministrator (default)\n"
    "  uninstaller        bool: pack the project's TIV_UNINSTAL.EXE\n"
    "\n"
    "  [[file]]     source (required; a pattern with * ? [...] packs every\n"
    "               match), name, target_dir, shortcut, parameters,\n"
    "               desktop_icon (2.4), add_to_log (2.2+), convert (false:\n"
    "               a LICENSE.TXT's bytes unchanged)\n"
    "  [[tree]]     source (required: a folder, packed with everything\n"
    "               below it), target_dir, exclude (patterns), add_to_log\n"
    "  [[pre_run]]  file (required), parameters, directory, extract_first,\n"
    "               delete_after, stage (required: before | after |\n"
    "               log-exec | log-postexec) (2.1+)\n"
    "\n"
    "Details: docs/manifest.md, docs/vendor.md, docs/uninstaller.md.\n";

}  // namespace

int PrintVersion() {
  std::printf("sfxtool %s\n", SFX_VERSION);
  return 0;
}

int RunHelpCommand(int argc, char** argv) {
  if (argc == 1 && std::strcmp(argv[0], "manifest") == 0) {
    std::fputs(kManifestHelp, stdout);
    return 0;
  }
  if (argc == 1 && std::strcmp(argv[0], "build") == 0) {
    char help[] = "--help";
    char* args[] = {help};
    RunBuildCommand(1, args);
    std::fputs("\n", stdout);
    std::fputs(kManifestHelp, stdout);
    return 0;
  }
  return -1;  // the general usage
}

}  // namespace sfxtool
