// SPDX-License-Identifier: MIT
// The JSON configuration reader over fuzzed file contents.
#include "FuzzInit.h"

#include "net/PemConfig.h"

#include <fstream>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    {
        std::ofstream out("fuzz.cfg", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(uSize));
    }
    NSCorvane::PemConfig config;
    if (config.Read("fuzz.cfg"))
    {
        for (const NSCorvane::CorvaneRemoteInfo& remote : config.Remotes())
        {
            (void)remote.strUrl.size();
        }
    }
    return 0;
}
