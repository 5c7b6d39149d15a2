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

} // namespace CorvanePlatform
