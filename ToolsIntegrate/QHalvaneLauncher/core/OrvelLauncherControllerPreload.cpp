// The controller's preload task: the page queues items and asks for a run;
// the worker fills the product store's cache; the page hears the end through
// PreloadFinished.
#include "OrvelLauncherController.h"

#include "OrvelFileService.h"
#include "workers/OrvelPreloadWorker.h"

#include <QCoreApplication>
#include <QThread>

namespace
{

QString Tr(const char* pszText)
{
    return QCoreApplication::translate("OrvelLauncherController", pszText);
}

} // namespace

void OrvelLauncherController::StartPreloadExecution(OrvelPreloadItemList tasks, QString preloadConfigPath,
                                                    QString productConfigPath)
{
    if (!CanStartTask())
    {
        emit PreloadFinished(false);
        return;
    }
    if (tasks.isEmpty())
    {
        Status(Tr("Preload task is empty"));
        Log(Tr("Preload start skipped: todo list is empty"));
        emit PreloadFinished(false);
        return;
    }
    if (!CheckActiveProcessGuard(Tr("preload task")))
    {
        emit PreloadFinished(false);
        return;
    }
    auto pProduct = std::make_unique<OrvelFileService>();
    if (!pProduct->Initialize(productConfigPath, OrvelFileService::kLatestVersion))
    {
        const QString strText = Tr("Preload start blocked: failed to initialize product file service: %1")
                                    .arg(pProduct->LastError());
        Status(strText);
        LogBoth(strText);
        emit PreloadFinished(false);
        return;
    }
    m_pTaskService = std::move(pProduct);
    auto* pWorker =
        new OrvelPreloadWorker(tasks, preloadConfigPath, m_pTaskService.get(), m_pSettings, &m_snapshot);
    PrepareWorker(pWorker);
    // As ConnectFinished does for the other workers: a Finished of a task
    // that was already cleaned up must not finish the next one.
    const quint64 uGeneration = m_uTaskGeneration;
    connect(pWorker, &OrvelPreloadWorker::Finished, this,
            [this, uGeneration](bool bSuccess)
            {
                if (uGeneration == m_uTaskGeneration)
                    OnPreloadWorkerFinished(bSuccess);
            });
    QThread* pThread = m_pThread.data();
    connect(
        pWorker, &OrvelPreloadWorker::Finished, pThread, [pThread](bool) { pThread->quit(); },
        Qt::DirectConnection);
    LaunchWorker(TaskPreload, pWorker, Tr("Preparing preload task..."), Tr("Preload task started"));
}

void OrvelLauncherController::OnPreloadWorkerFinished(bool success)
{
    if (m_eKind != TaskPreload)
        return;
    const TaskResultData result = EndTaskAndReadResult();
    const bool bStopped = m_bStopRequested || m_bExiting;
    QString strText;
    if (success)
        strText =
            Tr("Preload finished: %1 succeeded, %2 skipped").arg(result.nFirstCount).arg(result.nSecondCount);
    else if (bStopped)
        strText =
            Tr("Preload stopped: %1 succeeded, %2 skipped").arg(result.nFirstCount).arg(result.nSecondCount);
    else
        strText = Tr("Preload failed: %1").arg(result.strStatusMessage);
    Status(strText);
    LogBoth(strText);
    emit PreloadFinished(success);
    RunAfterCleanup([this] { FinishIdleOrExit(); });
}
