// The start of every task that writes into the working path: what a cut-off
// task left behind, the mark that says the working path is in flux, and the
// offer to finish a task that a mark shows was cut off.
#include "IOrvelUserPrompt.h"
#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelLeftoverTemps.h"

#include <QCoreApplication>

namespace
{

// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};

// The names the mark keeps a task under.
const char* const kTaskDownload = "download";
const char* const kTaskSwitch = "switch";
const char* const kTaskRepair = "repair";

QString MarkName(OrvelLauncherController::TaskKind eKind)
{
    switch (eKind)
    {
    case OrvelLauncherController::TaskDownload:
        return QLatin1String(kTaskDownload);
    case OrvelLauncherController::TaskVersionSwitch:
        return QLatin1String(kTaskSwitch);
    case OrvelLauncherController::TaskRepair:
        return QLatin1String(kTaskRepair);
    default:
        return QString();
    }
}

} // namespace

bool OrvelLauncherController::PrepareWorkingPathChange(OrvelFileService* pTarget, TaskKind eKind)
{
    // The record needs the target's tag when the task is done; a task that
    // could not read it then would leave a record the next start refuses.
    const quint32 uTarget = pTarget->CurrentVersion();
    const PakInfoResult info = pTarget->ReadPakInfo();
    if (info.status != PakInfoResult::StatusOk || info.tag.isEmpty())
    {
        Status(Text::tr("Task blocked"));
        LogBoth(Text::tr("Failed to read the release information of version %1, nothing was changed: %2")
                    .arg(uTarget)
                    .arg(info.error.isEmpty() ? pTarget->LastError() : info.error));
        return false;
    }
    m_strTaskTag = info.tag;
    if (m_pSettings == nullptr)
        return true;
    m_baseline.bInterrupted = m_baseline.bHasRecord && m_pSettings->productRecordPending();
    if (m_baseline.bInterrupted)
    {
        // The record's version is not what the working path holds: nothing to
        // roll back to, and no list of changes to trust.
        m_baseline.bHasRecord = false;
        Log(Text::tr("An earlier task was interrupted; every file is compared with the store"));
    }
    // Only a task that was cut off (or a first install, which leaves no mark)
    // can have left temporary files; a walk of the whole tree is saved otherwise.
    if (m_baseline.bInterrupted || !m_baseline.bHasRecord)
    {
        for (const QString& strPath : OrvelLeftoverTemps::Remove(WorkPath()))
            Log(Text::tr("Removed leftover temporary file: %1").arg(strPath));
    }
    if (!m_baseline.bHasRecord)
        return true;
    if (m_pSettings->markProductRecordPending(uTarget, MarkName(eKind)))
        return true;
    Status(Text::tr("Task blocked"));
    LogBoth(Text::tr("Failed to write the product version record: %1").arg(m_pSettings->productRecordPath()));
    return false;
}

void OrvelLauncherController::DropPendingMark()
{
    if (m_pSettings != nullptr && m_baseline.bValid && m_baseline.bHasRecord &&
        !m_pSettings->writeProductRecord(m_baseline.uRecordedVersion, m_baseline.strRecordedTag))
        LogBoth(
            Text::tr("Failed to write the product version record: %1").arg(m_pSettings->productRecordPath()));
}

bool OrvelLauncherController::OfferToFinishInterruptedTask()
{
    quint32 uTarget = 0;
    QString strTask;
    quint32 uRecorded = 0;
    if (m_pSettings == nullptr || m_bRepairOnly || m_pPrimary == nullptr || !m_pPrimary->IsReady() ||
        !CanStartTask() || !m_pSettings->readProductRecordPending(&uTarget, &strTask) ||
        !m_pSettings->readProductRecord(&uRecorded, nullptr))
        return false;
    emit LaunchStateChanged(false);
    Status(Text::tr("An update was interrupted"));
    LogBoth(
        Text::tr("An update was interrupted: the working path may hold files of version %1 and of version %2")
            .arg(uRecorded)
            .arg(uTarget));
    // A mark without a task name (or an unreadable target) came from an older
    // launcher: a switch reaches any target from a tree it cannot trust.
    const bool bRepairOnly = strTask == QLatin1String(kTaskRepair) || uTarget == 0 || uTarget == uRecorded;
    const OrvelQuestion question = OrvelQuestion::InterruptedTaskOffer(uRecorded, bRepairOnly ? 0 : uTarget);
    const OrvelQuestion::Button eAnswer = m_pPrompt != nullptr ? m_pPrompt->Ask(question) : question.eDefault;
    if (bRepairOnly || !OrvelQuestion::IsAffirmative(eAnswer))
    {
        Log(Text::tr("Repairing the working path to the recorded version %1").arg(uRecorded));
        StartRepairTask(false);
        return true;
    }
    Log(Text::tr("Finishing the interrupted task to version %1").arg(uTarget));
    if (strTask != QLatin1String(kTaskDownload))
    {
        StartVersionSwitch(uTarget);
        return true;
    }
    QString strError;
    std::unique_ptr<OrvelFileService> pTarget = m_pPrimary->CreateVersionBoundService(uTarget, &strError);
    if (!pTarget)
    {
        Status(Text::tr("Resource download blocked"));
        LogBoth(
            Text::tr("Resource download blocked: failed to load version %1: %2").arg(uTarget).arg(strError));
        ApplyIdleButtonState();
        return true;
    }
    StartDownloadTask(std::move(pTarget));
    return true;
}
