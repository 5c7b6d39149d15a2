// One orvelsync run: prepares the installation as the launcher's start-up does
// (settings, log, runtime configuration, library binding, start-up decision),
// then runs one command through the same workers and writes the same records.
#pragma once

#include "OrvelStartup.h"
#include "OrvelSyncOptions.h"

#include <QString>

#include <memory>

class LauncherLog;
class LauncherSettings;
class OrvelFileService;
class RuntimeConfigWriter;
struct OrvelTransferProgress;

class OrvelSyncSession
{
public:
    explicit OrvelSyncSession(const OrvelSyncOptions& options);
    ~OrvelSyncSession();

    // Returns the process exit code (OrvelSyncExit).
    int Run();

private:
    int Prepare();
    int Status();
    int Versions();
    // check, get-latest, repair and switch: the launcher's controller with its
    // guards, questions, records, rollback and retry of deferred files.
    int RunThroughController();
    // The directories of "reconcile DIR...", relative to the working path;
    // false (said why) for one outside it.
    bool ReconcileDirectories(QStringList* pvecDirs);

    void Log(const QString& strLine);
    // One progress line on standard error, by bytes where transfer is Known().
    void Progress(quint32 uCurrent, quint32 uTotal, const QString& strDetail, quint64 uSpeed,
                  const OrvelTransferProgress& transfer);
    // As the launcher's speed label shows it: "Speed: 1.5 MB/s".
    static QString SpeedText(quint64 uBytesPerSec);
    // Results on standard output; the status line and log panel on standard
    // error; problems of orvelsync itself on standard error, named as such.
    void Say(const QString& strLine);
    void Note(const QString& strLine);
    void Complain(const QString& strLine);

    OrvelSyncOptions m_options;
    QString m_strAppDir;
    QString m_strConfigPath;
    std::unique_ptr<LauncherLog> m_pLog;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<RuntimeConfigWriter> m_pConfigWriter;
    std::unique_ptr<OrvelFileService> m_pPrimary;
    StartupInitializationResult m_startup;
    QString m_strLastProgress;
};
