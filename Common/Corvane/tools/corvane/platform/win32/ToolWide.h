// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 for the tool's wide Windows calls.
#pragma once

#include <windows.h>

#include <string>

namespace CorvaneToolPlatform
{

inline std::wstring ToWide(const std::string& str)
{
    if (str.empty())
    {
        return std::wstring();
    }
    const int nLength =
        ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr, 0);
    std::wstring strWide(static_cast<size_t>(nLength > 0 ? nLength : 0), L'\0');
    if (nLength > 0)
    {
        ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), &strWide[0], nLength);
    }
    return strWide;
}

inline std::string ToUtf8(const std::wstring& str)
{
    if (str.empty())
    {
        return std::string();
    }
    const int nLength = ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr,
                                              0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nLength > 0 ? nLength : 0), '\0');
    if (nLength > 0)
    {
        ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), &strUtf8[0], nLength,
                              nullptr, nullptr);
    }
    return strUtf8;
}

} // namespace CorvaneToolPlatform
