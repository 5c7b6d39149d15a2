// Answers, in one run on a worker thread, whether a newer resource version is
// published than the one recorded locally and whether the launcher's own files
// need an update. Downloads nothing, never pauses or cancels, publishes no
// task result: everything travels in Finished.
#pragma once

#include "workers/OrvelOperationWorkerBase.h"

#include <QStringList>

class OrvelFileService;

class OrvelVersionCheckWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    // pSettings may be null: then no version is recorded and the launcher
    // check is unavailable. strAppDir: the launcher's own directory; empty
    // means the settings' application directory.
    OrvelVersionCheckWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                            const QString& strAppDir = QString(), QObject* pParent = nullptr);
    ~OrvelVersionCheckWorker() override;

signals:
    void Finished(bool success, bool hasUpdate, quint32 serverVersion, QString errorMessage,
                  bool launcherCacheCleared, bool launcherCheckSuccess, bool hasLauncherUpdate,
                  QString launcherErrorMessage, QStringList launcherFiles, bool serverUnreachable);

public slots:
    void DoWork() override;

private:
    OrvelFileService* m_pFileService;
    QString m_strAppDir;
    bool m_bHasRecordedVersion = false;
    quint32 m_uRecordedVersion = 0;
};
