// SPDX-License-Identifier: MIT
// Directory-tree listings over fuzzed tree text. A line written "@path<TAB>..."
// gets the real key of that path, so the fuzzer can build trees whose entries
// lead somewhere: repeated entries, deep chains, keys out of order. A line
// "^<N><TAB><name><TAB><K>" stands for a whole tree, its lines in key order: a
// chain N directories deep ("name/name/..."), each level naming the next K
// times (once when K is left out) and holding a file "f". Deep trees in a few bytes.
#include "FuzzInit.h"

#include "format/CorvaneHash.h"

#include <Corvane/CorvaneRecords.h>

#include <algorithm>
#include <charconv>
#include <map>

CORVANE_FUZZ_INIT()

namespace
{

constexpr unsigned kMaxChainDepth = 100000;
constexpr unsigned kMaxChainRepeat = 1000;
constexpr unsigned kMaxChainEntries = 2000000; // depth times repeats: a few tens of MB of tree

unsigned ParseField(const std::string& strSpec, size_t uBegin, size_t uEnd, unsigned uDefault, unsigned uMax)
{
    unsigned uValue = uDefault;
    if (uBegin < uEnd)
    {
        std::from_chars(strSpec.data() + uBegin, strSpec.data() + uEnd, uValue);
    }
    return std::min(uValue, uMax);
}

std::string ChainLines(const std::string& strSpec)
{
    const size_t uTab1 = std::min(strSpec.find('\t'), strSpec.size());
    const size_t uTab2 = std::min(strSpec.find('\t', uTab1 + 1), strSpec.size());
    const unsigned uDepth = ParseField(strSpec, 1, uTab1, 0, kMaxChainDepth);
    std::string strName = uTab1 + 1 < uTab2 ? strSpec.substr(uTab1 + 1, uTab2 - uTab1 - 1) : std::string("d");
    const unsigned uRepeat = ParseField(strSpec, uTab2 + 1, strSpec.size(), 1,
                                        std::min(kMaxChainRepeat, kMaxChainEntries / std::max(uDepth, 1u)));
    std::string strEntries;
    for (unsigned i = 0; i < uRepeat; ++i)
    {
        strEntries += "\tD:" + strName;
    }
    std::map<uint64_t, std::string> mapLine;
    NSCorvaneReader::NormalizedNameHashStream hash;
    for (unsigned i = 0; i <= uDepth; ++i)
    {
        if (i > 0)
        {
            hash.Feed(i == 1 ? strName : "/" + strName);
        }
        mapLine[hash.Value()] = (i < uDepth ? strEntries : std::string()) + "\tF:f";
    }
    std::string strLines;
    for (const auto& line : mapLine)
    {
        strLines += (strLines.empty() ? "" : "\r\n") + std::to_string(line.first) + line.second;
    }
    return strLines;
}

} // namespace

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
        else if (!strLine.empty() && strLine[0] == '^')
        {
            strLine = ChainLines(strLine);
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
