// The launcher's only door to the store library: one service wraps one reader
// and turns each reader call into a result with a readable error text. Every
// operation keeps its failure text as the service's last error and never throws.
//
// Threads: store queries and downloads run on the calling thread; the transfer
// controls (SetDownloadLimit, DownloadSpeed, Pause, Resume, AbortDownloads) and
// LastError may be called from any thread while a worker downloads. Initialize,
// Rebind and destruction must not overlap other calls on the same service.
// Destroying a service releases its reader; the library stays loaded.
#pragma once

#include "OrvelCorvaneBinding.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <mutex>

#include <atomic>
#include <cstdint>
#include <memory>

class QThread;
class LauncherSettings;
class OrvelWriteBatch;

namespace NSCorvane
{
class IFile;
class IPemCorvaneReader;
class IStringList;
} // namespace NSCorvane

struct FileServiceStatus
{
    bool ok = false;
    QString error;
    // The failure was the working path's (directory, temporary file, write,
    // rename), not the store's: the only kind a task may put off and retry.
    bool localFailure = false;
};

// Hashes: value is the store's 60-bit content hash.
struct FileServiceValue
{
    bool ok = false;
    quint64 value = 0;
    QString error;
};

struct FileCompareResult
{
    bool ok = false;
    bool same = false;
    QString error;
    bool localFailure = false; // reading the local file failed, not the store
};

struct PakInfoResult
{
    enum Status : qint32
    {
        StatusOk = 0,
        StatusCacheRepair = 1,
        StatusMetadataMissing = 2,
        StatusFailed = 3,
    };
    qint32 status = StatusFailed;
    QString releaseText;
    QString tag; // the version's release guid
    QString error;
};

struct LauncherCheckResult
{
    bool success = false;
    bool hasUpdate = false;
    bool cacheCleared = false;
    QString error;
    QStringList changedFiles; // store paths, in list order
};

struct LauncherCacheSyncResult
{
    bool ok = false;
    bool cacheCleared = false;
    QString tag;
    quint32 version = 0;
    QString error;
};

struct LauncherCompareResult
{
    bool ok = false;
    bool hasDifferences = false;
    QString error;
    QStringList changedFiles;
};

// The self-update package: the version its files were taken from.
struct SelfUpdatePackageResult
{
    bool ok = false;
    bool stopped = false; // the cancel flag was seen; nothing was written
    QString error;
    QString detail; // the package builder's own reason, for the log
    quint32 version = 0;
};

class OrvelFileService : public QObject
{
    Q_OBJECT

public:
    static constexpr quint32 kLatestVersion = 0xFFFFFFFFu;
    // Files at or above this size are neither hashed nor copied whole.
    static constexpr qint64 kWholeFileLimit = qint64(1) << 31;

    explicit OrvelFileService(QObject* pParent = nullptr);
    ~OrvelFileService() override;

    // Binds the library (once per process, from the program's own directory),
    // initialises the manager once per process and opens a reader of the store
    // that the configuration file describes. kLatestVersion = newest version.
    bool Initialize(const QString& strConfigPath, quint32 uVersion);
    bool IsReady() const;
    // Releases the reader (its open files with it); operations fail until the
    // next Initialize.
    void Close();
    QString LastError() const;
    // The reader's version; 0 without a reader.
    quint32 CurrentVersion();
    // For the settings: whether the bound version was checked against a
    // signed manifest and by which key; empty without a reader
    // (OrvelFileServiceTrust.cpp).
    QString StoreTrustText();
    QString ConfigPath() const { return m_strConfigPath; }

    // A new service without parent on the same configuration, pinned to
    // uVersion; null with *pstrError filled on failure. The caller owns it.
    std::unique_ptr<OrvelFileService> CreateVersionBoundService(quint32 uVersion, QString* pstrError);
    // The same for reading only uVersion's lists (its changed files, its file
    // list): one round trip less than a bound service, which reads the
    // version's index first. A missing version fails when a list is read.
    std::unique_ptr<OrvelFileService> CreateVersionListService(quint32 uVersion, QString* pstrError);
    // Opens this service again on another version with its stored configuration.
    bool Rebind(quint32 uVersion);

