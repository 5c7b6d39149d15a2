// Brings the resources of the queued preload items into the product store's
// local cache: reads each item's list from the preload store, then opens
// every listed resource through the product file service, whose packages
// one fetch plan brings whole into the cache, and closes it again. Nothing is written into the working
// path. A resource that cannot be opened is counted as skipped and never
// fails the run; only a missing service, an unreadable or empty list, or a
// stop does.
#pragma once

#include "OrvelPreloadItem.h"
#include "workers/OrvelOperationWorkerBase.h"

class OrvelPreloadWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // pProductService, pSettings and pSnapshot are not owned and must outlive
    // the run. The preload store is opened from strPreloadConfigPath on the
    // worker's thread.
    OrvelPreloadWorker(const OrvelPreloadItemList& vecTasks, const QString& strPreloadConfigPath,
                       OrvelFileService* pProductService, LauncherSettings* pSettings,
                       TaskResultSnapshot* pSnapshot, QObject* pParent = nullptr);
    ~OrvelPreloadWorker() override;

signals:
    void Finished(bool success);

public slots:
    void DoWork() override;
    // Also ends the fetch plan at once: a paused preload fetches nothing more
    // than the file it is opening.
    void Pause() override;

private:
    void Fail(const QString& strError, qint32 nSucceeded, qint32 nSkipped);

    OrvelPreloadItemList m_vecTasks;
    QString m_strPreloadConfigPath;
    OrvelFileService* m_pProductService;
    TaskResultSnapshot* m_pSnapshot;
};
