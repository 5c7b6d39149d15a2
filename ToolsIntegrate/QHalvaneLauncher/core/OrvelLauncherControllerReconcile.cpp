// The controller's directory reconcile: it runs on this thread between the
// user's two confirmations (OrvelDirectoryReconcile), and ends in one status
// line; the reconcile's own texts go to the log.
#include "OrvelLauncherController.h"

#include "OrvelDirectoryReconcile.h"
#include "OrvelFileService.h"

#include <QCoreApplication>

namespace
{

QString Tr(const char* pszText)
{
    return QCoreApplication::translate("OrvelLauncherController", pszText);
}

QString StatusLineFor(qint32 nStatus)
{
    switch (nStatus)
    {
    case OrvelReconcile::StatusComplete:
        return Tr("Directory reconcile complete");
    case OrvelReconcile::StatusUnavailable:
        return Tr("Directory reconcile unavailable");
    case OrvelReconcile::StatusNoDirectories:
    case OrvelReconcile::StatusNoFilesSelected:
        return Tr("Directory reconcile skipped");
    case OrvelReconcile::StatusNoChanges:
        return Tr("No directory differences");
    case OrvelReconcile::StatusCancelledSelection:
    case OrvelReconcile::StatusCancelledConfirmation:
        return Tr("Directory reconcile cancelled");
    case OrvelReconcile::StatusScanFailed:
        return Tr("Directory reconcile scan failed");
    default:
        return Tr("Directory reconcile failed");
    }
}

} // namespace

void OrvelLauncherController::StartDirectoryReconcile()
{
    if (!CanStartTask())
        return;
    if (!RequireStore(Tr("Directory reconcile skipped: repair-only mode is active"),
                      Tr("Directory reconcile skipped: resource service unavailable")))
        return;
    if (!CheckWorkPathGuard(Tr("Directory reconcile blocked"), Tr("Directory reconcile blocked: %1")))
        return;

    m_bReconcileRunning = true;
    emit ButtonStateChanged(false, false, false, false, false, false);
    emit LaunchStateChanged(false);
    Log(Tr("Directory reconcile started"));
    OrvelReconcile::Notifications notifications;
    notifications.fnBeforeScan = [this] { Status(Tr("Scanning selected directories...")); };
    notifications.fnBeforePlan = [this] { Status(Tr("Waiting for reconcile confirmation...")); };
    notifications.fnBeforeApply = [this] { Status(Tr("Applying directory reconcile...")); };
    const OrvelReconcile::Outcome outcome =
        OrvelReconcile::Run(m_pPrimary, WorkPath(), m_pPrompt, notifications);
    m_bReconcileRunning = false;

    for (const QString& strPath : outcome.vecLinked)
        Log(Tr("Directory reconcile left a link alone: %1").arg(strPath));
    for (const QString& strPath : outcome.vecRefused)
        LogBoth(Tr("Directory reconcile refused a path outside its plan: %1").arg(strPath));
    for (const QString& strPath : outcome.vecChangedSinceScan)
        LogBoth(Tr("Directory reconcile left a file alone that changed after the scan: %1").arg(strPath));
    const bool bPlanOnly =
        m_bReconcilePlanOnly && outcome.status == OrvelReconcile::StatusCancelledConfirmation;
    if (bPlanOnly)
    {
        Status(Tr("Directory reconcile: plan only, nothing changed"));
        Log(Tr("Directory reconcile: plan only, nothing changed"));
    }
    else
    {
        Status(StatusLineFor(outcome.status));
        if (outcome.status == OrvelReconcile::StatusComplete ||
            outcome.status == OrvelReconcile::StatusScanFailed ||
            outcome.status == OrvelReconcile::StatusApplyFailed)
            LogBoth(outcome.message);
        else
            Log(outcome.message);
    }
    emit DirectoryReconcileFinished(outcome.status, outcome.reverted, outcome.deleted);
    FinishIdleOrExit();
}
