#include "OrvelStartup.h"

#include "OrvelFileService.h"
#include "RuntimeConfigWriter.h"

#include <LauncherLog.h>
#include <LauncherSettings.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace OrvelStartup
{

namespace
{

// The texts of this file, in the OrvelStartup translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelStartup)
};

// The product configuration's cache first; "_cache/ifse" is cleared as well so
// that a repair-only start never rebuilds over an older cache layout.
const char* const kStoreCacheDirs[] = {"_cache/ofse", "_cache/ifse"};

} // namespace

StoreCacheClearResult ClearStoreCache(const QString& strAppDir, LauncherLog& log)
{
    StoreCacheClearResult result;
    for (const char* pcszDir : kStoreCacheDirs)
    {
        const QString strRoot = QDir(strAppDir).filePath(QLatin1String(pcszDir));
        const QFileInfo root(strRoot);
        if (!root.exists() || root.isSymLink() || !root.isDir())
            continue;
        QStringList vecDirs;
        QDirIterator it(strRoot, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
        {
            const QString strPath = it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isDir() && !info.isSymLink())
            {
                vecDirs.append(strPath);
                continue;
            }
            if (QFile::remove(strPath))
            {
                ++result.removed;
            }
            else
            {
                ++result.failed;
                log.write(Text::tr("Failed to remove repair-only cache entry: %1").arg(strPath));
            }
        }
        // Longer paths first: a child always sorts before its parent.
        std::sort(vecDirs.begin(), vecDirs.end(),
                  [](const QString& strA, const QString& strB) { return strA.size() > strB.size(); });
        for (const QString& strDir : vecDirs)
        {
            const QFileInfo info(strDir);
            if (info.dir().rmdir(info.fileName()))
            {
                ++result.removed;
            }
            else
            {
                ++result.failed;
                log.write(Text::tr("Failed to remove repair-only cache directory: %1").arg(strDir));
            }
        }
    }
    if (result.removed > 0)
        log.write(Text::tr("Repair-only startup removed %1 cache item(s) from _cache").arg(result.removed));
    return result;
}

RepairOnlyRebuildResult RebuildRepairOnly(OrvelFileService& service, LauncherSettings& settings,
                                          LauncherLog& log, RuntimeConfigWriter& configWriter,
                                          const QString& strConfigPath)
{
    RepairOnlyRebuildResult result;
    // Open files of the old reader would keep cache entries alive (and locked
    // on some systems): the reader goes first.
    service.Close();
    const StoreCacheClearResult cleared = ClearStoreCache(settings.appDirectory(), log);
    result.removed = static_cast<int>(cleared.removed);
    if (cleared.failed > 0)
    {
        result.error =
            Text::tr("Failed to clear %1 cache item(s) from _cache before rebuild").arg(cleared.failed);
        log.write(result.error);
        return result;
    }
    if (!configWriter.WriteProductConfig())
    {
        result.error = configWriter.LastError();
        log.write(result.error);
        return result;
    }
    if (!service.Initialize(strConfigPath, OrvelFileService::kLatestVersion))
    {
        result.error = Text::tr("Failed to initialize Corvane: %1").arg(service.LastError());
        log.write(result.error);
        return result;
    }
    log.write(
        Text::tr("Repair-only startup rebuilt Corvane reader with latest version after clearing _cache"));
    result.ok = true;
    return result;
}

namespace
{

void ApplyRebuild(StartupInitializationResult& result, const RepairOnlyRebuildResult& rebuild)
{
    result.success = rebuild.ok;
    result.mode = rebuild.ok ? StartupInitializationResult::ModeRepairOnlyLatest
                             : StartupInitializationResult::ModeFailed;
    result.removedCacheItems = rebuild.removed;
    if (!rebuild.ok)
        result.error = rebuild.error;
}

} // namespace

