// SPDX-License-Identifier: MIT
// Thread names as debuggers and process monitors show them, thread priority,
// and objects of a thread's own.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

// Per-thread values whose cleanup runs when their thread ends, through the
// system's own thread storage (a key on POSIX, fiber storage on Windows).
// The compiler's thread_local destructors are not used for this: with
// mingw-w64 they may run after its emulated thread storage is freed.
using PFN_ThreadCleanup = void (*)(void* pvValue);
// A new slot, never freed; UINT32_MAX when the system has none left.
uint32_t NewThreadSlot(PFN_ThreadCleanup pfnCleanup);
void* ThreadSlotValue(uint32_t uSlot);
bool SetThreadSlotValue(uint32_t uSlot, void* pvValue);

// The calling thread's own T, made on first use, destroyed when the thread ends.
template <typename T> T& ThreadObject()
{
    static const uint32_t s_uSlot = NewThreadSlot([](void* pv) { delete static_cast<T*>(pv); });
    if (void* pv = s_uSlot != UINT32_MAX ? ThreadSlotValue(s_uSlot) : nullptr)
    {
        return *static_cast<T*>(pv);
    }
    T* pObject = new T();
    if (s_uSlot == UINT32_MAX || !SetThreadSlotValue(s_uSlot, pObject))
    {
        delete pObject;
        thread_local T s_fallback; // no slot: as good as the compiler makes it
        return s_fallback;
    }
    return *pObject;
}

// Names the calling thread. Linux keeps at most 15 bytes: longer names are cut
// there (never inside a UTF-8 sequence). Failure is harmless and ignored.
void SetCurrentThreadName(const char* pcszName);

// Lets the calling thread run only when nothing else wants the processor: for
// work that fills idle time. Failure is harmless and ignored.
void LowerCurrentThreadPriority();

} // namespace CorvanePlatform
