// Prepares the launcher's replacement off the controller's thread, so that a
// stop or an exit reaches the controller meanwhile: refreshes the updater
// beside the launcher, then packs the changed launcher files. Starts nothing;
// the controller hands over to the updater once Finished says the package is
// whole.
#pragma once

#include "workers/OrvelOperationWorkerBase.h"

#include <QStringList>

class OrvelSelfUpdateWorker : public OrvelOperationWorkerBase
{
    Q_OBJECT

public:
    enum Stage : int
    {
        StageUpdater = 0,
        StagePackage = 1,
    };

    OrvelSelfUpdateWorker(const QString& strAppDir, const QStringList& vecStorePaths,
                          const QString& strPackagePath, quint32 uFallbackVersion,
                          QObject* pParent = nullptr);
    ~OrvelSelfUpdateWorker() override;

signals:
    // The updater beside the launcher is the store's now; the build begins.
    void UpdaterPrepared(QString updaterPath);
    // stage: where it ended (Stage). stopped: a cancel was seen and no package
    // was written. detail: a reason for the log beyond error. version: the
    // package's content version.
    void Finished(bool success, bool stopped, int stage, QString error, QString detail, quint32 version);

public slots:
    void DoWork() override;

private:
    QString m_strAppDir;
    QStringList m_vecStorePaths;
    QString m_strPackagePath;
    quint32 m_uFallbackVersion;
};
