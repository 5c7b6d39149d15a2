// SPDX-License-Identifier: MIT
// One file of a valid store replaced by fuzz input: index, tree, lists, package
// information, file information, string pool or marker. Byte 0 picks the file,
// byte 1 bit 0 says whether the rest is raw file bytes or content to wrap in a
// valid hashed + compressed envelope (so the parsers behind the envelope are reached).
#include "FuzzInit.h"

#include <Corvane/CorvaneRecords.h>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    static const char* const kFiles[] = {"dat/v1/_index",      "dat/v1/_dirtree", "dat/v1/_fileinf",
                                         "dat/v1/_fileinfstr", "dat/v1/_pkginf",  "dat/v1/_pkglst",
                                         "dat/v1/_diffile",    "idx/_lastver"};
    if (uSize < 2)
    {
        return 0;
    }
    const char* pcszFile = kFiles[pData[0] % (sizeof(kFiles) / sizeof(kFiles[0]))];
    const std::string strContent(reinterpret_cast<const char*>(pData + 2), uSize - 2);
    CorvaneFuzz::MemoryStoreReader reader;
    CorvaneFuzz::AddSampleStore(reader.Files());
    reader.Files().m_mapFiles[pcszFile] = (pData[1] & 1) ? CorvaneFuzz::Wrap(strContent) : strContent;
    if (reader.Load(NSCorvane::_INVALID_VER))
    {
        CorvaneFuzz::ReadEverything(reader);
    }
    return 0;
}
