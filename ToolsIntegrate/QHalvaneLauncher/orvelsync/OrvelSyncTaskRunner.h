// Runs one worker the way the launcher's controller does: on a QThread of its
// own, DoWork by a queued call, progress polled every 300 ms, Ctrl+C turned
// into the same cancel the Stop button sends (resume and abort the service's
// transfers, then cancel the worker). Main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class LauncherLog;
class OrvelFileService;
class OrvelOperationWorkerBase;
class QThread;

class OrvelSyncTaskRunner : public QObject
{
    Q_OBJECT

public:
    // pService: the service the worker transfers through (its speed is shown
    // and its transfers are aborted on a stop). Not owned.
    OrvelSyncTaskRunner(OrvelFileService* pService, LauncherLog& log, bool bQuiet, const QString& strStopLog);

    // Takes the worker (without parent), runs it and returns once Done() was
    // called from the slot connected to the worker's Finished signal and its
    // thread has ended.
    void Run(OrvelOperationWorkerBase* pWorker);
    void Done();

    // Whether the user stopped the task (Ctrl+C).
    bool StopRequested() const { return m_bStopRequested; }

    // The speed as the launcher's speed label shows it: "Speed: 1.5 MB/s".
    static QString SpeedText(quint64 uBytesPerSec);

private:
    void Poll();
    void CheckInterrupt();

    OrvelFileService* m_pService;
    LauncherLog& m_log;
    bool m_bQuiet;
    QString m_strStopLog;
    QPointer<OrvelOperationWorkerBase> m_pWorker;
    QThread* m_pThread = nullptr;
    bool m_bStopRequested = false;
    bool m_bDone = false;
};
