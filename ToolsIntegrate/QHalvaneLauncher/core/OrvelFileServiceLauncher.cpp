// The launcher's own files against the store's launcher directory: what a
// version check needs to know whether the launcher must update itself.
#include "OrvelFileService.h"

#include "OrvelLauncherFiles.h"
#include "OrvelStorePath.h"
#include "RuntimeConfigWriter.h"

#include <LauncherSettings.h>

#include <QDir>
#include <QFileInfo>

std::unique_ptr<OrvelFileService> OrvelFileService::CreateLauncherService(const QString& strAppDir,
                                                                          QString* pstrError)
{
    auto fail = [&](const QString& strError) -> std::unique_ptr<OrvelFileService>
    {
        if (pstrError != nullptr)
            *pstrError = strError;
        return nullptr;
    };
    RuntimeConfigWriter writer(strAppDir);
    if (!writer.WriteLauncherConfig())
        return fail(writer.LastError());
    const QString strConfigPath = writer.LauncherConfigPath();
    if (strConfigPath.isEmpty())
        return fail(tr("Launcher Corvane configuration path is empty"));
    auto pService = std::make_unique<OrvelFileService>();
    if (!pService->Initialize(strConfigPath, kLatestVersion))
    {
        const QString strError = pService->LastError();
        return fail(strError.isEmpty() ? tr("Failed to initialize launcher Corvane") : strError);
    }
    return pService;
}

LauncherCacheSyncResult OrvelFileService::SyncLauncherCacheState(OrvelFileService* pService,
                                                                 LauncherSettings& settings)
{
    LauncherCacheSyncResult result;
    if (pService == nullptr)
    {
        result.error = tr("File service unavailable");
        return result;
    }
    if (!pService->IsReady())
    {
        result.error = pService->LastError();
        if (result.error.isEmpty())
            result.error = tr("Corvane reader not initialized");
        return result;
    }
    const PakInfoResult info = pService->ReadPakInfo();
    if (info.status != PakInfoResult::StatusOk)
    {
        result.error = info.error.isEmpty() ? pService->LastError() : info.error;
        return result;
    }
    result.tag = info.tag;
    result.version = pService->CurrentVersion();
    const QString strRecordedTag = settings.launcherRecordTag();
    if (!strRecordedTag.isEmpty() && strRecordedTag == result.tag &&
        settings.launcherRecordVersion() == result.version)
    {
        result.ok = true;
        return result;
    }
    const QString strCacheDir = QDir(settings.appDirectory()).filePath(QStringLiteral("_cache/ifslauncher"));
    if (QFileInfo::exists(strCacheDir) && !QDir(strCacheDir).removeRecursively())
    {
        result.error = tr("Failed to clear launcher cache directory: %1").arg(strCacheDir);
        return result;
    }
    if (!QDir().mkpath(strCacheDir))
    {
        result.error = tr("Failed to recreate launcher cache directory: %1").arg(strCacheDir);
        return result;
    }
    result.ok = true;
    result.cacheCleared = true;
    return result;
}

LauncherCompareResult OrvelFileService::CompareLauncherFiles(const QStringList& vecStorePaths,
                                                             const QString& strAppDir)
{
    LauncherCompareResult result;
    const QString strPrefix = OrvelStorePath::LauncherDirectory() + QLatin1Char('/');
    for (const QString& strStorePath : vecStorePaths)
    {
        const QString strNormal = OrvelStorePath::Normalise(strStorePath);
        if (!strNormal.startsWith(strPrefix))
            continue;
        const QString strRelative = strNormal.mid(strPrefix.size());
        if (strRelative.isEmpty() || OrvelLauncherFiles::IsUpdaterName(QFileInfo(strRelative).fileName()))
            continue;
        const OrvelLauncherFiles::Mapping mapping =
            OrvelLauncherFiles::Map(strAppDir, strStorePath, strRelative);
        if (!mapping.bOk)
        {
            result.error = mapping.strError;
            SetLastError(mapping.strError);
            return result;
        }
        const QString& strLocal = mapping.strLocal;
        if (!QFileInfo(strLocal).isFile())
        {
            result.changedFiles.append(strStorePath);
            continue;
        }
        const FileCompareResult compare = CompareLocalFile(strStorePath, strLocal);
        if (!compare.ok)
        {
            result.error = compare.error;
            return result;
        }
        if (!compare.same)
            result.changedFiles.append(strStorePath);
    }
    result.ok = true;
    result.hasDifferences = !result.changedFiles.isEmpty();
    return result;
}

LauncherCheckResult OrvelFileService::CheckLauncherUpdate(const QString& strAppDir,
                                                          LauncherSettings& settings)
{
    LauncherCheckResult result;
    QString strError;
    const std::unique_ptr<OrvelFileService> pService = CreateLauncherService(strAppDir, &strError);
    if (!pService)
    {
        result.error = strError;
        return result;
    }
    const LauncherCacheSyncResult sync = SyncLauncherCacheState(pService.get(), settings);
    if (!sync.ok)
    {
        result.error = sync.error;
        return result;
    }
    result.cacheCleared = sync.cacheCleared;
    if (sync.cacheCleared)
    {
        settings.setLauncherRecordTag(sync.tag);
        settings.setLauncherRecordVersion(sync.version);
    }
    const QStringList vecFiles = pService->ListFiles(OrvelStorePath::LauncherDirectory(), true);
    const LauncherCompareResult compare = pService->CompareLauncherFiles(vecFiles, strAppDir);
    if (!compare.ok)
    {
        result.error = compare.error;
        return result;
    }
    result.success = true;
    result.changedFiles = compare.changedFiles;
    result.hasUpdate = !compare.changedFiles.isEmpty();
    return result;
}
