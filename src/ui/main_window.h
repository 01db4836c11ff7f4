// The interactive installer window (Win32 only).
#ifndef SFX_UI_MAIN_WINDOW_H_
#define SFX_UI_MAIN_WINDOW_H_

#include "package/record.h"

namespace sfx {

// Builds the window and runs its message loop until it is destroyed.
void RunMainWindow(TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_UI_MAIN_WINDOW_H_
