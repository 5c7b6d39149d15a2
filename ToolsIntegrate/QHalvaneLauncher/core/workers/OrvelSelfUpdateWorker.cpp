#include "workers/OrvelSelfUpdateWorker.h"

#include "OrvelFileService.h"

#include <QFile>

OrvelSelfUpdateWorker::OrvelSelfUpdateWorker(const QString& strAppDir, const QStringList& vecStorePaths,
                                             const QString& strPackagePath, quint32 uFallbackVersion,
                                             QObject* pParent)
    : OrvelOperationWorkerBase(nullptr, pParent), m_strAppDir(strAppDir), m_vecStorePaths(vecStorePaths),
      m_strPackagePath(strPackagePath), m_uFallbackVersion(uFallbackVersion)
{
}

OrvelSelfUpdateWorker::~OrvelSelfUpdateWorker() = default;

void OrvelSelfUpdateWorker::DoWork()
{
    QString strUpdater;
    const FileServiceStatus updater = OrvelFileService::PrepareUpdater(m_strAppDir, &strUpdater);
    if (!updater.ok)
    {
        emit Finished(false, false, StageUpdater, updater.error, QString(), 0);
        return;
    }
    emit UpdaterPrepared(strUpdater);
    const SelfUpdatePackageResult package = OrvelFileService::BuildSelfUpdatePackage(
        m_strAppDir, m_vecStorePaths, m_strPackagePath, m_uFallbackVersion, CancelFlag());
    // A stop that came during the build leaves no package behind to be applied later.
    if (package.ok && IsCancelRequested())
    {
        QFile::remove(m_strPackagePath);
        emit Finished(false, true, StagePackage, QString(), QString(), package.version);
        return;
    }
    emit Finished(package.ok, package.stopped, StagePackage, package.error, package.detail, package.version);
}
