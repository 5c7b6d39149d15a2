#include "platform/OrvelFileSync.h"

#include <QDir>
#include <QFileDevice>

#include <io.h>
#include <string>
#include <windows.h>

namespace OrvelPlatform
{

bool FlushFile(QFileDevice& file)
{
    if (!file.flush())
        return false;
    const intptr_t hOs = _get_osfhandle(file.handle());
    return hOs != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(hOs)) != 0;
}

bool FlushDirectory(const QString&)
{
    // NTFS journals directory entries; MOVEFILE_WRITE_THROUGH covers the rename.
    return true;
}

bool ReplaceFile(const QString& strFrom, const QString& strTo, QString* pstrError)
{
    const std::wstring strFromW = QDir::toNativeSeparators(strFrom).toStdWString();
    const std::wstring strToW = QDir::toNativeSeparators(strTo).toStdWString();
    if (MoveFileExW(strFromW.c_str(), strToW.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (pstrError != nullptr)
    {
        wchar_t* pszMessage = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, GetLastError(), 0, reinterpret_cast<wchar_t*>(&pszMessage), 0, nullptr);
        *pstrError = pszMessage != nullptr ? QString::fromWCharArray(pszMessage).trimmed() : QString();
        LocalFree(pszMessage);
    }
    return false;
}

} // namespace OrvelPlatform
