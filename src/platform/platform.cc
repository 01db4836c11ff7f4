// The platform in use and the process-wide window handles.
#include "platform/platform.h"

namespace sfx {

WindowHandle MainWindow = 0;

namespace {
Platform* g_override = nullptr;
}  // namespace

Platform& Os() { return g_override ? *g_override : SystemPlatform(); }

void SetPlatformForTesting(Platform* platform) { g_override = platform; }

}  // namespace sfx
