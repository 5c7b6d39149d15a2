#include "platform/OrvelDesktopIntegration.h"

namespace OrvelPlatform
{

void SetProcessAppUserModelId(const QString&)
{
    // The desktop file name set on the application groups the windows here.
}

void ApplyNativeWindowIcons(quintptr)
{
    // The window icon Qt sets is the one the desktop shows.
}

} // namespace OrvelPlatform
