#include "platform/OrvelInterrupt.h"

#include <windows.h>

#include <atomic>

namespace OrvelPlatform
{

namespace
{
std::atomic<bool> g_bInterrupted{false};

BOOL WINAPI OnConsoleControl(DWORD uType)
{
    if (uType != CTRL_C_EVENT && uType != CTRL_BREAK_EVENT)
        return FALSE;
    g_bInterrupted = true;
    return TRUE;
}
} // namespace

void InstallInterruptHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptRequested()
{
    return g_bInterrupted;
}

} // namespace OrvelPlatform
