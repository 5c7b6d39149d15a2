// The start-up decision: does the working path still match what the product
// record says it was synchronised to? Runs on the start-up thread (or in a
// headless tool) and touches only the given service, the product record,
// "_cache/ifse" and the log.
#pragma once

#include <QString>
#include <QtGlobal>

class LauncherLog;
class LauncherSettings;
class OrvelFileService;
class RuntimeConfigWriter;

struct StartupInitializationResult
{
    enum Mode : int
    {
        ModeNormal = 0,
        ModeRepairOnlyLatest = 1,
        ModeFailed = 2,
    };
    bool success = false;
    int mode = ModeNormal;
    QString error;
    QString notice; // why repair-only mode was chosen
    int removedCacheItems = 0;
};

struct StoreCacheClearResult
{
    quint32 removed = 0;
    quint32 failed = 0;
    // removed in the low 32 bits, failed in the high 32 bits.
    quint64 Packed() const { return (quint64(failed) << 32) | removed; }
};

struct RepairOnlyRebuildResult
{
    bool ok = false;
    QString error;
    int removed = 0;
};

namespace OrvelStartup
{

// Opens the service on the recorded version (or the latest) and decides the
// mode. The configuration writer rewrites the product configuration for a
// rebuild; settings give the application directory and the product record.
StartupInitializationResult Decide(OrvelFileService& service, LauncherSettings& settings, LauncherLog& log,
                                   RuntimeConfigWriter& configWriter, const QString& strConfigPath);

// Clears the store cache, writes the product configuration again and opens
// the service on the latest version.
RepairOnlyRebuildResult RebuildRepairOnly(OrvelFileService& service, LauncherSettings& settings,
                                          LauncherLog& log, RuntimeConfigWriter& configWriter,
                                          const QString& strConfigPath);

// Deletes everything below the store caches in strAppDir ("_cache/ofse", which
// the product configuration names, and "_cache/ifse"), deepest entries first,
// and the emptied directories themselves. Symbolic links are removed, never
// followed.
StoreCacheClearResult ClearStoreCache(const QString& strAppDir, LauncherLog& log);

} // namespace OrvelStartup
