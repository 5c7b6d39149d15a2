// SPDX-License-Identifier: MIT
#include "builder/CorvaneFileStatCache.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace NSCorvane
{

namespace
{

constexpr size_t kFileStatColumns = 6;

// One unsigned decimal number; false on no digits, a sign, or overflow.
bool ParseNumber(const char*& p, const char* pEnd, uint64_t& uOut)
{
    // from_chars: no division per digit to catch overflow, and no sign taken.
    const std::from_chars_result result = std::from_chars(p, pEnd, uOut, 10);
    if (result.ec != std::errc())
    {
        return false;
    }
    p = result.ptr;
    return true;
}

void SkipBlanks(const char*& p, const char* pEnd)
{
    while (p < pEnd && (*p == ' ' || *p == '\t'))
    {
        ++p;
    }
}

} // namespace

void ParseFileStatCache(std::string_view svText, std::map<uint64_t, CorvaneFileStat>& mapOut)
{
    // Read at the start of every build of a large tree: parsed by hand, a
    // formatted scan per line was a visible part of an unchanged build.
    const char* p = svText.data();
    const char* const pTextEnd = p + svText.size();
    while (p < pTextEnd)
    {
        const char* pLineEnd =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(pTextEnd - p)));
        if (!pLineEnd)
        {
            pLineEnd = pTextEnd;
        }
        const char* pNext = pLineEnd < pTextEnd ? pLineEnd + 1 : pTextEnd;
        if (pLineEnd > p && pLineEnd[-1] == '\r')
        {
            --pLineEnd;
        }
        uint64_t auValue[kFileStatColumns] = {};
        bool bOk = true;
        for (uint64_t& uValue : auValue)
        {
            SkipBlanks(p, pLineEnd);
            bOk = bOk && ParseNumber(p, pLineEnd, uValue);
        }
        SkipBlanks(p, pLineEnd);
        // Exactly six numbers, and no zero name hash.
        if (bOk && p == pLineEnd && 0 != auValue[0])
        {
            CorvaneFileStat stat;
            stat.uFileSize = auValue[1];
            stat.uLastWriteTime = auValue[2];
            stat.uChangeTime = auValue[3];
            stat.uDevice = auValue[4];
            stat.uNode = auValue[5];
            // The file is written in name-hash order: the end is the place.
            mapOut.emplace_hint(mapOut.end(), auValue[0], stat);
        }
        p = pNext;
    }
}

CorvaneFileStat ToCachedStat(const CorvanePlatform::FileStat& st)
{
    CorvaneFileStat stat;
    stat.uFileSize = st.uSize;
    stat.uLastWriteTime = static_cast<uint64_t>(st.nWriteTimeNs);
    stat.uChangeTime = static_cast<uint64_t>(st.nChangeTimeNs);
    stat.uDevice = st.id.uDevice;
    stat.uNode = st.id.uNode;
    return stat;
}

void AppendFileStatLine(std::string& strOut, uint64_t uNameHash, const CorvaneFileStat& stat)
{
    // to_chars, not a formatted print: this runs once per file of every build.
    // Each number has its 20 digits of room and its separator after them.
    const uint64_t auValue[kFileStatColumns] = {uNameHash,        stat.uFileSize, stat.uLastWriteTime,
                                                stat.uChangeTime, stat.uDevice,   stat.uNode};
    char szLine[kFileStatColumns * 21 + 1];
    char* p = szLine;
    for (size_t i = 0; i < kFileStatColumns; ++i)
    {
        p = std::to_chars(p, p + 20, auValue[i]).ptr;
        *p++ = i + 1 < kFileStatColumns ? ' ' : '\r';
    }
    *p++ = '\n';
    strOut.append(szLine, static_cast<size_t>(p - szLine));
}

} // namespace NSCorvane
