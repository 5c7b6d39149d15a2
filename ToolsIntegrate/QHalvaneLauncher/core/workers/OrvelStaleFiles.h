// The files a version-changing task removes from the working path: those the
// baseline (the version the working path is at) holds and the target does
// not. A file goes only while it still holds exactly what the store published
// for its path at the baseline: a file the user made or changed there is kept
// and named, as is one reached through a link or that is no regular file.
// Directories a removal leaves empty go too, never the working path itself.
//
// Collect runs on the worker's thread before the removals; RemoveOne may run
// on several pool threads at once (distinct indexes); the lists are read once
// the removals are over.
#pragma once

#include "workers/LinkedPathCache.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class OrvelFileService;
class OrvelWriteBatch;

class OrvelStaleFiles
{
public:
    enum Outcome
    {
        Absent,  // nothing at the path: nothing to do
        Removed, // held the baseline's content and is gone
        Kept,    // made or changed here (or not a file of ours to remove): left alone
        Failed,  // held the baseline's content but could not be removed
    };

    OrvelStaleFiles();
    ~OrvelStaleFiles();

    void Clear();
    // Takes pBaseline (bound to the baseline version) and keeps it for the
    // comparisons. vecTarget: every file of the target version. False, with
    // *pstrError, when the baseline's file list cannot be read.
    bool Collect(std::unique_ptr<OrvelFileService> pBaseline, const QStringList& vecTarget,
                 QString* pstrError);
    const QStringList& Candidates() const { return m_vecCandidates; }

    // The candidate nIndex below strWorkPath. *pstrDetail: for Kept, why it
    // was kept; for Failed, the error. Removals and prunes are noted in pBatch.
    Outcome RemoveOne(const QString& strWorkPath, int nIndex, OrvelWriteBatch* pBatch, QString* pstrDetail);

    QStringList RemovedFiles() const;
    // The files kept, and why, in the same order.
    QStringList KeptFiles() const;
    QStringList KeptReasons() const;

private:
    std::unique_ptr<OrvelFileService> m_pBaseline;
    QStringList m_vecCandidates;
    LinkedPathCache m_linkedPaths;
    mutable std::mutex m_mutex; // the lists, and one prune at a time
    QStringList m_vecRemoved;
    QStringList m_vecKept;
    QStringList m_vecKeptReasons;
};
