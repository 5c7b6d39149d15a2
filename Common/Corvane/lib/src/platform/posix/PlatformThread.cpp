// SPDX-License-Identifier: MIT
#include "platform/PlatformThread.h"

#include <cstring>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace CorvanePlatform
{

void SetCurrentThreadName(const char* pcszName)
{
    if (!pcszName)
    {
        return;
    }
    // The kernel keeps 15 bytes plus the terminator and refuses longer names outright.
    char szName[16] = {};
    size_t uLen = std::strlen(pcszName);
    if (uLen > 15)
    {
        uLen = 15;
        // Do not leave half of a UTF-8 sequence at the end.
        while (uLen > 0 && (static_cast<unsigned char>(pcszName[uLen]) & 0xC0) == 0x80)
        {
            --uLen;
        }
    }
    std::memcpy(szName, pcszName, uLen);
    ::pthread_setname_np(::pthread_self(), szName);
}

void LowerCurrentThreadPriority()
{
    // On Linux a thread id names one thread, so only the caller is lowered.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
}

uint32_t NewThreadSlot(PFN_ThreadCleanup pfnCleanup)
{
    pthread_key_t key;
    if (pthread_key_create(&key, pfnCleanup) != 0 || key >= UINT32_MAX)
    {
        return UINT32_MAX;
    }
    return static_cast<uint32_t>(key);
}

void* ThreadSlotValue(uint32_t uSlot)
{
    return pthread_getspecific(static_cast<pthread_key_t>(uSlot));
}

bool SetThreadSlotValue(uint32_t uSlot, void* pvValue)
{
    return pthread_setspecific(static_cast<pthread_key_t>(uSlot), pvValue) == 0;
}

} // namespace CorvanePlatform
