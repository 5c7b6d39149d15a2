// Moves the working path to another published version, older or newer. Within
// a span of 20 versions it writes the files named in the changed-file lists of
// the versions between the two, plus every file of the target that is missing
// from the working path (a version that deleted a file names it in no list, so
// switching back down would otherwise leave it missing). Over a larger span,
// or without a recorded baseline, every file of the target is compared and
// written where it differs. Once every file of the target is in place, the
// files of the current version that the target does not contain are removed
// where they still hold what the store published (OrvelStaleFiles); that needs
// a record of the current version (also one an interrupted task marked),
// without it they are kept, as is any other file the target does not contain.
//
// Files reach the working path only through the target service's verified,
// atomic download, never through a link; what was written is flushed in one
// pass before Finished. The result snapshot carries the files written or
// removed (changed files) and, among them, the ones that did not exist before
// (created files), so that a rollback can restore the first and remove the
// second. Threads: as OrvelOperationWorkerBase.
#pragma once

#include "workers/LinkedPathCache.h"
#include "workers/OrvelChangedFiles.h"
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelStaleFiles.h"
#include "workers/OrvelWeakReplacement.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <mutex>

class OrvelWriteBatch;

class OrvelVersionSwitchWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // Not owned. pSourceService opens a service per intermediate version (any
    // version binding); pTargetService is bound to uTargetVersion and every
    // download goes through it. uCurrentVersion is the version the working
    // path is at. An empty working path means the one of the settings.
    OrvelVersionSwitchWorker(OrvelFileService* pSourceService, OrvelFileService* pTargetService,
                             LauncherSettings* pSettings, TaskResultSnapshot* pSnapshot,
                             quint32 uCurrentVersion, quint32 uTargetVersion,
                             const QString& strWorkPath = QString(), QObject* pParent = nullptr);
    ~OrvelVersionSwitchWorker() override;

    // Files written by the run, each once (any thread).
    QStringList GetChangedFiles() const override;
    // Those of them that did not exist before the run (any thread).
    QStringList GetCreatedFiles() const;
    // The working path may not be at uCurrentVersion (an earlier task was cut
    // off): compare every file of the target instead of trusting the changes.
    void SetBaselineUntrusted() { m_bBaselineUntrusted = true; }

signals:
    // replacedCount: files written; skippedCount: linked, kept or deferred.
    void Finished(bool success, int replacedCount, int skippedCount);

public slots:
    void DoWork() override;

private:
    bool CollectVersionChanges(quint32 uLow, quint32 uHigh, QStringList* pList);
    bool ListTargetFiles(QStringList* pList);
    void AddMissingTargetFiles(const QStringList& vecTarget, QStringList* pList);
    // The files of the current version the target lacks, out of *pList (the
    // removal step handles them). A list that cannot be read removes nothing
    // and is said in a warning.
    void CollectStaleFiles(const QStringList& vecTarget, QStringList* pList);
    // Hands the files the run will fetch to the library, in the pool's order.
    void PlanFetch(const QStringList& vecFiles, const std::vector<LocalCheck>& vecChecks);
    bool SwitchOneFile(const QString& strRelative, quint32 uOrdinal, quint32 uTotal, LocalCheck eCheck,
                       OrvelWriteBatch* pBatch, bool& bAbortAll);
    void FinishEmpty(bool bSuccess);
    void FinishWithChanges(bool bSuccess);

    OrvelFileService* m_pSourceService;
    OrvelFileService* m_pTargetService;
    QString m_strWorkPath;
    TaskResultSnapshot* m_pSnapshot;
    quint32 m_uCurrentVersion;
    quint32 m_uTargetVersion;
    OrvelChangedFiles m_changed;
    std::atomic<qint32> m_nReplacedCount{0};
    std::atomic<qint32> m_nSkippedCount{0};
    LinkedPathCache m_linkedPaths;
    WeakReplacementCollector m_collector;
    OrvelStaleFiles m_stale;
    QThread* m_pWorkerThread = nullptr;
    bool m_bBaselineUntrusted = false;
};
