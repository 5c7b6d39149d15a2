// The controller's preload task: the page queues items and asks for a run;
// the worker fills the product store's cache; the page hears the end through
// PreloadFinished.
#include "OrvelLauncherController.h"

#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "workers/OrvelPreloadWorker.h"

#include <QCoreApplication>
#include <QThread>

namespace
{

// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};

} // namespace

void OrvelLauncherController::StartPreloadExecution(OrvelPreloadItemList tasks, QString preloadConfigPath,
                                                    QString productConfigPath)
{
    if (!CanStartTask())
    {
        emit PreloadFinished(false);
        return;
    }
    // A new task: a source the last one passed over is asked again.
    OrvelCorvaneBinding::ResetSources();
    if (tasks.isEmpty())
    {
        Status(Text::tr("Preload task is empty"));
        Log(Text::tr("Preload start skipped: todo list is empty"));
        emit PreloadFinished(false);
        return;
    }
    if (!CheckActiveProcessGuard(Text::tr("preload task")))
    {
        emit PreloadFinished(false);
        return;
    }
    auto pProduct = std::make_unique<OrvelFileService>();
    if (!pProduct->Initialize(productConfigPath, OrvelFileService::kLatestVersion))
    {
        const QString strText =
            Text::tr("Preload start blocked: failed to initialize product file service: %1")
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
    LaunchWorker(TaskPreload, pWorker, Text::tr("Preparing preload task..."),
                 Text::tr("Preload task started"));
}

void OrvelLauncherController::OnPreloadWorkerFinished(bool success)
{
    if (m_eKind != TaskPreload)
        return;
    const TaskResultData result = EndTaskAndReadResult();
    const bool bStopped = m_bStopRequested || m_bExiting;
    QString strText;
    if (success)
        strText = Text::tr("Preload finished: %1 succeeded, %2 skipped")
                      .arg(result.nFirstCount)
                      .arg(result.nSecondCount);
    else if (bStopped)
        strText = Text::tr("Preload stopped: %1 succeeded, %2 skipped")
                      .arg(result.nFirstCount)
                      .arg(result.nSecondCount);
    else
        strText = Text::tr("Preload failed: %1").arg(result.strStatusMessage);
    Status(strText);
    LogBoth(strText);
    emit PreloadFinished(success);
    RunAfterCleanup([this] { FinishIdleOrExit(); });
}
