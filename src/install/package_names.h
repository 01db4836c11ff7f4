// The installer's own check of the names a package asks it to write: every
// name and directory field must keep to the name rules (paths/name_rules.h)
// and no two files of one folder may differ only in case. A package built
// by sfxtool passes; a hand-made one that would write outside the
// destination, the program menu or a macro directory is refused before
// anything is done.
#ifndef SFX_INSTALL_PACKAGE_NAMES_H_
#define SFX_INSTALL_PACKAGE_NAMES_H_

#include "base/string.h"
#include "package/record.h"

namespace sfx {

// The message that refuses `record`, naming the first field that breaks
// the rules; empty when every name passes.
String FindBadPackageName(const TInstalRecord& record);

}  // namespace sfx

#endif  // SFX_INSTALL_PACKAGE_NAMES_H_
