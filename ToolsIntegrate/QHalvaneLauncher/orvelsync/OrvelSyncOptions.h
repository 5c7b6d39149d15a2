// The command line of orvelsync: one command and the options that say which
// installation, working path and store it works on.
#pragma once

#include <QString>
#include <QStringList>

struct OrvelSyncOptions
{
    enum Command
    {
        CommandStatus,
        CommandVersions,
        CommandCheck,
        CommandGetLatest,
        CommandRepair,
        CommandSwitch,
        CommandSelfUpdate,
        CommandReconcile,
    };

    Command eCommand = CommandStatus;
    QString strAppDir;   // empty: the program's own directory
    QString strWorkPath; // empty: the one in launcher.ini
    QString strConfigPath;
    // --server, in order: the first is asked first (a studio's mirror), the
    // others when it fails.
    QStringList vecServerUrls;
    // --trust FILE (repeatable): public key lines written into the
    // configuration --server writes.
    QStringList vecTrustKeys;
    bool bHasLimit = false;
    quint64 uLimit = 0;
    quint32 uSwitchVersion = 0;
    bool bFull = false;
    bool bQuiet = false;
    bool bYes = false;
    int nRetryWeak = 0;
    QStringList vecReconcileDirs; // as typed: relative to the working path, or inside it
    bool bDryRun = false;
};

// Exit codes, also named in the help text.
enum OrvelSyncExit
{
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitStopped = 3,
    // check: the store publishes a newer version than the recorded one.
    kExitUpdateAvailable = 4,
};

enum class OrvelSyncParse
{
    Run,
    Help,
    Error,
};

// vecArgs includes the program name. On Error *pstrError says why.
OrvelSyncParse ParseOrvelSyncOptions(const QStringList& vecArgs, OrvelSyncOptions* pOptions,
                                     QString* pstrError);
QString OrvelSyncHelpText();
