#include "OrvelDirectoryReconcile.h"

#include "IOrvelUserPrompt.h"
#include "OrvelFileService.h"
#include "OrvelLocalWrite.h"
#include "OrvelStorePath.h"
#include "platform/OrvelNativeFile.h"
#include "workers/LinkedPathCache.h"
#include "workers/OrvelWorkerPaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace OrvelReconcile
{

namespace
{

// The texts of this file, in the OrvelDirectoryReconcile translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelDirectoryReconcile)
};

QString Lower(const QString& strPath)
{
    return OrvelStorePath::AsciiLower(strPath);
}

bool LessCaseInsensitive(const QString& strA, const QString& strB)
{
    const int nCompare = strA.compare(strB, Qt::CaseInsensitive);
    return nCompare != 0 ? nCompare < 0 : strA < strB;
}

QString CleanRoot(const QString& strWorkPath)
{
    return QDir::cleanPath(QDir(strWorkPath).absolutePath());
}

// strRelative (already safe) below strRoot, letter case kept: local names are
// not store paths.
QString LocalPath(const QString& strRoot, const QString& strRelative)
{
    return strRelative.isEmpty() ? strRoot : QDir::cleanPath(strRoot + QLatin1Char('/') + strRelative);
}

// Whether strRelative lies in strDirectory ("" holds everything). Letter case
// is ignored, as the server's and the disk's spellings of one directory may differ.
bool IsInside(const QString& strRelative, const QString& strDirectory)
{
    if (strDirectory.isEmpty())
        return !strRelative.isEmpty();
    const QString strFile = Lower(strRelative);
    const QString strDir = Lower(strDirectory);
    return strFile.size() > strDir.size() + 1 && strFile.startsWith(strDir) &&
           strFile.at(strDir.size()) == QLatin1Char('/');
}

bool IsInsideAny(const QString& strRelative, const QStringList& vecDirectories)
{
    return std::any_of(vecDirectories.begin(), vecDirectories.end(),
                       [&](const QString& strDir) { return IsInside(strRelative, strDir); });
}

// The launcher's own data in the working path: its directory, the preload
// cache, its caches and logs, and the library's log wherever it was written.
// None of it is the store's to judge, so no plan offers it.
bool IsLauncherOwnData(const QString& strRelative)
{
    const QString strLower = Lower(strRelative);
    if (IsLauncherSelfPath(strLower))
        return true;
    for (const QString& strDir :
         {QStringLiteral("clientcorvane"), QStringLiteral("_cache"), QStringLiteral("_logs")})
    {
        if (strLower == strDir || IsInside(strLower, strDir))
            return true;
    }
    return strLower.section(QLatin1Char('/'), -1) == QLatin1String("pemcorvane.log");
}

struct Stamp
{
    bool bExists = false;  // something has this name, also a dangling link
    bool bRegular = false; // a regular file, not a link
    qint64 nSize = 0;
    qint64 nModifiedMs = 0;
};

Stamp StampOf(const QString& strLocal)
{
    Stamp stamp;
    const QFileInfo info(strLocal);
    stamp.bExists = info.exists() || info.isSymLink();
    stamp.bRegular = info.isFile() && !info.isSymLink();
    if (stamp.bRegular)
    {
        stamp.nSize = info.size();
        stamp.nModifiedMs = info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
    }
    return stamp;
}

bool Unchanged(const OrvelReconcileEntry& entry, const Stamp& now)
{
    if (!entry.bLocalExists)
        return !now.bExists;
    return now.bRegular && now.nSize == entry.nLocalSize && now.nModifiedMs == entry.nLocalModifiedMs;
}

bool IsSafeLocalRelative(const QString& strRelative)
{
    return OrvelStorePath::IsSafeRelative(strRelative, nullptr) && !strRelative.contains(QLatin1Char('\\'));
}

// Files below strDirectory by their relative paths, without entering links;
// the links met go to *pvecLinked.
void CollectLocalFiles(const QString& strRoot, const QString& strDirectory,
                       QMap<QString, QStringList>* pFiles, QStringList* pvecLinked)
{
    const QDir dir(LocalPath(strRoot, strDirectory));
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : entries)
    {
        const QString strRelative =
            strDirectory.isEmpty() ? info.fileName() : strDirectory + QLatin1Char('/') + info.fileName();
        if (info.isSymLink() || info.isJunction())
            pvecLinked->append(strRelative);
        else if (info.isDir())
            CollectLocalFiles(strRoot, strRelative, pFiles, pvecLinked);
        else if (info.isFile())
            (*pFiles)[Lower(strRelative)].append(strRelative);
    }
}

