#include "OrvelTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
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

QStringList TempFilesBelow(const QString& strDir)
{
    QStringList vecFound;
    QDirIterator it(strDir, {QStringLiteral("*.orveltmp")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        vecFound << QDir(strDir).relativeFilePath(it.next());
    vecFound.sort();
    return vecFound;
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

bool WaitUntil(const std::function<bool()>& fnDone, int nDeadlineMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!fnDone())
    {
        if (timer.elapsed() > nDeadlineMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // deleteLater() is not served by processEvents() outside an event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return true;
}

bool RunOnWorkerThread(QObject* pWorker, const std::function<bool()>& fnDone,
                       const std::function<void()>& fnWhileRunning, int nDeadlineMs)
{
    QThread thread;
    pWorker->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(pWorker, "DoWork", Qt::QueuedConnection);
    if (fnWhileRunning)
        fnWhileRunning();
    QDeadlineTimer deadline(nDeadlineMs);
    bool bDone = fnDone();
    while (!bDone && !deadline.hasExpired())
    {
        QThread::msleep(5);
        bDone = fnDone();
    }
    thread.quit();
    thread.wait();
    return bDone;
}

QStringList Texts(const QList<QList<QVariant>>& vecSignals)
{
    QStringList vecOut;
    for (const QList<QVariant>& args : vecSignals)
        vecOut.push_back(args.at(0).toString());
    return vecOut;
}

} // namespace OrvelTest
