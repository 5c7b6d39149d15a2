// SPDX-License-Identifier: MIT
// Raw bytes through the envelope decoders: hashed + compressed files, the
// compression envelope of each type, and the last-version marker.
#include "FuzzInit.h"

#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneEnvelope.h"

#include <vector>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    std::vector<uint8_t> vecOut;
    NSCorvaneReader::DecodeCompressedBinary(pData, uSize, vecOut);
    uint32_t uVer = 0;
    NSCorvaneReader::DecodeLastVersion(pData, uSize, &uVer);
    if (uSize >= 1)
    {
        uint8_t* pOut = nullptr;
        uint32_t uOut = 0;
        const auto eType = static_cast<NSCorvane::CORVANE_COMPRESS_TYPE>(pData[0] % 4);
        if (CorvaneCompress::UnCompressContent(pData + 1, static_cast<uint32_t>(uSize - 1), &pOut, &uOut,
                                               eType))
        {
            CorvaneUtil::MemoryFree(pOut);
        }
    }
    return 0;
}
