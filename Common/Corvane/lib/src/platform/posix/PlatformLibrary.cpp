// SPDX-License-Identifier: MIT
#include "platform/PlatformLibrary.h"

#include <dlfcn.h>

#include <string>

namespace CorvanePlatform
{

namespace
{

// dlerror forgets its text once read; the failing call keeps it here for LibraryLastError.
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

void KeepLastError(const char* pcszFallback)
{
    const char* pcszError = ::dlerror();
    KeepError(pcszError ? pcszError : pcszFallback);
}

} // namespace

SharedLibrary* LibraryOpen(const char* pcszName)
{
    if (!pcszName || !*pcszName)
    {
        KeepError("no library name");
        return nullptr;
    }
    // RTLD_LOCAL: the library's symbols do not leak into the process's symbol space.
    void* hLibrary = ::dlopen(pcszName, RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary)
    {
        KeepLastError("unknown error");
    }
    return static_cast<SharedLibrary*>(hLibrary);
}

void* LibrarySymbol(SharedLibrary* pLibrary, const char* pcszSymbol)
{
    if (!pLibrary || !pcszSymbol)
    {
        KeepError("no library or no symbol name");
        return nullptr;
    }
    ::dlerror(); // a stale text must not be taken for this lookup's
    void* pSymbol = ::dlsym(pLibrary, pcszSymbol);
    if (!pSymbol)
    {
        KeepLastError("symbol is null");
    }
    return pSymbol;
}

const char* LibraryLastError()
{
    return t_strLastError.empty() ? "unknown error" : t_strLastError.c_str();
}

} // namespace CorvanePlatform
