// The start of every task that writes into the working path: what a cut-off
// task left behind, and the mark that says the working path is in flux.
#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelLeftoverTemps.h"

#include <QCoreApplication>

namespace
{

QString Tr(const char* pszText)
{
    return QCoreApplication::translate("OrvelLauncherController", pszText);
}

} // namespace

bool OrvelLauncherController::PrepareWorkingPathChange(OrvelFileService* pTarget)
{
    // The record needs the target's tag when the task is done; a task that
    // could not read it then would leave a record the next start refuses.
    const quint32 uTarget = pTarget->CurrentVersion();
    const PakInfoResult info = pTarget->ReadPakInfo();
    if (info.status != PakInfoResult::StatusOk || info.tag.isEmpty())
    {
        Status(Tr("Task blocked"));
        LogBoth(Tr("Failed to read the release information of version %1, nothing was changed: %2")
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
        Log(Tr("An earlier task was interrupted; every file is compared with the store"));
    }
    // Only a task that was cut off (or a first install, which leaves no mark)
    // can have left temporary files; a walk of the whole tree is saved otherwise.
    if (m_baseline.bInterrupted || !m_baseline.bHasRecord)
    {
        for (const QString& strPath : OrvelLeftoverTemps::Remove(WorkPath()))
            Log(Tr("Removed leftover temporary file: %1").arg(strPath));
    }
    if (!m_baseline.bHasRecord)
        return true;
    if (m_pSettings->markProductRecordPending(uTarget))
        return true;
    Status(Tr("Task blocked"));
    LogBoth(Tr("Failed to write the product version record: %1").arg(m_pSettings->productRecordPath()));
    return false;
}

void OrvelLauncherController::DropPendingMark()
{
    if (m_pSettings != nullptr && m_baseline.bValid && m_baseline.bHasRecord &&
        !m_pSettings->writeProductRecord(m_baseline.uRecordedVersion, m_baseline.strRecordedTag))
        LogBoth(Tr("Failed to write the product version record: %1").arg(m_pSettings->productRecordPath()));
}
