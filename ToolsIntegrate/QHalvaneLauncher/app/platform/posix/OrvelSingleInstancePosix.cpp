#include "platform/OrvelSingleInstance.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

struct OrvelSingleInstance::Handle
{
    int nFd = -1;
};

namespace
{

QString LockDirectory()
{
    const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!strRuntime.isEmpty() && QFileInfo(strRuntime).isDir())
        return strRuntime;
    return QDir::tempPath();
}

} // namespace

OrvelSingleInstance::OrvelSingleInstance(const QString& strKey) : m_strKey(strKey) {}

OrvelSingleInstance::~OrvelSingleInstance()
{
    Release();
}

OrvelSingleInstance::Outcome OrvelSingleInstance::TryAcquire()
{
    if (m_pHandle)
        return Acquired;
    const QString strPath = QDir(LockDirectory()).filePath(m_strKey + QStringLiteral(".lock"));
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (nFd < 0)
    {
        m_strError = QStringLiteral("%1: %2").arg(strPath, QString::fromLocal8Bit(std::strerror(errno)));
        return Unavailable;
    }
    // The lock belongs to this open file: the kernel drops it when the
    // process ends, also by a crash. The file itself stays; it holds nothing.
    if (::flock(nFd, LOCK_EX | LOCK_NB) != 0)
    {
        const int nError = errno;
        ::close(nFd);
        if (nError == EWOULDBLOCK)
            return HeldElsewhere;
        m_strError = QStringLiteral("%1: %2").arg(strPath, QString::fromLocal8Bit(std::strerror(nError)));
        return Unavailable;
    }
    m_pHandle = std::make_unique<Handle>();
    m_pHandle->nFd = nFd;
    return Acquired;
}

void OrvelSingleInstance::Release()
{
    if (!m_pHandle)
        return;
    ::close(m_pHandle->nFd);
    m_pHandle.reset();
}
