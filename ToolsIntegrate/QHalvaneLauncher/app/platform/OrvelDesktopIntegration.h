// What the desktop shows of the launcher beyond its widgets: the taskbar
// identity of the process and the native icons of a top-level window. Both do
// nothing where the desktop takes these from the window and desktop file.
#pragma once

#include <QString>
#include <QtGlobal>

namespace OrvelPlatform
{

void SetProcessAppUserModelId(const QString& strId);
// Gives the native window nWindowId the executable's small and large icons
// (loaded once per process, never freed).
void ApplyNativeWindowIcons(quintptr nWindowId);

} // namespace OrvelPlatform