qint64 ServerSize(OrvelFileService* pService, const QString& strStore)
{
    const FileServiceValue size = pService->RemoteFileSize(strStore);
    return size.ok ? qint64(size.value) : -1;
}

void SortUnique(QVector<OrvelReconcileEntry>* pEntries)
{
    std::sort(pEntries->begin(), pEntries->end(),
              [](const OrvelReconcileEntry& a, const OrvelReconcileEntry& b)
              { return LessCaseInsensitive(a.strRelativePath, b.strRelativePath); });
    pEntries->erase(std::unique(pEntries->begin(), pEntries->end(),
                                [](const OrvelReconcileEntry& a, const OrvelReconcileEntry& b)
                                { return a.strRelativePath == b.strRelativePath; }),
                    pEntries->end());
}

void SortUnique(QStringList* pList)
{
    std::sort(pList->begin(), pList->end(), LessCaseInsensitive);
    pList->erase(std::unique(pList->begin(), pList->end()), pList->end());
}

} // namespace

QStringList CandidateDirectories(const QString& strWorkPath)
{
    QStringList vecCandidates{QString()};
    if (strWorkPath.isEmpty())
        return vecCandidates;
    const QString strRoot = CleanRoot(strWorkPath);
    QSet<QString> setSeen{QString()};
    const QDir::Filters filters = QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    auto add = [&](const QString& strPath)
    {
        const QString strNormal = NormalizeRelativePath(strPath);
        if (!strNormal.isEmpty() && !setSeen.contains(Lower(strNormal)) && !IsLauncherOwnData(strNormal))
        {
            setSeen.insert(Lower(strNormal));
            vecCandidates.append(strNormal);
        }
    };
    for (const QFileInfo& first : QDir(strRoot).entryInfoList(filters, QDir::Name))
    {
        if (first.isSymLink() || first.isJunction())
            continue;
        add(first.fileName());
        for (const QFileInfo& second : QDir(first.absoluteFilePath()).entryInfoList(filters, QDir::Name))
        {
            if (!second.isSymLink() && !second.isJunction())
                add(first.fileName() + QLatin1Char('/') + second.fileName());
        }
    }
    SortUnique(&vecCandidates);
    return vecCandidates;
}

QStringList NormaliseSelection(const QStringList& vecSelection)
{
    QStringList vecNormal;
    QSet<QString> setSeen;
    for (const QString& strPath : vecSelection)
    {
        const QString strNormal = NormalizeRelativePath(strPath);
        if (!strNormal.isEmpty() && !IsSafeLocalRelative(strNormal))
            continue;
        if (setSeen.contains(Lower(strNormal)))
            continue;
        setSeen.insert(Lower(strNormal));
        vecNormal.append(strNormal);
    }
    SortUnique(&vecNormal);
    QStringList vecKept;
    for (const QString& strPath : vecNormal)
    {
        const bool bNested = std::any_of(vecNormal.begin(), vecNormal.end(),
                                         [&](const QString& strOther)
                                         { return strOther != strPath && IsInside(strPath, strOther); });
        if (!bNested)
            vecKept.append(strPath);
    }
    return vecKept;
}

