#include "OrvelTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace OrvelTest
{

void WriteFile(const QString& strPath, const QByteArray& data)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(strPath).absolutePath())) << strPath.toStdString();
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << strPath.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray data = file.readAll();
    if (data.isNull())
        data = QByteArray("");
    return data;
}

void SetModified(const QString& strPath, const QDateTime& dtWhen)
{
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << strPath.toStdString();
    ASSERT_TRUE(file.setFileTime(dtWhen, QFileDevice::FileModificationTime)) << strPath.toStdString();
}

QDateTime Modified(const QString& strPath)
{
    return QFileInfo(strPath).lastModified();
}

bool SetImmutable(const QString& strPath, bool bOn)
{
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
        return false;
    int nFlags = 0;
    bool bOk = ::ioctl(nFd, FS_IOC_GETFLAGS, &nFlags) == 0;
    if (bOk)
    {
        nFlags = bOn ? (nFlags | FS_IMMUTABLE_FL) : (nFlags & ~FS_IMMUTABLE_FL);
        bOk = ::ioctl(nFd, FS_IOC_SETFLAGS, &nFlags) == 0;
    }
    ::close(nFd);
    return bOk;
}

bool WaitForFile(const QString& strPath, int nDeadlineMs)
{
    QDeadlineTimer deadline(nDeadlineMs);
    while (!QFileInfo::exists(strPath))
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return true;
}

} // namespace OrvelTest
