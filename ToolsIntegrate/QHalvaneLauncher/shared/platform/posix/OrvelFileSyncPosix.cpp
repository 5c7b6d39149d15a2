#include "platform/OrvelFileSync.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace OrvelPlatform
{

bool FlushFile(QFileDevice& file)
{
    if (!file.flush())
        return false;
    const int nFd = file.handle();
    return nFd >= 0 && ::fsync(nFd) == 0;
}

bool FlushDirectory(const QString& strDir)
{
    const int nFd = ::open(QFile::encodeName(strDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nFd < 0)
        return false;
    const bool bOk = ::fsync(nFd) == 0;
    ::close(nFd);
    return bOk;
}

bool ReplaceFile(const QString& strFrom, const QString& strTo, QString* pstrError)
{
    if (std::rename(QFile::encodeName(strFrom).constData(), QFile::encodeName(strTo).constData()) != 0)
    {
        if (pstrError != nullptr)
            *pstrError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Without this the new name may not survive a power cut even though the data does.
    FlushDirectory(QFileInfo(strTo).absolutePath());
    return true;
}

} // namespace OrvelPlatform
