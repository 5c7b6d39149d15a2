// SPDX-License-Identifier: MIT
#include "net/CorvaneUrl.h"

#include "common/CorvaneAscii.h"

namespace NSCorvaneNet
{

namespace
{

bool IsHexDigit(char c)
{
    return CorvaneUtil::IsAsciiHexDigit(c);
}

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

std::string PercentEncodePath(const std::string& strPath)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    strOut.reserve(strPath.size() + 16);
    for (size_t i = 0; i < strPath.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(strPath[i]);
        if (IsUnreserved(c))
        {
            strOut.push_back(static_cast<char>(c));
        }
        else if (c == '%' && i + 2 < strPath.size() && IsHexDigit(strPath[i + 1]) &&
                 IsHexDigit(strPath[i + 2]))
        {
            strOut.push_back('%'); // already an escape
        }
        else
        {
            strOut.push_back('%');
            strOut.push_back(kHex[c >> 4]);
            strOut.push_back(kHex[c & 0xF]);
        }
    }
    return strOut;
}

std::string BuildFileUrl(const std::string& strBase, const std::string& strPath, uint64_t uTickMs)
{
    std::string strUrl = strBase;
    if (strUrl.empty() || strUrl.back() != '/')
    {
        strUrl.push_back('/');
    }
    strUrl += PercentEncodePath(strPath);
    strUrl += "?t=";
    strUrl += std::to_string(uTickMs);
    return strUrl;
}

std::string OriginOf(const std::string& strUrl)
{
    const size_t uScheme = strUrl.find("://");
    const size_t uEnd =
        uScheme == std::string::npos ? std::string::npos : strUrl.find_first_of("/?#", uScheme + 3);
    std::string strOrigin = strUrl.substr(0, uEnd);
    for (char& c : strOrigin)
    {
        c = CorvaneUtil::AsciiToLower(c);
    }
    return strOrigin;
}

} // namespace NSCorvaneNet
