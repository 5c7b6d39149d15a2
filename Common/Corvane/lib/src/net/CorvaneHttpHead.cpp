// SPDX-License-Identifier: MIT
#include "net/CorvaneHttpHead.h"

#include "common/CorvaneAscii.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace NSCorvaneNet
{

namespace
{

constexpr size_t kKeptValue = 64;

std::string Trim(const std::string& str)
{
    size_t uBegin = 0;
    size_t uEnd = str.size();
    while (uBegin < uEnd && CorvaneUtil::IsAsciiSpace(str[uBegin]))
    {
        ++uBegin;
    }
    while (uEnd > uBegin && CorvaneUtil::IsAsciiSpace(str[uEnd - 1]))
    {
        --uEnd;
    }
    return str.substr(uBegin, uEnd - uBegin);
}

bool StartsWithNoCase(const std::string& str, const char* pcszPrefix)
{
    const size_t uLen = std::strlen(pcszPrefix);
    if (str.size() < uLen)
    {
        return false;
    }
    for (size_t i = 0; i < uLen; ++i)
    {
        if (CorvaneUtil::AsciiToLower(str[i]) != CorvaneUtil::AsciiToLower(pcszPrefix[i]))
        {
            return false;
        }
    }
    return true;
}

// Digits from uPos up to the first non-digit; false when there are none or they overflow.
bool ParseDigits(const std::string& str, size_t& uPos, uint64_t* puOut)
{
    const size_t uStart = uPos;
    uint64_t uValue = 0;
    for (; uPos < str.size() && str[uPos] >= '0' && str[uPos] <= '9'; ++uPos)
    {
        const uint64_t uDigit = static_cast<uint64_t>(str[uPos] - '0');
        if (uValue > (UINT64_MAX - uDigit) / 10)
        {
            return false;
        }
        uValue = uValue * 10 + uDigit;
    }
    *puOut = uValue;
    return uPos > uStart;
}

std::string Describe(const char* pcszFormat, unsigned long long a, unsigned long long b)
{
    char szText[160];
    std::snprintf(szText, sizeof(szText), pcszFormat, a, b);
    return szText;
}

} // namespace

bool ParseContentLength(const std::string& strValue, uint64_t* puOut)
{
    size_t uPos = 0;
    uint64_t uValue = 0;
    if (!ParseDigits(strValue, uPos, &uValue) || uPos != strValue.size())
    {
        return false;
    }
    *puOut = uValue;
    return true;
}

bool ParseContentRange(const std::string& strValue, uint64_t* puFirst, uint64_t* puLast)
{
    if (!StartsWithNoCase(strValue, "bytes "))
    {
        return false;
    }
    size_t uPos = 6;
    while (uPos < strValue.size() && strValue[uPos] == ' ')
    {
        ++uPos;
    }
    uint64_t uFirst = 0;
    uint64_t uLast = 0;
    if (!ParseDigits(strValue, uPos, &uFirst) || uPos >= strValue.size() || strValue[uPos++] != '-' ||
        !ParseDigits(strValue, uPos, &uLast) || uPos >= strValue.size() || strValue[uPos++] != '/' ||
        uFirst > uLast)
    {
        return false;
    }
    if (strValue.compare(uPos, std::string::npos, "*") != 0)
    {
        uint64_t uTotal = 0;
        if (!ParseDigits(strValue, uPos, &uTotal) || uPos != strValue.size() || uLast >= uTotal)
        {
            return false;
        }
    }
    *puFirst = uFirst;
    *puLast = uLast;
    return true;
}

bool HttpResponseHead::AddLine(const char* pcszLine, size_t uLen)
{
    const std::string strLine(pcszLine, uLen);
    if (StartsWithNoCase(strLine, "HTTP/"))
    {
        // A new header block (after "100 Continue" or an interim response) starts over.
        *this = HttpResponseHead();
        const size_t uCode = strLine.find(' ');
        const size_t uText = uCode == std::string::npos ? std::string::npos : strLine.find(' ', uCode + 1);
        nStatus = uCode == std::string::npos ? 0 : std::strtol(strLine.c_str() + uCode + 1, nullptr, 10);
        strStatusText = uText == std::string::npos ? std::string() : Trim(strLine.substr(uText + 1));
    }
    else if (strLine == "\r\n" || strLine == "\n")
    {
        bHeadersSeen = true;
    }
    else if (StartsWithNoCase(strLine, "content-length:"))
    {
        const std::string strValue = Trim(strLine.substr(std::strlen("content-length:")));
        if (!ParseContentLength(strValue, &uLength))
        {
            // Without a trustworthy length the body cannot be checked: refuse it.
            bBadLength = true;
            strBadLength = strValue.substr(0, kKeptValue);
            return false;
        }
        bHasLength = true;
    }
    else if (StartsWithNoCase(strLine, "content-range:"))
    {
        strRange = Trim(strLine.substr(std::strlen("content-range:"))).substr(0, kKeptValue);
        // A second Content-Range that disagrees with the first makes the answer ambiguous.
        uint64_t uFirst = 0;
        uint64_t uLast = 0;
        const bool bParsed =
            ParseContentRange(Trim(strLine.substr(std::strlen("content-range:"))), &uFirst, &uLast);
        if (!bParsed || (bHasRange && (uFirst != uRangeFirst || uLast != uRangeLast)))
        {
            bBadRange = true;
        }
        bHasRange = bParsed;
        uRangeFirst = uFirst;
        uRangeLast = uLast;
    }
    return true;
}

RangeVerdict JudgeRangeHead(const HttpResponseHead& head, uint64_t uOffset, uint64_t uLength,
                            std::string* pstrWhy)
{
    std::string strWhy;
    RangeVerdict eVerdict = RangeVerdict::Refused;
    switch (head.nStatus)
    {
    case 200:
        eVerdict = RangeVerdict::WholeBody;
        break;
    case 416:
        eVerdict = RangeVerdict::NotSatisfiable;
        break;
    case 404:
        eVerdict = RangeVerdict::Missing;
        break;
    case 206:
        if (uLength == 0 || uOffset > UINT64_MAX - uLength)
        {
            strWhy = "no such range";
        }
        else if (!head.bHasRange || head.bBadRange || head.uRangeFirst != uOffset ||
                 head.uRangeLast != uOffset + uLength - 1)
        {
            strWhy = "wrong Content-Range \"" + head.strRange + "\"" +
                     Describe(" for bytes %llu-%llu", uOffset, uOffset + uLength - 1);
        }
        else if (head.bHasLength && head.uLength != uLength)
        {
            strWhy = Describe("Content-Length %llu for a range of %llu bytes", head.uLength, uLength);
        }
        else
        {
            eVerdict = RangeVerdict::Partial;
        }
        break;
    default:
        strWhy = "code is " + std::to_string(head.nStatus) + ", message is " + head.strStatusText;
        break;
    }
    if (pstrWhy)
    {
        *pstrWhy = strWhy;
    }
    return eVerdict;
}

} // namespace NSCorvaneNet
