// Program-menu and desktop shortcuts, recorded in the installation log key.
#ifndef SFX_INSTALL_SHORTCUTS_H_
#define SFX_INSTALL_SHORTCUTS_H_

#include "base/status.h"
#include "base/string.h"
#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Creates the menu folder and every shortcut the record names, writing
// "MenuFolder", "Shortcut"+i and "DeskIcon"+i into `log_key`. Fails, with
// the value's name as message, when a log value cannot be written.
Status CreateShortcuts(const TInstalRecord& record, RegistryKey& log_key);

}  // namespace sfx

#endif  // SFX_INSTALL_SHORTCUTS_H_
