// SPDX-License-Identifier: MIT
// A data package replaced by fuzz input under a valid index: the package check
// and every file-record read inside it.
#include "FuzzInit.h"

#include <Corvane/CorvaneRecords.h>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    CorvaneFuzz::MemoryStoreReader reader;
    CorvaneFuzz::AddSampleStore(reader.Files());
    reader.Files().m_mapFiles["dat/v1/0/0.dat"].assign(reinterpret_cast<const char*>(pData), uSize);
    if (reader.Load(1))
    {
        CorvaneFuzz::ReadEverything(reader);
    }
    return 0;
}
