// Ctrl+C for a console program: the first one is recorded and polled, so the
// running task stops through its ordinary cancel path; the program never dies
// in the middle of a file. A second Ctrl+C ends the process at once.
#pragma once

namespace OrvelPlatform
{
// Installs the handler once. Thread-safe after installation.
void InstallInterruptHandler();
// True once the user asked to stop.
bool InterruptRequested();
} // namespace OrvelPlatform
