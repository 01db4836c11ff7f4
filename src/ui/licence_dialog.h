// The licence window shown before every interactive installation.
#ifndef SFX_UI_LICENCE_DIALOG_H_
#define SFX_UI_LICENCE_DIALOG_H_

#include "package/record.h"
#include "platform/platform.h"

namespace sfx {

// Shows the packaged "LICENSE.TXT" and returns true when it was accepted or
// the package has none; false when refused or the window cannot be made.
bool ShowLicence(WindowHandle owner, const TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_UI_LICENCE_DIALOG_H_
