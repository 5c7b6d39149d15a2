#include "workers/OrvelVersionRollbackWorker.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelLocalWrite.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "platform/OrvelNativeFile.h"
#include "workers/OrvelTaskResultSnapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

OrvelVersionRollbackWorker::OrvelVersionRollbackWorker(OrvelFileService* pRollbackService,
                                                       const QStringList& vecFilesToRollBack,
                                                       LauncherSettings* pSettings,
                                                       TaskResultSnapshot* pSnapshot,
                                                       const QString& strWorkPath, QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_pRollbackService(pRollbackService),
      m_vecFiles(vecFilesToRollBack), m_strWorkPath(strWorkPath), m_pSnapshot(pSnapshot)
{
    if (m_strWorkPath.isEmpty() && pSettings != nullptr)
        m_strWorkPath = pSettings->workPath();
}

OrvelVersionRollbackWorker::~OrvelVersionRollbackWorker() = default;

void OrvelVersionRollbackWorker::SetCreatedFiles(const QStringList& vecCreatedFiles)
{
    m_setCreated.clear();
    for (const QString& strPath : vecCreatedFiles)
        m_setCreated.insert(OrvelStorePath::Normalise(strPath));
}

void OrvelVersionRollbackWorker::AddUnrestored(const QString& strRelative)
{
    std::lock_guard<std::mutex> lock(m_unrestoredMutex);
    m_vecUnrestored.push_back(strRelative);
}

void OrvelVersionRollbackWorker::Finish(bool bSuccess, qint32 nSucceeded, qint32 nFailed)
{
    QStringList vecUnrestored;
    {
        std::lock_guard<std::mutex> lock(m_unrestoredMutex);
        vecUnrestored = m_vecUnrestored;
    }
    PublishResult(m_pSnapshot, &vecUnrestored, nSucceeded, nFailed, nullptr);
    emit Finished(bSuccess, nSucceeded, nFailed);
}

void OrvelVersionRollbackWorker::DoWork()
{
    ResetControlState();
    m_nSuccessCount.store(0);
    m_nFailCount.store(0);
    m_linkedPaths.Clear();
    {
        std::lock_guard<std::mutex> lock(m_unrestoredMutex);
        m_vecUnrestored.clear();
    }
    m_pWorkerThread = QThread::currentThread();

    if (m_pRollbackService == nullptr || !m_pRollbackService->IsReady())
    {
        SetStatusMessage(m_pRollbackService != nullptr ? m_pRollbackService->LastError()
                                                       : tr("Rollback file service unavailable"));
        m_vecUnrestored = m_vecFiles;
        Finish(false, 0, 0);
        return;
    }
    if (m_strWorkPath.isEmpty())
    {
        SetStatusMessage(tr("Working path is empty"));
        m_vecUnrestored = m_vecFiles;
        Finish(false, 0, 0);
        return;
    }
    ApplyDownloadLimit(m_pRollbackService);

    // Every file is attempted: a failed one does not stop the others.
    // char, not bool: pool threads write neighbouring elements.
    std::vector<char> vecRestored(static_cast<size_t>(m_vecFiles.size()), 0);
    OrvelWriteBatch batch(m_strWorkPath);
    const CountedRunResult run = RunParallelCounted(
        m_vecFiles.size(), m_pWorkerThread,
        [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll, QString& strError)
        {
            if (!WaitWhilePaused(m_pWorkerThread) || IsCancelRequested(m_pWorkerThread))
            {
                SetStatusMessage(tr("Version rollback cancelled"));
                bAbortAll = true;
                return false;
            }
            const bool bOk =
                RollBackOneFile(m_vecFiles.at(nIndex), uOrdinal, uTotal, &batch, bAbortAll, strError);
            vecRestored[static_cast<size_t>(nIndex)] = bOk ? 1 : 0;
            return bOk;
        });
    const bool bAborted = run.bAborted;
    // What was brought back must be on the disk before the record claims it.
    const bool bFlushed = FlushWrittenFiles(batch);

    for (int i = 0; i < m_vecFiles.size(); ++i)
    {
        if (vecRestored[static_cast<size_t>(i)] == 0 || !bFlushed)
            AddUnrestored(m_vecFiles.at(i));
    }
    const qint32 nSucceeded = m_nSuccessCount.load();
    const qint32 nFailed = m_nFailCount.load();
    if (bAborted || nFailed != 0)
    {
        QString strStatus;
        if (!GetStatusMessage(&strStatus))
            SetStatusMessage(bAborted ? tr("Version rollback cancelled")
                                      : tr("Version rollback completed with failures"));
    }
    Finish(!bAborted && nFailed == 0 && bFlushed, nSucceeded, nFailed);
}

bool OrvelVersionRollbackWorker::RollBackOneFile(const QString& strRelative, quint32 uOrdinal, quint32 uTotal,
                                                 OrvelWriteBatch* pBatch, bool& bAbortAll, QString& strError)
{
    SetProgress(uOrdinal, uTotal,
                tr("(%2/%3) Rolling back file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));

    QString strLocal;
    if (IsCancelRequested(m_pWorkerThread))
    {
        strError = tr("Version rollback cancelled");
    }
    else if (!OrvelStorePath::JoinUnder(m_strWorkPath, strRelative, &strLocal, &strError))
    {
        // strError says why the path may not be joined under the working path.
    }
    else if (m_linkedPaths.IsLinked(m_strWorkPath, OrvelStorePath::Normalise(strRelative)))
    {
        // Whatever the link leads to was not written by the task.
        strError = tr("Refused to roll back a file reached through a link: %1").arg(strRelative);
    }
    else if (m_pRollbackService->RemoteFileExists(strRelative))
    {
        const FileServiceStatus status = m_pRollbackService->DownloadToLocalFile(
            strRelative, strLocal, CancelFlag(), m_pWorkerThread, m_strWorkPath, pBatch);
        if (!status.ok && IsCancelRequested(m_pWorkerThread))
            strError = tr("Version rollback cancelled");
        else if (!status.ok)
            strError = tr("Failed to rollback file %1: %2").arg(strRelative, status.error);
    }
    else if (m_setCreated.contains(OrvelStorePath::Normalise(strRelative)))
    {
        DeleteCreatedFile(strLocal, pBatch, strError);
    }
    // Otherwise the file was there before the task and the baseline does not
    // know it: there is nothing to bring back, and removing it would lose it.

    if (strError.isEmpty())
    {
        m_nSuccessCount.fetch_add(1);
        return true;
    }
    if (IsCancelRequested(m_pWorkerThread))
    {
        // Stopped, not failed: the file is as the task left it and is named as unrestored.
        SetStatusMessage(tr("Version rollback cancelled"));
        bAbortAll = true;
        return false;
    }
    SetStatusMessage(strError);
    emit FileFailed(strRelative, strError);
    m_nFailCount.fetch_add(1);
    return false;
}

bool OrvelVersionRollbackWorker::DeleteCreatedFile(const QString& strLocal, OrvelWriteBatch* pBatch,
                                                   QString& strError)
{
    const QFileInfo info(strLocal);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isSymLink() || !info.isFile())
    {
        strError = tr("Path is not a regular file: %1").arg(strLocal);
        return false;
    }
    if (!OrvelPlatform::RemoveFile(strLocal))
    {
        strError = tr("Failed to delete file during rollback: %1").arg(strLocal);
        return false;
    }
    pBatch->AddDirectory(info.absolutePath());
    PruneEmptyDirectories(strLocal, pBatch);
    return true;
}

void OrvelVersionRollbackWorker::PruneEmptyDirectories(const QString& strRemovedFile, OrvelWriteBatch* pBatch)
{
    std::lock_guard<std::mutex> lock(m_pruneMutex);
    OrvelLocalWrite::PruneEmptyDirectories(m_strWorkPath, strRemovedFile, pBatch);
}