StartupInitializationResult Decide(OrvelFileService& service, LauncherSettings& settings, LauncherLog& log,
                                   RuntimeConfigWriter& configWriter, const QString& strConfigPath)
{
    StartupInitializationResult result;
    auto rebuild = [&]()
    {
        ApplyRebuild(result, RebuildRepairOnly(service, settings, log, configWriter, strConfigPath));
        return result;
    };

    if (!QFileInfo::exists(strConfigPath))
    {
        result.error = Text::tr("Configuration file not found: %1").arg(strConfigPath);
        log.write(result.error);
        return result;
    }
    const QString strRecordPath = settings.productRecordPath();
    const QFileInfo record(strRecordPath);
    if (settings.adoptProductRecord())
        log.write(Text::tr("The product record named no working path; it is taken as the record of %1")
                      .arg(settings.workPath()));
    // A record of another working path says nothing about this one: a first
    // installation here, and the record stays until a task here replaces it.
    QString strRecordOwner;
    const bool bForeignRecord = settings.productRecordForOtherPath(&strRecordOwner);
    if (bForeignRecord)
        log.write(Text::tr("The product record belongs to working path %1; %2 has no record yet")
                      .arg(strRecordOwner, settings.workPath()));
    const bool bRecordFile = record.exists() && record.isFile() && !bForeignRecord;
    if (bRecordFile)
    {
        QFile file(strRecordPath);
        if (!file.open(QIODevice::ReadOnly))
        {
            result.mode = StartupInitializationResult::ModeFailed;
            result.error = Text::tr("Failed to open current sync version file: %1").arg(strRecordPath);
            log.write(result.error);
            return result;
        }
    }

    quint32 uRecordedVersion = 0;
    QString strRecordedTag;
    const bool bHasVersion = settings.readProductRecord(&uRecordedVersion, &strRecordedTag);
    strRecordedTag = strRecordedTag.trimmed();

    if (bHasVersion && !strRecordedTag.isEmpty())
    {
        result.mode = StartupInitializationResult::ModeRepairOnlyLatest;
        if (!service.Initialize(strConfigPath, uRecordedVersion))
        {
            result.notice = Text::tr(
                "Failed to initialize Corvane with the recorded version. Switched to latest version and "
                "enabled repair-only mode.");
            log.write(
                Text::tr(
                    "Failed to initialize Corvane with recorded version %1; switching to latest version and "
                    "enabling repair-only mode: %2")
                    .arg(uRecordedVersion)
                    .arg(service.LastError()));
            return rebuild();
        }
        const quint32 uActualVersion = service.CurrentVersion();
        const PakInfoResult info = service.ReadPakInfo();
        if (info.status == PakInfoResult::StatusCacheRepair ||
            info.status == PakInfoResult::StatusMetadataMissing)
        {
            result.notice =
                info.status == PakInfoResult::StatusCacheRepair
                    ? Text::tr(
                          "PakInfo reported that the recorded version cache is expired. Switched to latest "
                          "version and enabled repair-only mode.")
                    : Text::tr(
                          "PakInfo metadata for the recorded version is missing. Switched to latest version "
                          "and enabled repair-only mode.");
            log.write(Text::tr("Recorded version %1 PakInfo status requires repair-only startup: %2")
                          .arg(uRecordedVersion)
                          .arg(info.error));
            return rebuild();
        }
        if (info.status != PakInfoResult::StatusOk)
        {
            result.mode = StartupInitializationResult::ModeFailed;
            result.error = Text::tr("Failed to read resource sync tag from Corvane: %1")
                               .arg(info.error.isEmpty() ? service.LastError() : info.error);
            log.write(result.error);
            return result;
        }
        if (uActualVersion == uRecordedVersion && info.tag == strRecordedTag)
        {
            result.success = true;
            result.mode = StartupInitializationResult::ModeNormal;
            log.write(
                Text::tr("Corvane initialized successfully with recorded version %1").arg(uRecordedVersion));
            return result;
        }
        result.notice =
            Text::tr("Recorded resource sync state mismatched the current Corvane state. Switched to latest "
                     "version and enabled repair-only mode.");
        settings.clearProductRecord();
        rebuild();
        if (result.success)
            log.write(
                Text::tr("Recorded resource sync state mismatched actual Corvane state; switched to latest "
                         "version and "
                         "entered repair-only mode. Recorded version=%1 actual version=%2 recorded tag=%3 "
                         "actual tag=%4")
                    .arg(uRecordedVersion)
                    .arg(uActualVersion)
                    .arg(strRecordedTag, info.tag));
        return result;
    }

    if (bRecordFile)
    {
        result.mode = StartupInitializationResult::ModeRepairOnlyLatest;
        result.notice =
            Text::tr("Recorded resource sync state is unavailable. Switched to latest version and enabled "
                     "repair-only mode.");
        if (!bHasVersion)
        {
            log.write(Text::tr(
                "Recorded resource sync state is unavailable; switching to latest version and enabling "
                "repair-only mode."));
        }
        else
        {
            settings.clearProductRecord();
            log.write(
                Text::tr(
                    "Recorded resource sync tag is empty for version %1; switching to latest version and "
                    "enabling repair-only mode.")
                    .arg(uRecordedVersion));
        }
        return rebuild();
    }

    if (!service.Initialize(strConfigPath, OrvelFileService::kLatestVersion))
    {
        result.error = Text::tr("Failed to initialize Corvane: %1").arg(service.LastError());
        log.write(result.error);
        return result;
    }
    log.write(Text::tr("Corvane initialized successfully with latest version"));
    result.success = true;
    return result;
}

} // namespace OrvelStartup
