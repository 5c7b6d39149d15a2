// Makes the working path match the version its file service is bound to:
// compares every file of the version with the working path and rewrites the
// ones that differ, through the file service's verified, atomic download. An
// intact tree fetches nothing. What was rewritten is flushed in one pass
// before Finished.
#pragma once

#include "workers/LinkedPathCache.h"
#include "workers/OrvelChangedFiles.h"
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelWeakReplacement.h"

#include <QSet>
#include <QStringList>

#include <mutex>

class OrvelWriteBatch;

class OrvelRepairWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // Not owned. An empty working path means the working path of the settings.
    OrvelRepairWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                      TaskResultSnapshot* pSnapshot, const QString& strWorkPath = QString(),
                      QObject* pParent = nullptr);
    ~OrvelRepairWorker() override;

    QStringList GetChangedFiles() const override;

signals:
    void Finished(bool success, int successCount, int failCount);

public slots:
    void DoWork() override;

private:
    bool RepairOneFile(const QString& strRelative, LocalCheck eCheck, quint32 uOrdinal, quint32 uTotal,
                       OrvelWriteBatch* pBatch, bool& bAbortAll, QString& strError);
    void FinishEmpty(bool bSuccess);

    OrvelFileService* m_pFileService;
    QString m_strWorkPath;
    TaskResultSnapshot* m_pSnapshot;
    OrvelChangedFiles m_changed;
    LinkedPathCache m_linkedPaths;
    WeakReplacementCollector m_collector;
    QThread* m_pWorkerThread = nullptr;
};
