// SPDX-License-Identifier: MIT
// Signed records (manifest and latest-version signature) as a server sends
// them. Whatever parses must format back to the very same bytes: one record,
// one spelling, so the signed bytes are what the reader checked.
#include "FuzzInit.h"

#include "format/CorvaneManifest.h"

#include <cstring>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    NSCorvaneTrust::SignedRecord record;
    std::string strError;
    if (!NSCorvaneTrust::ParseSignedRecord(pData, uSize, record, strError))
    {
        return 0;
    }
    const std::string strBody = NSCorvaneTrust::FormatSignedBody(record);
    const std::string strWhole = NSCorvaneTrust::FormatSignedRecord(record);
    if (record.uSignedLength != strBody.size() || strWhole.size() != uSize ||
        std::memcmp(strWhole.data(), pData, uSize) != 0)
    {
        __builtin_trap();
    }
    return 0;
}
