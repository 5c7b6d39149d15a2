// SPDX-License-Identifier: MIT
#include "platform/ToolPlatform.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace CorvaneToolPlatform
{

const char* const kLibraryFile = "libPemCorvaneX64.so";

std::string ExecutableDir()
{
    std::vector<char> vecBuffer(PATH_MAX + 1);
    const ssize_t nLength = ::readlink("/proc/self/exe", vecBuffer.data(), vecBuffer.size() - 1);
    if (nLength <= 0)
    {
        return std::string();
    }
    const std::string strExe(vecBuffer.data(), static_cast<size_t>(nLength));
    const size_t uSlash = strExe.find_last_of('/');
    if (uSlash == std::string::npos)
    {
        return std::string();
    }
    return uSlash == 0 ? std::string("/") : strExe.substr(0, uSlash);
}

void* OpenLibrary(const std::string& strPath, std::string& strError)
{
    // RTLD_LOCAL: nothing of the library leaks into the tool's symbol space.
    void* hLibrary = ::dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary)
    {
        const char* pcszError = ::dlerror();
        strError = pcszError ? pcszError : "unknown error";
    }
    return hLibrary;
}

void* FindSymbol(void* hLibrary, const char* pcszName)
{
    return hLibrary ? ::dlsym(hLibrary, pcszName) : nullptr;
}

bool IsStderrTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool SetStdoutBinary()
{
    return true;
}

bool CanonicalPath(const std::string& strPath, std::string& strOut)
{
    char* pszReal = ::realpath(strPath.c_str(), nullptr);
    if (!pszReal)
    {
        return false;
    }
    strOut = pszReal;
    ::free(pszReal);
    return true;
}

std::string AbsolutePath(const std::string& strPath)
{
    if (IsAbsolute(strPath))
    {
        return strPath;
    }
    std::vector<char> vecBuffer(PATH_MAX + 1);
    if (!::getcwd(vecBuffer.data(), vecBuffer.size()))
    {
        return strPath;
    }
    std::string strCwd(vecBuffer.data());
    if (strCwd.empty() || strCwd.back() != '/')
    {
        strCwd += '/';
    }
    return strCwd + strPath;
}

bool IsAbsolute(const std::string& strPath)
{
    return !strPath.empty() && strPath[0] == '/';
}

bool IsDirectory(const std::string& strPath)
{
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& strPath)
{
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace CorvaneToolPlatform