bool Scan(OrvelFileService* pService, const QString& strWorkPath, const QStringList& vecDirectories,
          OrvelReconcilePlan* pPlan, QString* pstrError)
{
    *pPlan = OrvelReconcilePlan();
    if (pService == nullptr || !pService->IsReady())
    {
        *pstrError = Text::tr("File service unavailable");
        return false;
    }
    const QString strRoot = CleanRoot(strWorkPath);
    pPlan->strWorkPath = strRoot;
    pPlan->vecDirectories = NormaliseSelection(vecDirectories);

    // One checked list for the whole scan: a list that failed to arrive must
    // not look like a server without files, which would offer every local
    // file for deletion.
    QStringList vecServer;
    if (!pService->ListAllFilesFiltered(&vecServer, pstrError))
        return false;

    LinkedPathCache linked;
    for (const QString& strDirectory : qAsConst(pPlan->vecDirectories))
    {
        QMap<QString, QString> mapServer; // lower-cased path -> store path
        for (const QString& strPath : qAsConst(vecServer))
        {
            const QString strStore = OrvelStorePath::Normalise(strPath);
            if (IsInside(strStore, strDirectory) && IsSafeLocalRelative(strStore) &&
                !IsLauncherOwnData(strStore))
                mapServer.insert(Lower(strStore), strStore);
        }

        QMap<QString, QStringList> mapLocal;
        if (linked.IsLinked(strRoot, strDirectory) ||
            OrvelPlatform::IsSymbolicLink(LocalPath(strRoot, strDirectory)))
            pPlan->vecLinked.append(strDirectory);
        else if (QFileInfo(LocalPath(strRoot, strDirectory)).isDir())
            CollectLocalFiles(strRoot, strDirectory, &mapLocal, &pPlan->vecLinked);

        for (auto it = mapServer.constBegin(); it != mapServer.constEnd(); ++it)
        {
            const QString& strStore = it.value();
            const QStringList vecLocal = mapLocal.value(it.key());
            if (vecLocal.isEmpty())
            {
                // The file would be created through whatever lies on its way:
                // a link there would carry it out of the working path.
                if (linked.IsLinked(strRoot, strStore))
                {
                    pPlan->vecLinked.append(strStore);
                    continue;
                }
                OrvelReconcileEntry entry;
                entry.strRelativePath = strStore;
                entry.strStorePath = strStore;
                entry.bLocalExists = StampOf(LocalPath(strRoot, strStore)).bExists;
                if (entry.bLocalExists)
                {
                    // Something that is not a regular file holds the name (a
                    // link the enumeration did not enter): leave it alone.
                    pPlan->vecLinked.append(strStore);
                    continue;
                }
                entry.nServerSize = ServerSize(pService, strStore);
                pPlan->vecRevert.append(entry);
                continue;
            }
            // Every local spelling of the name is compared, none deleted: on a
            // file system that ignores case they are one file.
            for (const QString& strRelative : vecLocal)
            {
                const QString strLocal = LocalPath(strRoot, strRelative);
                const Stamp stamp = StampOf(strLocal);
                const FileCompareResult compare = pService->CompareLocalFile(strStore, strLocal);
                if (!compare.ok)
                {
                    *pstrError = Text::tr("Failed to compare local file with server file %1: %2")
                                     .arg(strRelative, compare.error);
                    return false;
                }
                if (compare.same)
                    continue;
                OrvelReconcileEntry entry;
                entry.strRelativePath = strRelative;
                entry.strStorePath = strStore;
                entry.bLocalExists = stamp.bRegular;
                entry.nLocalSize = stamp.nSize;
                entry.nLocalModifiedMs = stamp.nModifiedMs;
                entry.nServerSize = ServerSize(pService, strStore);
                pPlan->vecRevert.append(entry);
            }
        }
        for (auto it = mapLocal.constBegin(); it != mapLocal.constEnd(); ++it)
        {
            if (mapServer.contains(it.key()))
                continue;
            for (const QString& strRelative : it.value())
            {
                if (IsLauncherOwnData(strRelative))
                    continue;
                const Stamp stamp = StampOf(LocalPath(strRoot, strRelative));
                OrvelReconcileEntry entry;
                entry.strRelativePath = strRelative;
                entry.bLocalExists = stamp.bRegular;
                entry.nLocalSize = stamp.nSize;
                entry.nLocalModifiedMs = stamp.nModifiedMs;
                pPlan->vecDelete.append(entry);
            }
        }
    }
    SortUnique(&pPlan->vecRevert);
    SortUnique(&pPlan->vecDelete);
    SortUnique(&pPlan->vecLinked);
    return true;
}

