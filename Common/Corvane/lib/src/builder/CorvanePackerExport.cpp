// SPDX-License-Identifier: MIT
// The packer's entry points. Like every export they let no exception out.
#include "builder/PemCorvanePacker.h"
#include "common/CorvaneCheck.h"

#include <Corvane/PemCorvaneX64.h>

extern "C" CORVANE_API bool g_NewCorvanePacker(NSCorvane::IPemCorvanePacker** ppPacker)
{
    try
    {
        CORVANE_CHECK(ppPacker);
        *ppPacker = new NSCorvane::PemCorvanePacker();
        return true;
    }
    catch (...)
    {
        CORVANE_REPORT("new PemCorvanePacker()");
        return false;
    }
}

namespace
{

NSCorvane::PemCorvanePacker* OwnPacker(NSCorvane::IPemCorvanePacker* piPacker)
{
    // Only a packer this library made has the calls below.
    return dynamic_cast<NSCorvane::PemCorvanePacker*>(piPacker);
}

} // namespace

extern "C" CORVANE_API bool g_SetCorvanePackerFlags(NSCorvane::IPemCorvanePacker* piPacker, uint32_t uFlags)
{
    NSCorvane::PemCorvanePacker* pPacker = OwnPacker(piPacker);
    CORVANE_CHECK(pPacker);
    return pPacker->SetFlags(uFlags);
}

extern "C" CORVANE_API bool g_SetCorvanePackerNotes(NSCorvane::IPemCorvanePacker* piPacker,
                                                    NSCorvane::PFN_CorvanePackNote pfnNote, void* pvContext)
{
    NSCorvane::PemCorvanePacker* pPacker = OwnPacker(piPacker);
    CORVANE_CHECK(pPacker);
    pPacker->SetNotes(pfnNote, pvContext);
    return true;
}

extern "C" CORVANE_API bool g_GetCorvanePackSummary(NSCorvane::IPemCorvanePacker* piPacker,
                                                    NSCorvane::CORVANE_PACK_SUMMARY* pSummary)
{
    const NSCorvane::PemCorvanePacker* pPacker = OwnPacker(piPacker);
    CORVANE_CHECK(pPacker);
    return pPacker->GetSummary(pSummary);
}
