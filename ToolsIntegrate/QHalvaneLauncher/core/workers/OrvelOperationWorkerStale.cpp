// The last step of a version-changing task: the files the target no longer holds.
#include "OrvelWriteBatch.h"
#include "workers/OrvelChangedFiles.h"
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelStaleFiles.h"

#include <QThread>

bool OrvelOperationWorkerBase::RemoveStaleFiles(OrvelStaleFiles* pStale, const QString& strWorkPath,
                                                OrvelChangedFiles* pChanged, OrvelWriteBatch* pBatch,
                                                QThread* pWorkerThread)
{
    const QStringList& vecCandidates = pStale->Candidates();
    if (vecCandidates.isEmpty())
        return true;
    const ParallelRunResult run = RunParallel(
        vecCandidates.size(), pWorkerThread,
        [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll)
        {
            const QString& strRelative = vecCandidates.at(nIndex);
            SetProgress(uOrdinal, uTotal,
                        tr("(%2/%3) Removing file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
            QString strDetail;
            switch (pStale->RemoveOne(strWorkPath, nIndex, pBatch, &strDetail))
            {
            case OrvelStaleFiles::Removed:
                pChanged->Add(strRelative, false);
                return true;
            case OrvelStaleFiles::Failed:
                // What was removed so far is listed: the rollback brings it back.
                SetStatusMessage(strDetail);
                emit FileFailed(strRelative, strDetail);
                bAbortAll = true;
                return false;
            case OrvelStaleFiles::Absent:
            case OrvelStaleFiles::Kept:
                break;
            }
            return true;
        });
    return run.Succeeded();
}
