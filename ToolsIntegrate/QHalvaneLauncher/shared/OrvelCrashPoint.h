// Named points where a test may end the process abruptly, as a power cut or a
// kill would. The environment variable ORVEL_CRASH_AT names the point, optionally
// with the occurrence to stop at ("updater.replaced:2"); unset, a point costs one
// branch. The process ends at once, without destructors or buffered writes.
#pragma once

namespace OrvelCrashPoint
{
void Reached(const char* pszName);
} // namespace OrvelCrashPoint
