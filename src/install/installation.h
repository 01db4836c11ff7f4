// The installation run: pre-run programs, space check, directories, the
// copy with progress, the registry log, shortcuts, the uninstaller's
// registration, the closing message and the product's launch.
#ifndef SFX_INSTALL_INSTALLATION_H_
#define SFX_INSTALL_INSTALLATION_H_

#include <cstdint>

#include "base/string.h"
#include "install/install_view.h"
#include "package/record.h"
#include "paths/macros.h"  // CreateDirectoryPath

namespace sfx {

constexpr std::size_t kDestBufferSize = 500;  // 499 characters and a NUL
// The refusal of a destination that DestBuffer cannot hold.
inline constexpr char kDestinationTooLong[] =
    "The destination directory is too long:\rit may hold at most 499 "
    "characters.";

// Destination text: from the command line or the window's edit field.
extern String DestBuffer;
// Upper-cased drive letter of the destination.
extern char TargetDrive;
// The window starts its Install command by itself.
extern bool AutoInstall;
// Free bytes on TargetDrive; -1 until known.
extern std::int64_t FreeSpace;
// True when the program was started with a destination argument.
extern bool Unattended;

// A directory field of the package: expanded when it holds a macro,
// otherwise relative to InstallLocation. `*has_macro` tells which.
String ResolveTargetDir(const String& target_dir, bool* has_macro);

// Runs the whole installation, showing it in `view` (null: unattended or
// quiet). Every failure ends the run after its message.
void RunInstallation(TInstalRecord& record, InstallView* view);

}  // namespace sfx

#endif  // SFX_INSTALL_INSTALLATION_H_
