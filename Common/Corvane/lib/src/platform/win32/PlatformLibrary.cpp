// SPDX-License-Identifier: MIT
#include "platform/PlatformLibrary.h"
#include "platform/win32/PlatformWide.h"

#include <windows.h>

#include <string>

namespace CorvanePlatform
{

namespace
{

// GetLastError is overwritten by later calls; the failing call keeps its text here.
thread_local std::string t_strLastError;

void KeepError(const char* pcszText)
{
    try
    {
        t_strLastError = pcszText;
    }
    catch (...)
    {
        t_strLastError.clear();
    }
}

void KeepLastError()
{
    const DWORD dwError = ::GetLastError();
    wchar_t* pszMessage = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, dwError, 0, reinterpret_cast<LPWSTR>(&pszMessage), 0, nullptr);
    try
    {
        std::string strText;
        const int nLength =
            pszMessage ? ::WideCharToMultiByte(CP_UTF8, 0, pszMessage, -1, nullptr, 0, nullptr, nullptr) : 0;
        if (nLength > 1)
        {
            strText.resize(static_cast<size_t>(nLength));
            ::WideCharToMultiByte(CP_UTF8, 0, pszMessage, -1, &strText[0], nLength, nullptr, nullptr);
            strText.resize(static_cast<size_t>(nLength - 1));
        }
        while (!strText.empty() &&
               (strText.back() == '\n' || strText.back() == '\r' || strText.back() == ' '))
        {
            strText.pop_back();
        }
        t_strLastError = (strText.empty() ? std::string("unknown error") : strText) + " (error code " +
                         std::to_string(dwError) + ")";
    }
    catch (...)
    {
        t_strLastError.clear();
    }
    ::LocalFree(pszMessage);
}

} // namespace

SharedLibrary* LibraryOpen(const char* pcszName)
{
    std::wstring strWide;
    if (!ToWide(strWide, pcszName))
    {
        KeepError("no library name");
        return nullptr;
    }
    HMODULE hModule = ::LoadLibraryW(strWide.c_str());
    if (!hModule)
    {
        KeepLastError();
    }
    return reinterpret_cast<SharedLibrary*>(hModule);
}

void* LibrarySymbol(SharedLibrary* pLibrary, const char* pcszSymbol)
{
    if (!pLibrary || !pcszSymbol)
    {
        KeepError("no library or no symbol name");
        return nullptr;
    }
    void* pSymbol =
        reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(pLibrary), pcszSymbol));
    if (!pSymbol)
    {
        KeepLastError();
    }
    return pSymbol;
}

const char* LibraryLastError()
{
    return t_strLastError.empty() ? "unknown error" : t_strLastError.c_str();
}

} // namespace CorvanePlatform