ApplyResult Apply(OrvelFileService* pService, const OrvelReconcilePlan& plan, const QStringList& vecRevert,
                  const QStringList& vecDelete)
{
    ApplyResult result;
    const QString strRoot = plan.strWorkPath;
    if (pService == nullptr || !pService->IsReady() || strRoot.isEmpty())
    {
        result.strError = Text::tr("File service unavailable");
        return result;
    }
    QHash<QString, OrvelReconcileEntry> mapRevert;
    for (const OrvelReconcileEntry& entry : plan.vecRevert)
        mapRevert.insert(entry.strRelativePath, entry);
    QHash<QString, OrvelReconcileEntry> mapDelete;
    for (const OrvelReconcileEntry& entry : plan.vecDelete)
        mapDelete.insert(entry.strRelativePath, entry);

    LinkedPathCache linked;
    // Only what the user confirmed from this plan, inside its directories,
    // never through a link: anything else is refused unseen.
    auto admit = [&](const QString& strRelative, const QHash<QString, OrvelReconcileEntry>& map,
                     OrvelReconcileEntry* pEntry)
    {
        if (!map.contains(strRelative) || !IsSafeLocalRelative(strRelative) ||
            !IsInsideAny(strRelative, plan.vecDirectories) || IsLauncherOwnData(strRelative))
        {
            result.vecRefused.append(strRelative);
            return false;
        }
        if (linked.IsLinked(strRoot, strRelative))
        {
            result.vecLinked.append(strRelative);
            return false;
        }
        *pEntry = map.value(strRelative);
        return true;
    };

    for (const QString& strRelative : vecDelete)
    {
        OrvelReconcileEntry entry;
        if (!admit(strRelative, mapDelete, &entry))
            continue;
        const QString strLocal = LocalPath(strRoot, strRelative);
        const Stamp now = StampOf(strLocal);
        if (!now.bExists || !now.bRegular)
            continue; // gone, or no longer a file: nothing to delete
        if (!Unchanged(entry, now))
        {
            result.vecChangedSinceScan.append(strRelative);
            continue;
        }
        if (!OrvelPlatform::RemoveFile(strLocal))
        {
            result.strError = Text::tr("Failed to delete file: %1").arg(strLocal);
            return result;
        }
        OrvelLocalWrite::PruneEmptyDirectories(strRoot, strLocal, nullptr);
        ++result.nDeleted;
    }

    for (const QString& strRelative : vecRevert)
    {
        OrvelReconcileEntry entry;
        if (!admit(strRelative, mapRevert, &entry))
            continue;
        const QString strLocal = LocalPath(strRoot, strRelative);
        if (!Unchanged(entry, StampOf(strLocal)))
        {
            result.vecChangedSinceScan.append(strRelative);
            continue;
        }
        const QString strDir = QFileInfo(strLocal).absolutePath();
        if (!QFileInfo(strDir).isDir() && !QDir().mkpath(strDir))
        {
            result.strError = Text::tr("Failed to create directory: %1").arg(strDir);
            return result;
        }
        // Verified against the store's hash, written to a temporary file and
        // renamed over the target; refused below a link.
        const FileServiceStatus status =
            pService->DownloadToLocalFile(entry.strStorePath, strLocal, nullptr, nullptr, strRoot);
        if (!status.ok)
        {
            result.strError = Text::tr("Failed to revert file %1: %2").arg(strRelative, status.error);
            return result;
        }
        ++result.nReverted;
    }
    result.bOk = true;
    return result;
}

