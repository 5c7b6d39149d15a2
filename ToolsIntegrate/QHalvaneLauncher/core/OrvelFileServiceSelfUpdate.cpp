// The launcher's side of its own replacement: the updater refreshed beside it
// and the changed launcher files packed for the updater to apply.
#include "OrvelFileService.h"

#include "OrvelLauncherFiles.h"
#include "OrvelStorePath.h"

#include <OrvelAtomicFile.h>
#include <OrvelPackageBuilder.h>
#include <platform/OrvelPlatformNames.h>

#include <QDir>
#include <QFileInfo>

namespace
{

// The bytes of a store file, only when they hash to what the store says the
// file holds: what goes to the updater must be exactly the published file.
bool ReadVerified(OrvelFileService& service, const QString& strStorePath, QByteArray* pData, bool* pbMismatch)
{
    *pbMismatch = false;
    if (!service.ReadRemoteBytes(strStorePath, pData))
        return false;
    const FileServiceValue expected = service.RemoteFileHash(strStorePath);
    const FileServiceValue actual = service.HashBytes(*pData);
    if (!expected.ok || !actual.ok || expected.value != actual.value)
    {
        *pbMismatch = true;
        pData->clear();
        return false;
    }
    return true;
}

} // namespace

FileServiceStatus OrvelFileService::PrepareUpdater(const QString& strAppDir, QString* pstrTarget)
{
    FileServiceStatus status;
    QString strError;
    const std::unique_ptr<OrvelFileService> pService = CreateLauncherService(strAppDir, &strError);
    if (!pService)
    {
        status.error = strError;
        return status;
    }
    const QString strRemote = OrvelStorePath::LauncherDirectory() + QLatin1Char('/') +
                              OrvelStorePath::AsciiLower(QLatin1String(OrvelPlatform::kUpdaterFileName));
    QByteArray data;
    bool bMismatch = false;
    if (!ReadVerified(*pService, strRemote, &data, &bMismatch))
    {
        status.error = bMismatch
                           ? tr("Updater file does not match the store's content hash: %1").arg(strRemote)
                           : tr("Failed to read remote updater file: %1").arg(strRemote);
        return status;
    }

    const QString strTarget = QDir(strAppDir).filePath(QLatin1String(OrvelPlatform::kUpdaterFileName));
    if (pstrTarget != nullptr)
        *pstrTarget = strTarget;
    const QString strDir = QFileInfo(strTarget).absolutePath();
    if (!QDir().mkpath(strDir))
    {
        status.error = tr("Failed to create target directory: %1").arg(strDir);
        return status;
    }
    OrvelAtomicFile file(strTarget);
    // A first updater must be startable; a replaced one keeps its own mode.
    file.setNewFilePermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                               QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                               QFileDevice::ExeOther);
    if (!file.open())
    {
        status.error = tr("Failed to open target file: %1").arg(strTarget);
        return status;
    }
    if (!file.write(data.constData(), data.size()))
    {
        file.discard();
        status.error = tr("Failed to write target file: %1").arg(strTarget);
        return status;
    }
    if (!file.commit())
    {
        status.error = tr("Failed to replace target file: %1").arg(strTarget);
        return status;
    }
    status.ok = true;
    return status;
}

SelfUpdatePackageResult OrvelFileService::BuildSelfUpdatePackage(const QString& strAppDir,
                                                                 const QStringList& vecStorePaths,
                                                                 const QString& strPackagePath,
                                                                 quint32 uFallbackVersion,
                                                                 const std::atomic_bool* pbCancel)
{
    SelfUpdatePackageResult result;
    if (vecStorePaths.isEmpty())
    {
        result.error = tr("Invalid self-update package input");
        return result;
    }
    QString strError;
    const std::unique_ptr<OrvelFileService> pService = CreateLauncherService(strAppDir, &strError);
    if (!pService)
    {
        result.error = strError;
        return result;
    }

    const QString strRoot = OrvelStorePath::LauncherDirectory();
    OrvelPackageBuilder builder;
    int nAdded = 0;
    for (const QString& strStorePath : vecStorePaths)
    {
        if (pbCancel != nullptr && pbCancel->load())
        {
            result.stopped = true;
            result.error = tr("Self-update preparation stopped");
            return result;
        }
        // Case-sensitive: the store's own paths are lower case already.
        if (!strStorePath.startsWith(strRoot + QLatin1Char('/')))
            continue;
        const QString strRelative = strStorePath.mid(strRoot.size() + 1);
        if (strRelative.isEmpty() || OrvelLauncherFiles::IsUpdaterName(QFileInfo(strRelative).fileName()))
            continue;
        const OrvelLauncherFiles::Mapping mapping =
            OrvelLauncherFiles::Map(strAppDir, strStorePath, strRelative);
        if (!mapping.bOk)
        {
            result.error = mapping.strError;
            return result;
        }
        QByteArray data;
        bool bMismatch = false;
        if (!ReadVerified(*pService, strStorePath, &data, &bMismatch))
        {
            result.error =
                bMismatch ? tr("Launcher file does not match the store's content hash: %1").arg(strStorePath)
                          : tr("Failed to read remote file: %1").arg(strStorePath);
            return result;
        }
        // The builder writes the SHA-256 of these bytes, which the library (with a
        // trusted key) already matched to the signed manifest: the updater checks
        // the package against the store's hashes without a key of its own.
        builder.addMemoryFile(data, mapping.strRelative);
        ++nAdded;
    }
    if (nAdded == 0)
    {
        result.error = tr("No packageable self-update files");
        return result;
    }
    result.version = pService->CurrentVersion();
    if (result.version == 0)
        result.version = uFallbackVersion;
    if (!builder.build(strPackagePath, result.version))
    {
        result.error = tr("Failed to build update package");
        result.detail = builder.lastError();
        return result;
    }
    result.ok = true;
    return result;
}
