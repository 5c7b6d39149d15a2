#include "platform/OrvelLibrary.h"

#include <QFile>

#include <dlfcn.h>

namespace OrvelPlatform
{

void* OpenLibrary(const QString& strPath, QString* pstrReason)
{
    // RTLD_NOW: a missing symbol of the library's own dependencies shows here,
    // not in the middle of a download.
    void* pLibrary = ::dlopen(QFile::encodeName(strPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (pLibrary == nullptr && pstrReason != nullptr)
    {
        const char* pcszError = ::dlerror();
        *pstrReason =
            pcszError != nullptr ? QString::fromLocal8Bit(pcszError) : QStringLiteral("unknown loader error");
    }
    return pLibrary;
}

void* LibrarySymbol(void* pLibrary, const char* pcszName)
{
    return pLibrary != nullptr ? ::dlsym(pLibrary, pcszName) : nullptr;
}

} // namespace OrvelPlatform
