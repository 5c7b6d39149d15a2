// Process lookup used by the updater while it waits for the launcher to end.
#pragma once

#include <QtGlobal>

namespace OrvelPlatform
{

// True while a process with this id exists and has not yet ended. A process that
// has ended but is not yet reaped counts as gone: it holds no files any more.
// When the process table cannot be read the process counts as gone, so a caller
// never waits on something it cannot observe. Thread-safe.
bool IsProcessRunning(quint32 uPid);

} // namespace OrvelPlatform
