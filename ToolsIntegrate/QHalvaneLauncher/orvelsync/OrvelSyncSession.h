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
    int Check();
    int GetLatest();
    int Repair();

    // False (with the message printed and logged) unless the store can be used
    // for a command that is not allowed in repair-only mode when bRepair is false.
    bool RequireStore(const QString& strRepairOnlyText, const QString& strUnavailableText);
    bool RequireWorkPath(const QString& strBlockedText);
    // The release guid of the version a task service is bound to, for the record.
    QString ReadSyncTag(OrvelFileService& service, const QString& strFailureText);
    void Log(const QString& strLine);
    void Say(const QString& strLine);
    void Complain(const QString& strLine);

    OrvelSyncOptions m_options;
    QString m_strAppDir;
    QString m_strConfigPath;
    std::unique_ptr<LauncherLog> m_pLog;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<RuntimeConfigWriter> m_pConfigWriter;
    std::unique_ptr<OrvelFileService> m_pPrimary;
    StartupInitializationResult m_startup;
};
