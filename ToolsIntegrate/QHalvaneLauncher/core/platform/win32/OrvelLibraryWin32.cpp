#include "platform/OrvelLibrary.h"

#include <windows.h>

namespace OrvelPlatform
{

void* OpenLibrary(const QString& strPath, QString* pstrReason)
{
    HMODULE hModule = ::LoadLibraryW(reinterpret_cast<const wchar_t*>(strPath.utf16()));
    if (hModule == nullptr && pstrReason != nullptr)
        *pstrReason = QString::number(::GetLastError());
    return reinterpret_cast<void*>(hModule);
}

void* LibrarySymbol(void* pLibrary, const char* pcszName)
{
    if (pLibrary == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(pLibrary), pcszName));
}

} // namespace OrvelPlatform
