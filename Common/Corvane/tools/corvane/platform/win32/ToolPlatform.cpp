// SPDX-License-Identifier: MIT
#include "platform/ToolPlatform.h"

#include "platform/win32/ToolWide.h"
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <windows.h>

#include <vector>

namespace CorvaneToolPlatform
{
namespace
{

std::string LastErrorText()
{
    const DWORD dwError = ::GetLastError();
    wchar_t* pszMessage = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, dwError, 0, reinterpret_cast<LPWSTR>(&pszMessage), 0, nullptr);
    std::string strText = pszMessage ? ToUtf8(pszMessage) : std::string("unknown error");
    ::LocalFree(pszMessage);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
    {
        strText.pop_back();
    }
    return strText + " (error code: " + std::to_string(dwError) + ")";
}

DWORD Attributes(const std::string& strPath)
{
    return ::GetFileAttributesW(ToWide(strPath).c_str());
}

} // namespace

const char* const kLibraryFile = "PemCorvaneX64.dll";

std::string ExecutableDir()
{
    std::vector<wchar_t> vecBuffer(32768);
    const DWORD dwLength =
        ::GetModuleFileNameW(nullptr, vecBuffer.data(), static_cast<DWORD>(vecBuffer.size()));
    if (dwLength == 0 || dwLength >= vecBuffer.size())
    {
        return std::string();
    }
    const std::string strExe = ToUtf8(std::wstring(vecBuffer.data(), dwLength));
    const size_t uSlash = strExe.find_last_of("\\/");
    return uSlash == std::string::npos ? std::string() : strExe.substr(0, uSlash);
}

void* OpenLibrary(const std::string& strPath, std::string& strError)
{
    HMODULE hModule = ::LoadLibraryW(ToWide(strPath).c_str());
    if (!hModule)
    {
        strError = LastErrorText();
    }
    return hModule;
}

void* FindSymbol(void* hLibrary, const char* pcszName)
{
    return hLibrary ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(hLibrary), pcszName))
                    : nullptr;
}

bool IsStderrTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

bool SetStdoutBinary()
{
    return ::_setmode(::_fileno(stdout), _O_BINARY) != -1;
}

bool CanonicalPath(const std::string& strPath, std::string& strOut)
{
    if (Attributes(strPath) == INVALID_FILE_ATTRIBUTES)
    {
        return false;
    }
    strOut = AbsolutePath(strPath);
    return !strOut.empty();
}

std::string AbsolutePath(const std::string& strPath)
{
    const std::wstring strWide = ToWide(strPath);
    const DWORD dwLength = ::GetFullPathNameW(strWide.c_str(), 0, nullptr, nullptr);
    if (dwLength == 0)
    {
        return strPath;
    }
    std::vector<wchar_t> vecBuffer(dwLength + 1);
    const DWORD dwWritten =
        ::GetFullPathNameW(strWide.c_str(), static_cast<DWORD>(vecBuffer.size()), vecBuffer.data(), nullptr);
    return dwWritten == 0 ? strPath : ToUtf8(std::wstring(vecBuffer.data(), dwWritten));
}

bool IsAbsolute(const std::string& strPath)
{
    if (strPath.size() >= 3 && strPath[1] == ':' && (strPath[2] == '\\' || strPath[2] == '/'))
    {
        return true;
    }
    return strPath.size() >= 2 && (strPath[0] == '\\' || strPath[0] == '/') &&
           (strPath[1] == '\\' || strPath[1] == '/');
}

std::string UserStateDir()
{
    for (const wchar_t* pcszVar : {L"LOCALAPPDATA", L"TEMP"})
    {
        wchar_t szDir[MAX_PATH + 1] = {};
        const DWORD dwLength = ::GetEnvironmentVariableW(pcszVar, szDir, MAX_PATH + 1);
        if (dwLength > 0 && dwLength <= MAX_PATH)
        {
            return ToUtf8(std::wstring(szDir, dwLength)) + "\\corvane";
        }
    }
    return "C:\\corvane";
}

bool IsDirectory(const std::string& strPath)
{
    const DWORD dwAttributes = Attributes(strPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const std::string& strPath)
{
    const DWORD dwAttributes = Attributes(strPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RestartWithHugeHeapPages(char** /*argv*/)
{
    // The Windows heap takes no such start-up setting.
}

} // namespace CorvaneToolPlatform
