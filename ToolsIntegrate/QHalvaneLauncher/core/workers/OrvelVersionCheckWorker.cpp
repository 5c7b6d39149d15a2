#include "workers/OrvelVersionCheckWorker.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelStoreProbe.h"

#include <future>

OrvelVersionCheckWorker::OrvelVersionCheckWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                                                 const QString& strAppDir, QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_pFileService(pFileService), m_strAppDir(strAppDir)
{
    if (pSettings != nullptr)
    {
        QString strTag;
        // A record marked by a task that was cut off claims nothing: the
        // working path needs a download whatever the versions say.
        m_bHasRecordedVersion =
            pSettings->readProductRecord(&m_uRecordedVersion, &strTag) && !pSettings->productRecordPending();
        if (!m_bHasRecordedVersion)
            m_uRecordedVersion = 0;
        if (m_strAppDir.isEmpty())
            m_strAppDir = pSettings->appDirectory();
    }
}

OrvelVersionCheckWorker::~OrvelVersionCheckWorker() = default;

void OrvelVersionCheckWorker::DoWork()
{
    const QString strLauncherUnavailable = tr("Launcher file service unavailable");
    if (m_pFileService == nullptr || !m_pFileService->IsReady())
    {
        const QString strError =
            m_pFileService != nullptr ? m_pFileService->LastError() : tr("File service unavailable");
        emit Finished(false, false, 0, strError, false, false, false, strLauncherUnavailable, QStringList(),
                      false);
        return;
    }

    // The latest version may come from the cache when the server is away:
    // reading may go on with it, but a check must not call it the newest. The
    // probe asks the server beside the opening, each a few round trips.
    std::future<OrvelStoreProbeResult> probeFuture;
    try
    {
        probeFuture = std::async(std::launch::async, OrvelProbeStore, m_pFileService->ConfigPath());
    }
    catch (...)
    {
        // No thread: probe after the opening below.
    }
    QString strOpenError;
    std::unique_ptr<OrvelFileService> pLatest =
        m_pFileService->CreateVersionBoundService(OrvelFileService::kLatestVersion, &strOpenError);
    const OrvelStoreProbeResult probe =
        probeFuture.valid() ? probeFuture.get() : OrvelProbeStore(m_pFileService->ConfigPath());
    if (!probe.bReachable)
    {
        const quint32 uKnown = pLatest ? pLatest->CurrentVersion() : m_uRecordedVersion;
        const QString strError = uKnown != 0
                                     ? tr("Could not reach the update server: %1; last known version %2")
                                           .arg(probe.Describe())
                                           .arg(uKnown)
                                     : tr("Could not reach the update server: %1").arg(probe.Describe());
        emit Finished(false, false, 0, strError, false, false, false, strLauncherUnavailable, QStringList(),
                      true);
        return;
    }
    if (!pLatest)
    {
        if (strOpenError.isEmpty())
            strOpenError = tr("Failed to create latest version file service");
        emit Finished(false, false, 0, strOpenError, false, false, false, strLauncherUnavailable,
                      QStringList(), false);
        return;
    }

    LauncherCheckResult launcher;
    if (Settings() != nullptr)
        launcher = OrvelFileService::CheckLauncherUpdate(m_strAppDir, *Settings());
    else
        launcher.error = tr("Launcher settings unavailable");
    const bool bHasLauncherUpdate = launcher.success && launcher.hasUpdate;

    const quint32 uLatest = pLatest->CurrentVersion();
    bool bHasUpdate = false;
    if (!m_bHasRecordedVersion)
        bHasUpdate = true;
    else if (uLatest != 0)
        bHasUpdate = uLatest > m_uRecordedVersion;
    else if (m_uRecordedVersion != 0)
    {
        emit Finished(false, false, 0, pLatest->LastError(), launcher.cacheCleared, launcher.success,
                      bHasLauncherUpdate, launcher.error, launcher.changedFiles, false);
        return;
    }
    emit Finished(true, bHasUpdate, uLatest, QString(), launcher.cacheCleared, launcher.success,
                  bHasLauncherUpdate, launcher.error, launcher.changedFiles, false);
}