    // Store queries. Store paths may be given in any letter case and with "\"
    // separators; they are normalised before the reader sees them.
    PakInfoResult ReadPakInfo();
    bool RemoteFileExists(const QString& strStorePath);
    // Shared handle: the library's file is released when the last holder drops it.
    std::shared_ptr<NSCorvane::IFile> OpenRemoteFile(const QString& strStorePath);
    bool ReadRemoteText(const QString& strStorePath, QString* pstrText, QString* pstrError = nullptr);
    bool ReadRemoteBytes(const QString& strStorePath, QByteArray* pData, QString* pstrError = nullptr);
    FileServiceValue RemoteFileHash(const QString& strStorePath);
    // The file's size from the version's index; nothing is fetched.
    FileServiceValue RemoteFileSize(const QString& strStorePath);
    FileServiceValue HashBytes(const QByteArray& data);
    // Fails with "File too large for hashing: %1" at kWholeFileLimit and above.
    FileServiceValue HashLocalFile(const QString& strLocalPath);
    // A missing local file or one that is not a regular file is "not same".
    FileCompareResult CompareLocalFile(const QString& strStorePath, const QString& strLocalPath);

    QStringList ListAllFiles();
    QStringList ListFiles(const QString& strDir, bool bRecursive);
    QStringList ListDataFiles();
    QStringList ListPatchFiles();
    QStringList ListPatchDataFiles();
    // The same lists without the launcher's own directory.
    QStringList ListAllFilesFiltered();
    QStringList ListPatchFilesFiltered();
    // The same, telling a list that cannot be read (false, *pstrError says
    // why) from an empty one.
    bool ListAllFilesFiltered(QStringList* pvecOut, QString* pstrError);
    bool ListPatchFilesFiltered(QStringList* pvecOut, QString* pstrError);

    FileServiceStatus DownloadDataListEntry(const QString& strDataPath);
    FileServiceStatus SyncPatchData();

    // Writes the store file to strLocalPath: only after its content hash equals
    // the store's, through a temporary file in the target's directory and a
    // rename, also when the target is new. A store path that is absolute, has a
    // drive or a ".." component is refused. With strContainRoot (the working
    // path) the target must lie below it and no directory between the root and
    // the target may be a symbolic link; a symbolic link at the target itself
    // is replaced, never written through. With pBatch the new file and its
    // directory are recorded there and flushed later in one pass; without it
    // each file is flushed on its own. pbCancel and pThread may be null.
    FileServiceStatus DownloadToLocalFile(const QString& strStorePath, const QString& strLocalPath,
                                          const std::atomic_bool* pbCancel, QThread* pThread,
                                          const QString& strContainRoot = QString(),
                                          OrvelWriteBatch* pBatch = nullptr);

    // Transfer control, any thread.
    bool SetDownloadLimit(quint64 uBytesPerSec);
    quint64 DownloadSpeed();
    void Pause();
    void Resume();
    bool IsPaused() const;
    bool AbortDownloads();
    // Bytes received and requests made by every reader of every service of
    // this process so far, the released ones included. Any thread.
    struct FetchTotals
    {
        quint64 uBytes = 0;
        quint64 uRequests = 0;
    };
    static FetchTotals FetchedByProcess();
    // Releases a reader made outside any service, its fetches counted.
    static void ReleaseCounted(NSCorvane::IPemCorvaneReader* pReader);

