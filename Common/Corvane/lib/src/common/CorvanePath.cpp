// SPDX-License-Identifier: MIT
#include "common/CorvanePath.h"

#include "common/CorvaneAscii.h"
#include "common/CorvaneCheck.h"

#include <vector>

namespace CorvaneUtil
{

namespace
{

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsDriveLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Length of the root of an absolute path with '/' separators: "/", "c:/" or
// "//server/" (a network root); 0 when the path has none.
size_t RootLength(const std::string& strPath)
{
    if (strPath.size() >= 3 && IsDriveLetter(strPath[0]) && strPath[1] == ':' && strPath[2] == '/')
    {
        return 3;
    }
    if (strPath.size() >= 2 && strPath[0] == '/' && strPath[1] == '/')
    {
        size_t uEnd = strPath.find('/', 2);
        return uEnd == std::string::npos ? strPath.size() : uEnd + 1;
    }
    return (!strPath.empty() && strPath[0] == '/') ? 1 : 0;
}

} // namespace

bool ToNormalizePath(std::string& strOut, const char* pcszPath)
{
    strOut.assign(pcszPath ? pcszPath : "");
    for (char& c : strOut)
    {
        c = c == '\\' ? '/' : AsciiToLower(c);
    }
    return true;
}

bool IsAbsolutePath(const char* pcszPath)
{
    CORVANE_CHECK(pcszPath && *pcszPath);
    if (pcszPath[0] == '/')
    {
        return true;
    }
    if (IsDriveLetter(pcszPath[0]) && pcszPath[1] == ':' && IsSeparator(pcszPath[2]))
    {
        return true;
    }
    return pcszPath[0] == '\\' && pcszPath[1] == '\\';
}

bool ToNormalizeAbsolutePath(std::string& strOut, const char* pcszPath)
{
    strOut.clear();
    CORVANE_CHECK(pcszPath && *pcszPath);
    CORVANE_CHECK(IsAbsolutePath(pcszPath));
    try
    {
        std::string strPath;
        ToNormalizePath(strPath, pcszPath);
        const size_t uRoot = RootLength(strPath);
        std::string strRoot = strPath.substr(0, uRoot);
        if (strRoot.size() > 2 && strRoot[0] == '/' && strRoot[1] == '/' && strRoot.back() != '/')
        {
            strRoot += '/';
        }
        std::vector<std::string> vecPart;
        size_t uPos = uRoot;
        while (uPos <= strPath.size())
        {
            size_t uEnd = strPath.find('/', uPos);
            if (uEnd == std::string::npos)
            {
                uEnd = strPath.size();
            }
            std::string strPart = strPath.substr(uPos, uEnd - uPos);
            if (strPart == "..")
            {
                // ".." at the root stays at the root.
                if (!vecPart.empty())
                {
                    vecPart.pop_back();
                }
            }
            else if (!strPart.empty() && strPart != ".")
            {
                vecPart.push_back(std::move(strPart));
            }
            uPos = uEnd + 1;
        }
        strOut = strRoot;
        for (size_t i = 0; i < vecPart.size(); ++i)
        {
            if (i > 0)
            {
                strOut += '/';
            }
            strOut += vecPart[i];
        }
        while (strOut.size() > 1 && strOut.back() == '/' && !(strOut.size() == 3 && strOut[1] == ':'))
        {
            strOut.pop_back();
        }
        return true;
    }
    catch (...)
    {
        strOut.clear();
        return false;
    }
}

bool IsSubDir(const char* pcszPath, const char* pcszRootDir)
{
    std::string strPath;
    std::string strRoot;
    CORVANE_CHECK(ToNormalizeAbsolutePath(strPath, pcszPath));
    CORVANE_CHECK(ToNormalizeAbsolutePath(strRoot, pcszRootDir));
    if (strPath.compare(0, strRoot.size(), strRoot) != 0)
    {
        return false;
    }
    // A root that keeps its slash ("/", "c:/") contains everything below it.
    return strPath.size() == strRoot.size() || strRoot.back() == '/' || strPath[strRoot.size()] == '/';
}

std::string PathJoin(const std::string& a, const std::string& b)
{
    return a + "/" + b;
}

std::string ParentPath(const std::string& strPath)
{
    size_t uPos = strPath.find_last_of("/\\");
    return uPos == std::string::npos ? std::string() : strPath.substr(0, uPos);
}

bool IsSafeRelativePath(const std::string& strPath)
{
    if (strPath.empty() || IsSeparator(strPath[0]))
    {
        return false;
    }
    // Any ':' would be a drive or an alternate stream on Windows.
    if (strPath.find(':') != std::string::npos)
    {
        return false;
    }
    // Control bytes (NUL included) are not valid in Windows names and hide in logs.
    for (const char c : strPath)
    {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
        {
            return false;
        }
    }
    size_t uPos = 0;
    while (uPos <= strPath.size())
    {
        size_t uEnd = strPath.find_first_of("/\\", uPos);
        if (uEnd == std::string::npos)
        {
            uEnd = strPath.size();
        }
        if (strPath.compare(uPos, uEnd - uPos, "..") == 0)
        {
            return false;
        }
        uPos = uEnd + 1;
    }
    return true;
}

} // namespace CorvaneUtil
