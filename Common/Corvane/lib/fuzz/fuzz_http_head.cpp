// SPDX-License-Identifier: MIT
// Response heads, line by line as libcurl hands them over, judged against a
// Range request: the first 8 bytes give its offset and length (u32 each), the
// rest is the head, split after each '\n'.
#include "FuzzInit.h"

#include "net/CorvaneHttpHead.h"

#include <cstring>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    if (uSize < 8)
    {
        return 0;
    }
    uint32_t uOffset = 0;
    uint32_t uLength = 0;
    std::memcpy(&uOffset, pData, 4);
    std::memcpy(&uLength, pData + 4, 4);
    const char* pcszText = reinterpret_cast<const char*>(pData + 8);
    const size_t uText = uSize - 8;

    NSCorvaneNet::HttpResponseHead head;
    for (size_t uStart = 0; uStart < uText;)
    {
        const void* pEnd = std::memchr(pcszText + uStart, '\n', uText - uStart);
        const size_t uEnd = pEnd ? static_cast<size_t>(static_cast<const char*>(pEnd) - pcszText) + 1 : uText;
        if (!head.AddLine(pcszText + uStart, uEnd - uStart))
        {
            break;
        }
        uStart = uEnd;
    }
    std::string strWhy;
    const NSCorvaneNet::RangeVerdict eVerdict = NSCorvaneNet::JudgeRangeHead(head, uOffset, uLength, &strWhy);
    // A body is only ever read for exactly the range asked.
    if (eVerdict == NSCorvaneNet::RangeVerdict::Partial &&
        (head.nStatus != 206 || !head.bHasRange || head.bBadRange || uLength == 0 ||
         head.uRangeFirst != uOffset || head.uRangeLast != static_cast<uint64_t>(uOffset) + uLength - 1 ||
         (head.bHasLength && head.uLength != uLength)))
    {
        __builtin_trap();
    }
    return 0;
}
