// The platform in use.
#include "platform/platform.h"

namespace sfx {

namespace {
Platform* g_override = nullptr;
}  // namespace

Platform& Os() { return g_override ? *g_override : SystemPlatform(); }

void SetPlatformForTesting(Platform* platform) { g_override = platform; }

}  // namespace sfx
