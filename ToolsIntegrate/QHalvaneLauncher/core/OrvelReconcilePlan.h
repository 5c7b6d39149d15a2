// What a directory reconcile scan found, as the user confirms it: files to
// revert to the server's content and local files to delete, each with what
// the scan saw on disk, so that the apply can leave alone whatever changed
// since. Plain values; copied freely.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct OrvelReconcileEntry
{
    // As on disk below the working path ("/" separators, the local letter
    // case); for a file the working path lacks, the store's path.
    QString strRelativePath;
    // The store's path of a file to revert; empty for a deletion.
    QString strStorePath;
    // The local file as the scan saw it (lstat: a link is never followed).
    bool bLocalExists = false;
    qint64 nLocalSize = 0;
    qint64 nLocalModifiedMs = 0;
    // The store's size of a file to revert; -1 when the store did not say.
    qint64 nServerSize = -1;
};

struct OrvelReconcilePlan
{
    QString strWorkPath;
    QStringList vecDirectories;             // the scanned selection, normalised ("" = the whole working path)
    QVector<OrvelReconcileEntry> vecRevert; // sorted case-insensitively, each path once
    QVector<OrvelReconcileEntry> vecDelete;
    // Links met inside the selection, and names held by something that is not
    // a regular file where the server has a file: never entered, reverted or deleted.
    QStringList vecLinked;

    bool IsEmpty() const { return vecRevert.isEmpty() && vecDelete.isEmpty(); }
};
