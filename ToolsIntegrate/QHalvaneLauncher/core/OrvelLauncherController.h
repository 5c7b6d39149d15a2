// Turns the user's commands into tasks and finishes each one: at most one task
// runs at a time, on a worker moved to its own QThread; progress is polled
// every 300 ms; every end (done, stopped, failed, rolled back) leaves one clear
// status line and the buttons usable again, or answers ExitReady when the
// application is exiting. The window, orvelsync and the tests drive this same
// object; the user is asked only through IOrvelUserPrompt.
//
// Threads: every member runs on the thread that owns the controller (the main
// thread). Workers reach it only by queued signals and the task result
// snapshot. A new task never starts before the previous worker's thread has
// ended, also when that worker ignored a stop (the background-stop state).
//
// Ownership: the primary file service and the settings are borrowed and must
// outlive the controller; task services, workers and their threads are owned.
#pragma once

#include "OrvelPreloadItem.h"
#include "OrvelTransferProgress.h"
#include "workers/OrvelTaskResultSnapshot.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class IOrvelUserPrompt;
class LauncherSettings;
class OrvelFileService;
class OrvelOperationWorkerBase;
class QThread;

class OrvelLauncherController : public QObject
{
    Q_OBJECT

public:
    enum TaskKind : qint32
    {
        TaskNone = 0,
        TaskVersionCheck = 1,
        TaskDownload = 2,
        TaskRepair = 3,
        TaskVersionSwitch = 5,
        TaskRollback = 6,
        TaskSelfUpdate = 7,
        TaskPreload = 8,
    };

    static constexpr int kProgressPollMs = 300;
    static constexpr int kBoundedStopMs = 3000;

    // pSettings: the launcher settings (working path, records); not owned.
    explicit OrvelLauncherController(LauncherSettings* pSettings, QObject* pParent = nullptr);
    // Stops the running task and waits for its thread without limit.
    ~OrvelLauncherController() override;

    // Not owned; null means every question is answered with its default
    // button and no version is chosen.
    void SetUserPrompt(IOrvelUserPrompt* pPrompt) { m_pPrompt = pPrompt; }
    // A download limit for every task of this controller instead of the
    // settings' one (a headless run's option).
    void SetDownloadLimitOverride(quint64 uBytesPerSec);
    // Download the latest version in full whatever the record says.
    void SetForceFullDownload(bool bFull) { m_bForceFull = bFull; }

    // Commands (the window's buttons).
    void CheckForUpdates();
    void StartDownload();
    void StartRepair();
    void OpenVersionBrowse();
    // The version switch without the browse: to uVersion directly.
    void StartVersionSwitch(quint32 uVersion);
    void StartDirectoryReconcile();
    // At start-up: a record still marked means a task was cut off and the
    // working path is between two versions. Asks whether to finish it (its
    // target through the same kind of task) or to repair the recorded
    // version, and starts that. False, asking nothing, without a mark.
    bool OfferToFinishInterruptedTask();
    // A reconcile whose plan is only shown (a headless run without --yes):
    // its declined confirmation is the plan's end, not a cancel.
    void SetReconcilePlanOnly(bool bPlanOnly) { m_bReconcilePlanOnly = bPlanOnly; }
    void TogglePause();
    void StopCurrentTask();
    // Borrowed; the entry function owns it. A running task is stopped first.
    void SetFileService(OrvelFileService* pService);
    void SetRepairOnlyMode(bool bOn);
    void RefreshVersionState();
    // Limited mode: checks only the launcher's own files (blocks while it talks to the server).
    void RunLauncherOnlyUpdateCheck();
    // The self-update flow of an accepted offer: checks the launcher's files
    // again, refreshes the updater, packs the changed files (on a worker, so
    // a stop or an exit reaches it meanwhile) and hands over to the updater.
    void StartSelfUpdate();
    // How the program ends once the updater has really started; called on the
    // next event-loop turn. Default: QCoreApplication::quit.
    void SetQuitAction(std::function<void()> fnQuit) { m_fnQuit = std::move(fnQuit); }
    bool IsSelfUpdateInProgress() const { return m_bSelfUpdateInProgress; }
    // "QHalvaneLauncher_update.pkg" in the launcher's directory.
    static QString SelfUpdatePackagePath(const QString& strAppDir);