QString MessageFor(qint32 nStatus, qint32 nReverted, qint32 nDeleted, const QString& strDetail)
{
    switch (nStatus)
    {
    case StatusComplete:
        return Text::tr("Directory reconcile complete: %1 files reverted, %2 files deleted")
            .arg(nReverted)
            .arg(nDeleted);
    case StatusUnavailable:
        return Text::tr("Directory reconcile unavailable: no server-backed directories found");
    case StatusNoDirectories:
        return Text::tr("Directory reconcile skipped: no directories selected");
    case StatusNoChanges:
        return Text::tr("Directory reconcile scan finished: no changes needed");
    case StatusCancelledSelection:
        return Text::tr("Directory reconcile cancelled during directory selection");
    case StatusCancelledConfirmation:
        return Text::tr("Directory reconcile cancelled during change confirmation");
    case StatusNoFilesSelected:
        return Text::tr("Directory reconcile skipped: no files selected");
    case StatusScanFailed:
        return Text::tr("Directory reconcile scan failed: %1").arg(strDetail);
    case StatusApplyFailed:
    default:
        return Text::tr("Directory reconcile failed after %1 files reverted and %2 files deleted: %3")
            .arg(nReverted)
            .arg(nDeleted)
            .arg(strDetail);
    }
}

Outcome Run(OrvelFileService* pService, const QString& strWorkPath, IOrvelUserPrompt* pPrompt,
            const Notifications& notifications)
{
    Outcome outcome;
    auto finish = [&](qint32 nStatus, const QString& strDetail = QString())
    {
        outcome.status = nStatus;
        outcome.message = MessageFor(nStatus, outcome.reverted, outcome.deleted, strDetail);
        SortUnique(&outcome.vecLinked);
        return outcome;
    };
    if (pService == nullptr || !pService->IsReady() || strWorkPath.trimmed().isEmpty())
        return finish(StatusUnavailable);
    const QStringList vecCandidates = CandidateDirectories(strWorkPath);
    QStringList vecSelected;
    if (pPrompt == nullptr || !pPrompt->ChooseReconcileDirectories(strWorkPath, vecCandidates, &vecSelected))
        return finish(StatusCancelledSelection);
    if (vecSelected.isEmpty())
        return finish(StatusNoDirectories);
    vecSelected = NormaliseSelection(vecSelected);
    if (vecSelected.isEmpty())
        return finish(StatusNoDirectories);

    if (notifications.fnBeforeScan)
        notifications.fnBeforeScan();
    OrvelReconcilePlan plan;
    QString strError;
    if (!Scan(pService, strWorkPath, vecSelected, &plan, &strError))
        return finish(StatusScanFailed, strError);
    outcome.vecLinked = plan.vecLinked;
    if (plan.IsEmpty())
    {
        pPrompt->Ask(OrvelQuestion::ReconcileAlreadyMatches());
        return finish(StatusNoChanges);
    }

    if (notifications.fnBeforePlan)
        notifications.fnBeforePlan();
    QStringList vecRevert;
    QStringList vecDelete;
    if (!pPrompt->ConfirmReconcilePlan(plan, &vecRevert, &vecDelete))
        return finish(StatusCancelledConfirmation);
    if (vecRevert.isEmpty() && vecDelete.isEmpty())
        return finish(StatusNoFilesSelected);

    if (notifications.fnBeforeApply)
        notifications.fnBeforeApply();
    const ApplyResult applied = Apply(pService, plan, vecRevert, vecDelete);
    outcome.reverted = applied.nReverted;
    outcome.deleted = applied.nDeleted;
    outcome.vecChangedSinceScan = applied.vecChangedSinceScan;
    outcome.vecLinked += applied.vecLinked;
    outcome.vecRefused = applied.vecRefused;
    if (!applied.bOk)
        return finish(StatusApplyFailed, applied.strError);
    return finish(StatusComplete);
}

} // namespace OrvelReconcile
