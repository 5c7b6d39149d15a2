// Brings the working path to the version its file service is bound to (the
// latest). Incremental: only the files stored anew in the versions after the
// recorded one are written, without comparing them first. Full: every file of
// the version is compared with the store and written where it differs. Then,
// with a removal baseline given, the files of the baseline that the latest
// version no longer holds are removed where they are still as the store
// published them (OrvelStaleFiles); a removed file counts as changed, so a
// rollback brings it back. Files reach the working path only through the file
// service's verified, atomic download; everything written or removed is
// flushed in one pass before Finished(true), so the record the controller
// writes afterwards never claims unflushed data.
#pragma once

#include "workers/LinkedPathCache.h"
#include "workers/OrvelChangedFiles.h"
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelStaleFiles.h"
#include "workers/OrvelWeakReplacement.h"

#include <QSet>
#include <QStringList>

#include <mutex>

class OrvelWriteBatch;

class OrvelGetLatestWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // pFileService, pSettings and pSnapshot are not owned. An empty target path
    // means the working path of the settings.
    OrvelGetLatestWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                         TaskResultSnapshot* pSnapshot, const QString& strTargetPath = QString(),
                         QObject* pParent = nullptr);
    ~OrvelGetLatestWorker() override;

    // Incremental from uFrom (the recorded version) to uTo (the latest).
    // Called before the thread starts; never called means full mode.
    void SetIncrementalRange(quint32 uFrom, quint32 uTo);
    // The recorded version of the working path, whose hashes tell the store's
    // files from the user's. Called before the thread starts; never called
    // means nothing is removed.
    void SetRemovalBaseline(quint32 uVersion);
    QStringList GetChangedFiles() const override;

signals:
    void Finished(bool success);

public slots:
    void DoWork() override;

private:
    // The changed files of versions F+1 .. the bound version, first occurrence
    // kept. False when a version of the span cannot be opened (*pstrError says which).
    bool CollectIncrementalFiles(QStringList* pList, QString* pstrError);
    // Every file of the bound version, shuffled. False when the list cannot be read.
    bool CollectFullFiles(QStringList* pList, QString* pstrError);
    // The removal candidates against the bound version's files (vecFull when
    // the run is full, else *pvecLatest when already read, else read here). A list that cannot be read
    // removes nothing and is said in a warning: the files were there before the run.
    void CollectStaleFiles(bool bIncremental, const QStringList& vecFull, const QStringList* pvecLatest);
    // Hands the files the run will fetch to the library, in the pool's order.
    void PlanFetch(const QStringList& vecFiles, const std::vector<LocalCheck>& vecChecks, bool bIncremental);
    bool SyncOneFile(const QString& strRelative, LocalCheck eCheck, quint32 uOrdinal, quint32 uTotal,
                     OrvelWriteBatch* pBatch, bool& bAbortAll);
    void FinishEmpty(bool bSuccess);

    OrvelFileService* m_pFileService;
    QString m_strDownloadTargetPath;
    TaskResultSnapshot* m_pSnapshot;
    OrvelChangedFiles m_changed;
    LinkedPathCache m_linkedPaths;
    WeakReplacementCollector m_collector;
    OrvelStaleFiles m_stale;
    bool m_bIncremental = false;
    bool m_bIncrementalRun = false; // this run's mode, after a fallback to full
    bool m_bHasRemovalBaseline = false;
    quint32 m_uRemovalBaseline = 0;
    quint32 m_uFromVersion = 0;
    quint32 m_uToVersion = 0;
    QThread* m_pWorkerThread = nullptr;
};
