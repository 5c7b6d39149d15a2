// The controller's record of a finished task: a worker stores into it once,
// right before its Finished signal; the controller reads it in the slot that
// receives Finished. Thread-safe (one mutex).
#pragma once

#include "workers/OrvelWeakReplacement.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

struct TaskResultData
{
    QString strStatusMessage;
    QStringList vecChangedFiles;
    // Among the changed files, those that did not exist before the task: a
    // rollback removes these when the baseline lacks them, and only these.
    QStringList vecCreatedFiles;
    // Files the target version does not hold: those removed (also among the
    // changed files, so a rollback restores them) and those kept because they
    // are not what the store published, with why (same order).
    QStringList vecRemovedFiles;
    QStringList vecKeptFiles;
    QStringList vecKeptReasons;
    std::vector<WeakReplacementFailure> vecWeakFailures;
    qint32 nFirstCount = 0;
    qint32 nSecondCount = 0;
    quint32 uProgressCurrent = 0;
    quint32 uProgressTotal = 0;
    QString strProgressDetail;
    bool bProgressValid = false;
    qint64 nWorkMs = 0; // from the worker's start to its result
};

class TaskResultSnapshot
{
public:
    void Store(TaskResultData data);
    TaskResultData Read() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    TaskResultData m_data;
};
