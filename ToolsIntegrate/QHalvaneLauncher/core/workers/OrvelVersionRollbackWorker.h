// Undoes a version-changing task that failed or was stopped after it wrote
// files: each file it wrote or removed is fetched again from the version the
// working path was at before (the rollback service's version); a file the task
// created and that version does not contain is removed, with the directories
// that removal leaves empty (never the working path itself).
//
// Nothing outside the working path is touched: a path that leaves it, or is
// reached through a link (the file itself or a directory between), is refused
// and counted as failed. A file the task wrote over that the baseline lacks,
// and that it did not create, is left as it is: it was there before the task.
// What was written is flushed in one pass before Finished. The snapshot's
// changed files are the files NOT brought back (empty on success), so the
// caller knows the working path is not at the baseline when any remain.
// Threads: as OrvelOperationWorkerBase; pause and cancel are honoured.
#pragma once

#include "workers/LinkedPathCache.h"
#include "workers/OrvelOperationWorkerBase.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <mutex>

class OrvelWriteBatch;

class OrvelVersionRollbackWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // Not owned. pRollbackService is bound to the version to return to;
    // vecFilesToRollBack are store paths the task wrote (its changed files).
    // An empty working path means the one of the settings.
    OrvelVersionRollbackWorker(OrvelFileService* pRollbackService, const QStringList& vecFilesToRollBack,
                               LauncherSettings* pSettings, TaskResultSnapshot* pSnapshot,
                               const QString& strWorkPath = QString(), QObject* pParent = nullptr);
    ~OrvelVersionRollbackWorker() override;

    // The files among those to roll back that the task created (its snapshot's
    // created files). Only these are ever removed. Call before the thread starts.
    void SetCreatedFiles(const QStringList& vecCreatedFiles);

signals:
    void Finished(bool success, int rollbackSuccessCount, int rollbackFailCount);

public slots:
    void DoWork() override;

private:
    bool RollBackOneFile(const QString& strRelative, quint32 uOrdinal, quint32 uTotal,
                         OrvelWriteBatch* pBatch, bool& bAbortAll, QString& strError);
    bool DeleteCreatedFile(const QString& strLocal, OrvelWriteBatch* pBatch, QString& strError);
    void PruneEmptyDirectories(const QString& strRemovedFile, OrvelWriteBatch* pBatch);
    void AddUnrestored(const QString& strRelative);
    void Finish(bool bSuccess, qint32 nSucceeded, qint32 nFailed);

    OrvelFileService* m_pRollbackService;
    QStringList m_vecFiles;
    QSet<QString> m_setCreated;
    QString m_strWorkPath;
    TaskResultSnapshot* m_pSnapshot;
    std::atomic<qint32> m_nSuccessCount{0};
    std::atomic<qint32> m_nFailCount{0};
    std::mutex m_unrestoredMutex;
    QStringList m_vecUnrestored;
    std::mutex m_pruneMutex; // removing directories: one thread at a time
    LinkedPathCache m_linkedPaths;
    QThread* m_pWorkerThread = nullptr;
};
