// SPDX-License-Identifier: MIT
#include "platform/PlatformLibrary.h"
#include "platform/PlatformThread.h"
#include "platform/win32/PlatformWide.h"

#include <windows.h>

#include <string>

namespace CorvanePlatform
{

namespace
{

// GetLastError is overwritten by later calls; the failing call keeps its text here.
std::string& LastErrorText()
{
    return CorvanePlatform::ThreadObject<std::string>();
}

void KeepError(const char* pcszText)
{
    try
    {
        LastErrorText() = pcszText;
    }
    catch (...)
    {
        LastErrorText().clear();
    }
}

// "<name>: <system text> (error code N)", as dlerror() names what it failed on.
void KeepLastError(const char* pcszName)
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
        LastErrorText() = std::string(pcszName) + ": " +
                          (strText.empty() ? std::string("unknown error") : strText) + " (error code " +
                          std::to_string(dwError) + ")";
    }
    catch (...)
    {
        LastErrorText().clear();
    }
    ::LocalFree(pszMessage);
}

// The folder of the module this code is linked into, with a trailing
// separator; empty when unknown.
std::wstring OwnFolder()
{
    HMODULE hSelf = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&OwnFolder), &hSelf))
    {
        return std::wstring();
    }
    std::wstring strPath(32768, L'\0');
    const DWORD dwLength = ::GetModuleFileNameW(hSelf, &strPath[0], static_cast<DWORD>(strPath.size()));
    if (dwLength == 0 || dwLength >= strPath.size())
    {
        return std::wstring();
    }
    strPath.resize(dwLength);
    const size_t uSlash = strPath.find_last_of(L"\\/");
    return uSlash == std::wstring::npos ? std::wstring() : strPath.substr(0, uSlash + 1);
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
    HMODULE hModule = nullptr;
    // A bare name is looked for beside this library first: a program that
    // loads the library from another folder would otherwise get the program's
    // folder, the current directory or PATH, and maybe another libcurl.
    if (strWide.find_first_of(L"\\/:") == std::wstring::npos)
    {
        try
        {
            const std::wstring strBeside = OwnFolder() + strWide;
            if (strBeside != strWide && ::GetFileAttributesW(strBeside.c_str()) != INVALID_FILE_ATTRIBUTES)
            {
                hModule = ::LoadLibraryExW(strBeside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            }
        }
        catch (...)
        {
        }
    }
    if (!hModule)
    {
        hModule = ::LoadLibraryW(strWide.c_str());
    }
    if (!hModule)
    {
        KeepLastError(pcszName);
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
        KeepLastError(pcszSymbol);
    }
    return pSymbol;
}

const char* LibraryLastError()
{
    return LastErrorText().empty() ? "unknown error" : LastErrorText().c_str();
}

} // namespace CorvanePlatform