    // Release notes ("changelog.txt" of a version) through a notice service of
    // their own; each answers UpdateNoticeOverlayReady (blocks while it reads).
    // Open shows the user's current version; up and down step to the next
    // newer or older version while a notice is on show.
    void OpenUpdateNotice();
    void BrowseNoticeUp();
    void BrowseNoticeDown();

    // State, for the window and for headless callers.
    bool IsTaskActive() const { return m_bTaskActive; }
    // A task runs or a stopped one has not ended yet.
    bool IsBusy() const { return m_bTaskActive || m_bStoppingInBackground || !m_pThread.isNull(); }
    TaskKind CurrentTaskKind() const { return m_eKind; }
    bool IsRepairOnly() const { return m_bRepairOnly; }
    bool IsExiting() const { return m_bExiting; }
    bool IsStoppingInBackground() const { return m_bStoppingInBackground; }
    OrvelFileService* FileService() const { return m_pPrimary; }

signals:
    void StatusChanged(QString status);
    void ProgressChanged(quint32 current, quint32 total, QString detail);
    // The task's transfer by bytes, after ProgressChanged on each poll while
    // the worker counts one; a progress that is not Known() ends the display
    // by bytes (a new task, or one that moves none).
    void TransferProgressChanged(OrvelTransferProgress progress);
    void DownloadSpeedChanged(quint64 bytesPerSec);
    void PauseStateChanged(bool enabled, bool paused);
    void StopStateChanged(bool enabled);
    void WorkerActivityChanged(bool active);
    void LogMessage(QString message);
    void UiLogMessage(QString message);
    void ShowLogOverlay();
    void PreloadFinished(bool success);
    void CheckUpdateFinished(bool hasUpdate, quint32 serverVersion);
    // The check could not reach or read the store; CheckUpdateFinished follows.
    void CheckUpdateFailed(QString error);
    void DownloadFinished(bool success);
    void RepairFinished(bool success, int successCount, int failCount);
    void SelfUpdateReady(QString packagePath);
    void SelfUpdateConfirmationRequested(bool startupCheck);
    void ButtonStateChanged(bool checkEnabled, bool downloadEnabled, bool repairEnabled,
                            bool reconcileEnabled, bool switchVersionEnabled, bool settingsEnabled);
    void LaunchStateChanged(bool enabled);
    void ExitReady();
    void UpdateNoticeFetched(QString htmlContent);
    void SyncVersionChanged(quint32 version);
    void TitleVersionRefreshRequested(QString text);
    void UpdateNoticeOverlayReady(QString title, QString content, bool isCurrentUserVersion, bool canBrowseUp,
                                  bool canBrowseDown);
    // A switch's finishing step, like DownloadFinished for a download (false
    // when it failed or was stopped), for callers without a window.
    void VersionSwitchFinished(bool success);
    // The end of a launcher update offer, for callers without a window: true
    // when the launcher files are the newest already or the updater now runs
    // and the program is about to quit; false when it failed, was stopped or
    // was declined.
    void SelfUpdateFinished(bool success);
    // A directory reconcile's end (an OrvelReconcile::Status), for callers
    // without a window.
    void DirectoryReconcileFinished(qint32 status, qint32 reverted, qint32 deleted);
    // A download or switch that succeeded, before its finishing signal: the
    // files it removed because the version no longer holds them, and those it
    // kept because they were made or changed here (each named in the log).
    void StaleFilesHandled(int removedCount, int keptCount);

public slots:
    void RequestApplicationExit();
    void HandleSelfUpdateConfirmation(bool accepted);
    // The preload page's StartExecutionRequested. Every refusal answers
    // PreloadFinished(false), so the page never stays busy.
    void StartPreloadExecution(OrvelPreloadItemList tasks, QString preloadConfigPath,
                               QString productConfigPath);
    void OnCheckUpdateFinished(bool success, bool hasUpdate, quint32 serverVersion, QString errorMessage,
                               bool launcherCacheCleared, bool launcherCheckSuccess, bool hasLauncherUpdate,
                               QString launcherErrorMessage, QStringList launcherFiles,
                               bool serverUnreachable);
    void OnGetLastestFinished(bool success);
    void OnVersionSwitchFinished(bool success, int replacedCount, int skippedCount);
    void OnRepairFinished(bool success, int successCount, int failCount);
    void OnRollbackFinished(bool success, int rollbackSuccessCount, int rollbackFailCount);
    void OnFileFailed(QString filePath, QString error);
    void OnFileStopped(QString filePath);
    void OnWorkerWarning(QString message);
    void OnPreloadWorkerFinished(bool success);
    void OnWorkerThreadFinished();
    void PublishPolledProgress();

private:
    // What a version-changing task started from, to record or roll back to.
    struct TaskBaseline
    {
        bool bValid = false;
        quint32 uPrimaryVersion = 0;
        bool bHasRecord = false;
        quint32 uRecordedVersion = 0;
        QString strRecordedTag;
        // A task before this one was cut off and left the working path in between.
        bool bInterrupted = false;
    };

