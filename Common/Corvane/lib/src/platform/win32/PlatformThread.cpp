// SPDX-License-Identifier: MIT
#include "platform/PlatformThread.h"

#include "platform/win32/PlatformWide.h"

#include <windows.h>

namespace CorvanePlatform
{

void SetCurrentThreadName(const char* pcszName)
{
    // Looked up at run time: older systems do not have it.
    using PFN_SetThreadDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto pfnSet = reinterpret_cast<PFN_SetThreadDescription>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    std::wstring strWide;
    if (pfnSet && ToWide(strWide, pcszName))
    {
        pfnSet(::GetCurrentThread(), strWide.c_str());
    }
}

void LowerCurrentThreadPriority()
{
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

uint32_t NewThreadSlot(PFN_ThreadCleanup pfnCleanup)
{
    // Fiber storage: unlike thread storage its slots call back when a thread ends.
    const DWORD dwSlot = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(pfnCleanup));
    return dwSlot == FLS_OUT_OF_INDEXES ? UINT32_MAX : static_cast<uint32_t>(dwSlot);
}

void* ThreadSlotValue(uint32_t uSlot)
{
    return ::FlsGetValue(uSlot);
}

bool SetThreadSlotValue(uint32_t uSlot, void* pvValue)
{
    return ::FlsSetValue(uSlot, pvValue) != FALSE;
}

} // namespace CorvanePlatform
