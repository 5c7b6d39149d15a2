// SPDX-License-Identifier: MIT
#include "builder/CorvaneFileStatCache.h"

#include <cinttypes>
#include <cstdio>

namespace NSCorvane
{

void ParseFileStatCache(const std::string& strText, std::map<uint64_t, CorvaneFileStat>& mapOut)
{
    size_t uPos = 0;
    while (uPos < strText.size())
    {
        size_t uEnd = strText.find('\n', uPos);
        if (uEnd == std::string::npos)
        {
            uEnd = strText.size();
        }
        std::string strLine = strText.substr(uPos, uEnd - uPos);
        uPos = uEnd + 1;
        if (!strLine.empty() && strLine.back() == '\r')
        {
            strLine.pop_back();
        }
        unsigned long long uHash = 0;
        unsigned long long uSize = 0;
        unsigned long long uTime = 0;
        char chExtra = 0;
        // A fourth conversion catches trailing garbage on the line.
        if (3 != std::sscanf(strLine.c_str(), "%llu %llu %llu %c", &uHash, &uSize, &uTime, &chExtra) ||
            0 == uHash)
        {
            continue;
        }
        CorvaneFileStat stat;
        stat.uFileSize = uSize;
        stat.uLastWriteTime = uTime;
        mapOut.emplace(uHash, stat);
    }
}

void AppendFileStatLine(std::string& strOut, uint64_t uNameHash, const CorvaneFileStat& stat)
{
    char szLine[80];
    const int nLen = std::snprintf(szLine, sizeof(szLine), "%llu %llu %llu\r\n",
                                   static_cast<unsigned long long>(uNameHash),
                                   static_cast<unsigned long long>(stat.uFileSize),
                                   static_cast<unsigned long long>(stat.uLastWriteTime));
    if (nLen > 0)
    {
        strOut.append(szLine, static_cast<size_t>(nLen));
    }
}

} // namespace NSCorvane
