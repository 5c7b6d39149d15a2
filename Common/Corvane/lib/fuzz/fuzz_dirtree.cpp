// SPDX-License-Identifier: MIT
// Directory-tree listings over fuzzed tree text. A line written "@path<TAB>..."
// gets the real key of that path, so the fuzzer can build trees whose entries
// lead somewhere: repeated entries, deep chains, keys out of order.
#include "FuzzInit.h"

#include "format/CorvaneHash.h"

#include <Corvane/CorvaneRecords.h>

CORVANE_FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    const std::string strInput(reinterpret_cast<const char*>(pData), uSize);
    std::string strTree;
    size_t uPos = 0;
    while (uPos < strInput.size())
    {
        size_t uEnd = strInput.find("\r\n", uPos);
        const bool bLast = uEnd == std::string::npos;
        std::string strLine = strInput.substr(uPos, bLast ? std::string::npos : uEnd - uPos);
        if (!strLine.empty() && strLine[0] == '@')
        {
            const size_t uTab = strLine.find('\t');
            const std::string strPath =
                strLine.substr(1, uTab == std::string::npos ? std::string::npos : uTab - 1);
            strLine = std::to_string(NSCorvaneReader::CalcNormalizedNameHash(strPath.c_str())) +
                      (uTab == std::string::npos ? std::string() : strLine.substr(uTab));
        }
        strTree += strLine;
        if (bLast)
        {
            break;
        }
        strTree += "\r\n";
        uPos = uEnd + 2;
    }
    CorvaneFuzz::MemoryStoreReader reader;
    CorvaneFuzz::AddSampleStore(reader.Files());
    reader.Files().m_mapFiles["dat/v1/_dirtree"] = CorvaneFuzz::Wrap(strTree);
    if (reader.Load(1))
    {
        for (const char* pcszDir : {"", "d", "D\\E", "a", "x/y"})
        {
            for (bool bRecursive : {false, true})
            {
                if (NSCorvane::IStringList* pList = reader.OpenFileList(pcszDir, bRecursive))
                {
                    pList->Release();
                }
            }
        }
        if (NSCorvane::IStringList* pList = reader.OpenFileList())
        {
            pList->Release();
        }
    }
    return 0;
}