    bool CanStartTask() const;
    // Repair-only and service checks of the commands that need the product store.
    bool RequireStore(const QString& strRepairOnlyLog, const QString& strUnavailableLog);
    bool CheckWorkPathGuard(const QString& strStatus, const QString& strLogText);
    bool CheckActiveProcessGuard(const QString& strOperation);
    void CaptureBaseline();
    // After CaptureBaseline, before the first write: removes what a cut-off
    // task left behind and marks the record as in flux. False (logged) when
    // the mark cannot be written; the task must not start then.
    bool PrepareWorkingPathChange(OrvelFileService* pTarget, TaskKind eKind);
    // A task that ended without writing a file leaves the record as it found it.
    void DropPendingMark();

    // Creates the worker's thread; the caller then connects Finished and launches.
    void PrepareWorker(OrvelOperationWorkerBase* pWorker);
    void StartVersionCheck();
    // uCheckedVersion: the latest version a check has just found; 0 asks the server again.
    void ConfirmAndStartDownload(quint32 uCheckedVersion = 0);
    void StartDownloadTask(std::unique_ptr<OrvelFileService> pLatest);
    // True, having said why, when uLatest is older than the recorded version:
    // get-latest never moves the working path down.
    bool RefuseOlderLatest(quint32 uLatest);
    // bAsk: confirm with the user first.
    void StartRepairTask(bool bAsk);
    void StartRollback();
    // Common start: state, signals, thread; fnConnect connects the worker's Finished.
    void LaunchWorker(TaskKind eKind, OrvelOperationWorkerBase* pWorker, const QString& strStatus,
                      const QString& strLog);
    template <typename Worker, typename... Args>
    void ConnectFinished(Worker* pWorker, void (Worker::*pSignal)(Args...),
                         void (OrvelLauncherController::*pSlot)(Args...));

    void FinishCheck(bool bHasUpdate, quint32 uServerVersion, bool bLauncherCheckOk,
                     bool bLauncherUpdatePending, const QString& strLauncherError);
    void CompleteVersionChangingTask(bool bSuccess, int nFirstCount, int nSecondCount);
    // The log lines for the files the target version does not hold.
    void LogStaleFiles(const TaskResultData& result, bool bSuccess);
    // A worker reported its end: the task is no longer active, the stop
    // deadline is off and its last progress is shown. Its result.
    TaskResultData EndTaskAndReadResult();
    // Runs the weak-replacement retry; returns how many remain skipped.
    int RunWeakReplacementRetry(const std::vector<WeakReplacementFailure>& vecFailures);
    // The record says nothing false after a rollback that did not restore everything.
    void MarkRepairRequired(const QString& strReason);

