// Run-time parts of the format's constants (lzh_format.h).
#include "codec/lzh_format.h"

namespace sfx {
namespace lzh {

void LoadPositionTables(PositionTables* t) { FillPositionTables(t); }

}  // namespace lzh
}  // namespace sfx
