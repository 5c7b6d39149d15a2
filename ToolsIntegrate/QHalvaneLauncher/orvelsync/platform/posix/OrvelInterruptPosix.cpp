#include "platform/OrvelInterrupt.h"

#include <csignal>

namespace OrvelPlatform
{

namespace
{
volatile std::sig_atomic_t g_bInterrupted = 0;

void OnSignal(int nSignal)
{
    // A second one ends the process at once; every write is atomic, so no file
    // is left half-written under its name.
    if (g_bInterrupted != 0)
    {
        std::signal(nSignal, SIG_DFL);
        std::raise(nSignal);
        return;
    }
    g_bInterrupted = 1;
}
} // namespace

void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested()
{
    return g_bInterrupted != 0;
}

} // namespace OrvelPlatform
