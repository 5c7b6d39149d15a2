// SPDX-License-Identifier: MIT
#include "common/CorvaneMemory.h"

#include "common/PemStreamMemoryImpl.h"

namespace CorvaneUtil
{

CorvaneOption& gOption()
{
    static CorvaneOption s_option;
    return s_option;
}

NSCorvane::IStreamMemory& BuiltinMemory()
{
    // Leaked on purpose: buffers may be freed while static objects are destroyed.
    static NSCorvane::PemStreamMemoryImpl* s_pMemory = new NSCorvane::PemStreamMemoryImpl;
    return *s_pMemory;
}

void* MemoryAlloc(uint64_t uSize)
{
    NSCorvane::IStreamMemory* piMemory = gOption().piMemory;
    return piMemory ? piMemory->Alloc(uSize) : BuiltinMemory().Alloc(uSize);
}

void MemoryFree(void* p)
{
    if (!p)
    {
        return;
    }
    NSCorvane::IStreamMemory* piMemory = gOption().piMemory;
    if (piMemory)
    {
        piMemory->Free(p);
    }
    else
    {
        BuiltinMemory().Free(p);
    }
}

} // namespace CorvaneUtil
