#include "OrvelSyncTaskRunner.h"

#include "LauncherLog.h"
#include "OrvelFileService.h"
#include "platform/OrvelInterrupt.h"
#include "workers/OrvelOperationWorkerBase.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace
{
constexpr int kProgressPollMs = 300;
constexpr int kInterruptPollMs = 100;

void PrintError(const QString& strLine)
{
    std::fprintf(stderr, "%s\n", strLine.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

OrvelSyncTaskRunner::OrvelSyncTaskRunner(OrvelFileService* pService, LauncherLog& log, bool bQuiet,
                                         const QString& strStopLog)
    : m_pService(pService), m_log(log), m_bQuiet(bQuiet), m_strStopLog(strStopLog)
{
}

QString OrvelSyncTaskRunner::SpeedText(quint64 uBytesPerSec)
{
    if (uBytesPerSec == 0)
        return QStringLiteral("Speed: --");
    double dValue = static_cast<double>(uBytesPerSec);
    QString strUnit = QStringLiteral("B/s");
    if (dValue >= 1048576.0)
    {
        dValue /= 1048576.0;
        strUnit = QStringLiteral("MB/s");
    }
    else if (dValue >= 1024.0)
    {
        dValue /= 1024.0;
        strUnit = QStringLiteral("KB/s");
    }
    const int nDecimals = strUnit == QLatin1String("B/s") || dValue >= 100.0 ? 0 : 1;
    return QStringLiteral("Speed: %1 %2").arg(QString::number(dValue, 'f', nDecimals), strUnit);
}

void OrvelSyncTaskRunner::Run(OrvelOperationWorkerBase* pWorker)
{
    m_pWorker = pWorker;
    QThread thread;
    m_pThread = &thread;
    pWorker->moveToThread(&thread);
    // Deleted on its own thread as that thread ends.
    connect(&thread, &QThread::finished, pWorker, &QObject::deleteLater);
    connect(pWorker, &OrvelOperationWorkerBase::FileFailed, this,
            [this](const QString& strPath, const QString& strError)
            {
                const QString strLine = QStringLiteral("Failed: %1 - %2").arg(strPath, strError);
                m_log.write(strLine);
                PrintError(strLine);
            });
    connect(pWorker, &OrvelOperationWorkerBase::WarningRaised, this,
            [this](const QString& strMessage)
            {
                m_log.write(strMessage);
                PrintError(strMessage);
            });

    QEventLoop loop;
    connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer progressTimer;
    connect(&progressTimer, &QTimer::timeout, this, &OrvelSyncTaskRunner::Poll);
    progressTimer.start(kProgressPollMs);
    QTimer interruptTimer;
    connect(&interruptTimer, &QTimer::timeout, this, &OrvelSyncTaskRunner::CheckInterrupt);
    interruptTimer.start(kInterruptPollMs);

    thread.start();
    QMetaObject::invokeMethod(pWorker, "DoWork", Qt::QueuedConnection);
    loop.exec();
    thread.wait();
    m_pThread = nullptr;
}

void OrvelSyncTaskRunner::Done()
{
    // The worker is still alive: its thread ends only now.
    Poll();
    if (m_pThread != nullptr)
        m_pThread->quit();
}

void OrvelSyncTaskRunner::Poll()
{
    if (m_bQuiet || m_pWorker.isNull())
        return;
    quint32 uCurrent = 0;
    quint32 uTotal = 0;
    QString strDetail;
    if (!m_pWorker->TryTakeProgress(&uCurrent, &uTotal, &strDetail))
        return;
    const quint64 uSpeed = m_pService != nullptr && !m_pService->IsPaused() ? m_pService->DownloadSpeed() : 0;
    const int nPercent = uTotal > 0 ? static_cast<int>(100.0 * uCurrent / uTotal) : 0;
    // The worker's detail already names the item and its count when it has one.
    const QString strWhat =
        strDetail.isEmpty() ? QStringLiteral("%1/%2").arg(uCurrent).arg(uTotal) : strDetail;
    PrintError(QStringLiteral("%1% %2  %3").arg(nPercent, 3).arg(strWhat, SpeedText(uSpeed)));
}

void OrvelSyncTaskRunner::CheckInterrupt()
{
    if (m_bStopRequested || !OrvelPlatform::InterruptRequested() || m_pWorker.isNull())
        return;
    m_bStopRequested = true;
    m_log.write(m_strStopLog);
    PrintError(QStringLiteral("Stopping..."));
    // As the Stop button: a paused transfer must wake up to see the cancel.
    if (m_pService != nullptr)
    {
        m_pService->Resume();
        m_pService->AbortDownloads();
    }
    m_pWorker->Cancel();
    if (m_pThread != nullptr)
        m_pThread->requestInterruption();
}