    // The fetch plan of this service's reader (one at a time; a new one
    // replaces the last). PlanFetch hands the store paths, in the order the
    // task will open them, to the library, which fetches them ahead of the
    // opens; bWholePackages: the paths are data packages. False, with nothing
    // planned, when the library has no plan entry points or refuses: opens
    // then fetch one by one as without a plan. The calling thread.
    bool PlanFetch(const QStringList& vecStorePaths, bool bWholePackages);
    struct FetchPlanProgress
    {
        quint64 uBytesPlanned = 0;
        quint64 uBytesDone = 0;
        quint64 uFilesPlanned = 0;
        quint64 uFilesReady = 0;
        quint64 uBytesPerSecond = 0;
    };
    // All zero (false) without a plan. Any thread, while the reader lives.
    bool FetchProgress(FetchPlanProgress* pProgress) const;
    // The next planned path (its index in PlanFetch's list) whose bytes came,
    // waiting up to nWaitMs: 1 with *pnIndex set, 0 when none came in the
    // wait, 2 when no more will (or the library cannot tell). Any thread.
    int NextFetchArrival(int* pnIndex, int nWaitMs) const;
    // Stops the plan's transfers and drops what it fetched and nobody opened.
    void EndFetch();

    // Launcher self-update side. strAppDir: the directory of the launcher's files.
    static std::unique_ptr<OrvelFileService> CreateLauncherService(const QString& strAppDir,
                                                                   QString* pstrError);
    // Empties and recreates "_cache/ifslauncher" when the launcher record no
    // longer matches pService's tag and version; does not write the record.
    static LauncherCacheSyncResult SyncLauncherCacheState(OrvelFileService* pService,
                                                          LauncherSettings& settings);
    // The updater is never reported as changed.
    LauncherCompareResult CompareLauncherFiles(const QStringList& vecStorePaths, const QString& strAppDir);
    static LauncherCheckResult CheckLauncherUpdate(const QString& strAppDir, LauncherSettings& settings);
    // Replaces the updater beside the launcher with the store's, whole and
    // only when its content hash equals the store's. *pstrTarget: its path.
    static FileServiceStatus PrepareUpdater(const QString& strAppDir, QString* pstrTarget = nullptr);
    // Packs the launcher files named by vecStorePaths (the updater never) into
    // strPackagePath, each checked against the store's content hash first.
    // The content version is the store's, or uFallbackVersion when it has none.
    // pbCancel (may be null) is looked at before each file.
    static SelfUpdatePackageResult BuildSelfUpdatePackage(const QString& strAppDir,
                                                          const QStringList& vecStorePaths,
                                                          const QString& strPackagePath,
                                                          quint32 uFallbackVersion,
                                                          const std::atomic_bool* pbCancel = nullptr);

private:
    bool OpenReader(const QString& strConfigPath, quint32 uVersion, bool bListsOnly);
    std::unique_ptr<OrvelFileService> CreateService(quint32 uVersion, bool bListsOnly, QString* pstrError);
    void ReleaseReader();
    bool RequireReader(QString* pstrError);
    FileServiceStatus Fail(const QString& strError);
    FileServiceStatus FailLocal(const QString& strError);
    // DownloadFile's write of a file that comes without a buffer, piece by piece.
    FileServiceStatus WriteStreamed(NSCorvane::IFile* pFile, const QString& strStorePath,
                                    const QString& strTarget, const std::atomic_bool* pbCancel,
                                    QThread* pThread, OrvelWriteBatch* pBatch);
    bool ReadListChecked(NSCorvane::IStringList* pList, const QString& strWhat, QStringList* pvecOut,
                         QString* pstrError);
    void SetLastError(const QString& strError);
    QStringList ReadList(NSCorvane::IStringList* pList);

    static FetchTotals ReaderFetched(NSCorvane::IPemCorvaneReader* pReader);
    // The library's kept failure line, read (and so cleared); empty when none.
    static QString LibraryFailureText(const OrvelCorvaneBinding::EntryPoints& entry);

    // Written under the process-wide fetch lock, so the totals can read it.
    NSCorvane::IPemCorvaneReader* m_pReader = nullptr;
    QString m_strConfigPath;
    quint32 m_uVersion = kLatestVersion;
    std::atomic_bool m_bPaused{false};
    // One plan control at a time: the worker ends or replaces its plan while
    // the controller may cancel it, and the library's plan is stopped by one
    // caller at a time.
    std::mutex m_fetchControlMutex;
    mutable std::mutex m_errorMutex;
    QString m_strLastError;
};