    void OnSelfUpdatePrepared(bool success, bool stopped, int stage, QString error, QString detail,
                              quint32 version);
    void LaunchUpdater(const QString& strPackagePath);
    void EndSelfUpdate(bool bSuccess);

    void CancelWorker();
    // Stops the poll and waits for the worker's thread (kBoundedStopMs when
    // bounded, else without limit). True when it ended and the task state is
    // cleaned; false when the controller entered the background-stop state.
    bool StopAndCleanup(bool bBounded);
    void CleanupTaskState();
    void EnterBackgroundStop();
    // fnAfter runs once the worker's thread has ended: now, or when it ends.
    void RunAfterCleanup(std::function<void()> fnAfter);
    void FinishIdleOrExit();
    void ApplyIdleButtonState();
    void OnStopDeadline();

    void ShowNotice(quint32 uVersion);
    // A service bound to uVersion reports exactly that version with readable
    // package information.
    bool NoticeVersionReadable(quint32 uVersion);
    void ResetNoticeState();

    void Status(const QString& strText) { emit StatusChanged(strText); }
    void Log(const QString& strText) { emit LogMessage(strText); }
    void LogBoth(const QString& strText);
    OrvelFileService* ActiveService() const;
    // Logs what the process fetched since the task started.
    void LogTaskFetched();
    // The worker's transfer, with the speed the window shows.
    void PublishTransferProgress();
    QString WorkPath() const;

    LauncherSettings* m_pSettings;
    IOrvelUserPrompt* m_pPrompt = nullptr;
    OrvelFileService* m_pPrimary = nullptr;
    std::unique_ptr<OrvelFileService> m_pTaskService;
    // Owned; deleted on this thread only after its thread has ended, so the
    // progress poll never reads a worker that is being destroyed.
    OrvelOperationWorkerBase* m_pWorker = nullptr;
    QPointer<QThread> m_pThread;
    quint64 m_uTaskGeneration = 0;
    // What the process had fetched when the task started.
    quint64 m_uFetchedBytesAtStart = 0;
    quint64 m_uFetchedRequestsAtStart = 0;

    TaskKind m_eKind = TaskNone;
    bool m_bTaskActive = false;
    bool m_bPaused = false;
    bool m_bStopRequested = false;
    bool m_bStoppingInBackground = false;
    bool m_bExiting = false;
    bool m_bRepairOnly = false;
    bool m_bServerVersionKnown = false;
    bool m_bDownloadAfterCheck = false;
    bool m_bSelfUpdateInProgress = false;
    bool m_bLauncherUpdatePending = false;
    bool m_bForceFull = false;
    bool m_bHasLimitOverride = false;
    quint64 m_uLimitOverride = 0;

    int m_nConfirmationContext = 0;
    bool m_bSavedHasUpdate = false;
    quint32 m_uSavedServerVersion = 0;
    bool m_bSavedStartupCheck = false;
    bool m_bSavedLauncherCheckOk = false;
    QString m_strSavedLauncherError;
    quint32 m_uLastServerVersion = 0;

    TaskBaseline m_baseline;
    quint32 m_uTaskTargetVersion = 0;
    // The target version's tag, read before the task writes anything.
    QString m_strTaskTag;
    QStringList m_vecRollbackFiles;
    QStringList m_vecRollbackCreated;
    TaskResultSnapshot m_snapshot;
    QStringList m_vecLauncherFiles;

    QTimer m_progressTimer;
    QTimer m_stopDeadline;
    QElapsedTimer m_elapsed;
    std::function<void()> m_fnAfterThread;
    std::function<void()> m_fnQuit;
    // A reconcile runs on this thread between modal questions: no task may
    // start from a nested event loop meanwhile.
    bool m_bReconcileRunning = false;
    bool m_bReconcilePlanOnly = false;

    std::unique_ptr<OrvelFileService> m_pNoticeService;
    quint32 m_uNoticeVersion = 0;
    bool m_bNoticeBrowsing = false;
};
