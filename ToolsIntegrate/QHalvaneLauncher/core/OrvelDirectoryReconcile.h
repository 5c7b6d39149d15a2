// Directory reconcile: puts chosen directories of the working path back to
// exactly what the bound store version publishes. Pure functions over a file
// service and the working path, run on the caller's thread; the user is asked
// only through IOrvelUserPrompt (pick directories, then confirm the plan file
// by file). Nothing outside the selected directories is touched, no link is
// entered, reverted or deleted, only confirmed entries of the plan are
// applied, and a file that changed on disk since the scan is left alone and
// reported.
#pragma once

#include "OrvelReconcilePlan.h"

#include <QString>
#include <QStringList>

#include <functional>

class IOrvelUserPrompt;
class OrvelFileService;

namespace OrvelReconcile
{

enum Status : qint32
{
    StatusComplete = 0,
    StatusUnavailable = 1,
    StatusNoDirectories = 2,
    StatusNoChanges = 3,
    StatusCancelledSelection = 4,
    StatusCancelledConfirmation = 5,
    StatusNoFilesSelected = 6,
    StatusScanFailed = 7,
    StatusApplyFailed = 8,
};

struct Outcome
{
    qint32 status = StatusUnavailable;
    QString message;
    qint32 reverted = 0;
    qint32 deleted = 0;
    // Confirmed entries not applied because the file changed since the scan.
    QStringList vecChangedSinceScan;
    // Links met by the scan or the apply, and confirmed paths that were not
    // in the plan or left the selection: never touched.
    QStringList vecLinked;
    QStringList vecRefused;
};

struct Notifications
{
    std::function<void()> fnBeforeScan;
    std::function<void()> fnBeforePlan;
    std::function<void()> fnBeforeApply;
};

// "" (the working path itself) and its local directories down to two levels,
// hidden ones included, links excluded; normalised, each once regardless of
// letter case, sorted.
QStringList CandidateDirectories(const QString& strWorkPath);

// Normalised, each once regardless of letter case, sorted, and without any
// path that lies inside another one kept ("" holds everything). Unsafe paths
// (absolute, a drive, "..") are dropped.
QStringList NormaliseSelection(const QStringList& vecSelection);

// Compares the selected directories with the bound version. False with
// *pstrError on a failed list or comparison; *pPlan is then incomplete.
bool Scan(OrvelFileService* pService, const QString& strWorkPath, const QStringList& vecDirectories,
          OrvelReconcilePlan* pPlan, QString* pstrError);

struct ApplyResult
{
    bool bOk = false;
    QString strError;
    qint32 nReverted = 0;
    qint32 nDeleted = 0;
    QStringList vecChangedSinceScan;
    QStringList vecLinked;
    QStringList vecRefused;
};

// Deletions first, then reverts, of the confirmed relative paths that are in
// the plan. Stops at the first failure; what was applied stays applied.
ApplyResult Apply(OrvelFileService* pService, const OrvelReconcilePlan& plan, const QStringList& vecRevert,
                  const QStringList& vecDelete);

// The whole procedure: candidates, the user's selection, scan, the user's
// confirmation, apply. Every end is one of the statuses with its text.
Outcome Run(OrvelFileService* pService, const QString& strWorkPath, IOrvelUserPrompt* pPrompt,
            const Notifications& notifications = Notifications());

QString MessageFor(qint32 nStatus, qint32 nReverted = 0, qint32 nDeleted = 0,
                   const QString& strDetail = QString());

} // namespace OrvelReconcile
