// Program-menu and desktop shortcuts, recorded in the installation log key.
#ifndef SFX_INSTALL_SHORTCUTS_H_
#define SFX_INSTALL_SHORTCUTS_H_

#include <string>

#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Creates the menu folder and every shortcut the record names, writing
// "MenuFolder", "Shortcut"+i and "DeskIcon"+i into `log_key`. Raises when a
// log value cannot be written.
void CreateShortcuts(const TInstalRecord& record, RegistryKey& log_key);

}  // namespace sfx

#endif  // SFX_INSTALL_SHORTCUTS_H_
