// The controller's directory reconcile: it runs on this thread between the
// user's two confirmations (OrvelDirectoryReconcile), and ends in one status
// line; the reconcile's own texts go to the log.
#include "OrvelLauncherController.h"

#include "OrvelDirectoryReconcile.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"

#include <QCoreApplication>

namespace
{

// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};

QString StatusLineFor(qint32 nStatus)
{
    switch (nStatus)
    {
    case OrvelReconcile::StatusComplete:
        return Text::tr("Directory reconcile complete");
    case OrvelReconcile::StatusUnavailable:
        return Text::tr("Directory reconcile unavailable");
    case OrvelReconcile::StatusNoDirectories:
    case OrvelReconcile::StatusNoFilesSelected:
        return Text::tr("Directory reconcile skipped");
    case OrvelReconcile::StatusNoChanges:
        return Text::tr("No directory differences");
    case OrvelReconcile::StatusCancelledSelection:
    case OrvelReconcile::StatusCancelledConfirmation:
        return Text::tr("Directory reconcile cancelled");
    case OrvelReconcile::StatusScanFailed:
        return Text::tr("Directory reconcile scan failed");
    default:
        return Text::tr("Directory reconcile failed");
    }
}

} // namespace

void OrvelLauncherController::StartDirectoryReconcile()
{
    if (!CanStartTask())
        return;
    // A new task: a source the last one passed over is asked again.
    OrvelCorvaneBinding::ResetSources();
    if (!RequireStore(Text::tr("Directory reconcile skipped: repair-only mode is active"),
                      Text::tr("Directory reconcile skipped: resource service unavailable")))
        return;
    if (!CheckWorkPathGuard(Text::tr("Directory reconcile blocked"),
                            Text::tr("Directory reconcile blocked: %1")))
        return;

    m_bReconcileRunning = true;
    emit ButtonStateChanged(false, false, false, false, false, false);
    emit LaunchStateChanged(false);
    Log(Text::tr("Directory reconcile started"));
    OrvelReconcile::Notifications notifications;
    notifications.fnBeforeScan = [this] { Status(Text::tr("Scanning selected directories...")); };
    notifications.fnBeforePlan = [this] { Status(Text::tr("Waiting for reconcile confirmation...")); };
    notifications.fnBeforeApply = [this] { Status(Text::tr("Applying directory reconcile...")); };
    const OrvelReconcile::Outcome outcome =
        OrvelReconcile::Run(m_pPrimary, WorkPath(), m_pPrompt, notifications);
    m_bReconcileRunning = false;

    for (const QString& strPath : outcome.vecLinked)
        Log(Text::tr("Directory reconcile left a link alone: %1").arg(strPath));
    for (const QString& strPath : outcome.vecRefused)
        LogBoth(Text::tr("Directory reconcile refused a path outside its plan: %1").arg(strPath));
    for (const QString& strPath : outcome.vecChangedSinceScan)
        LogBoth(
            Text::tr("Directory reconcile left a file alone that changed after the scan: %1").arg(strPath));
    const bool bPlanOnly =
        m_bReconcilePlanOnly && outcome.status == OrvelReconcile::StatusCancelledConfirmation;
    if (bPlanOnly)
    {
        Status(Text::tr("Directory reconcile: plan only, nothing changed"));
        Log(Text::tr("Directory reconcile: plan only, nothing changed"));
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
