// SPDX-License-Identifier: MIT
// The packer's entry point. Like every export it lets no exception out.
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
