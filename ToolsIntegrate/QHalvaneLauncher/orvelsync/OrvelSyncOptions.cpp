#include "OrvelSyncOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QUrl>

namespace
{
const char kHelp[] = R"(Usage: orvelsync COMMAND [ARGUMENT] [OPTIONS]

Keeps a working path in step with the tool-suite store, headless: the same
start-up decision, workers, records and log as the launcher, for publishers,
CI and scripted installs.

Commands:
  status            Run the start-up decision and print the installation's
                    state: working path, recorded version and tag, the store's
                    latest version, and the mode (normal, repair-only, limited).
  versions          List the versions the server offers, newest first; the
                    current one is marked with "*".
  check             Ask the server whether a newer resource version (or a newer
                    launcher) is published. Changes nothing in the working path.
  get-latest        Check, then (once confirmed) bring the working path to the
                    latest version: incremental over at most 20 versions from
                    the recorded one, otherwise full. Files of the recorded
                    version that the latest no longer holds are removed unless
                    they were made or changed here (those stay and are named in
                    the log). Writes the product record when done.
  repair            Compare every file of the current version with the working
                    path and rewrite the ones that differ. Allowed (and needed)
                    in repair-only mode; leaves that mode when it succeeds.
  switch VERSION    Move the working path to VERSION (older or newer); files
                    that VERSION lacks are removed unless they were made or
                    changed here (those stay and are named in the log). A
                    switch that fails or is stopped is rolled back to where the
                    working path was, removed files included.
  self-update       Replace the installation's own files (launcher, library,
                    data) with those the store publishes under
                    EditorTool/QHalvaneLauncher: refresh the updater from the
                    store, pack the changed files, start the updater and end,
                    so that it can replace them and start the launcher again.
                    In limited mode (the store's resources unusable) the
                    launcher's files are still checked and offered. Running
                    the command is the consent; --yes is not needed.
  reconcile DIR...  Put the directories DIR (relative to the working path; "."
                    for all of it) back to exactly what the server publishes for
                    the current version: print the plan (files to revert and
                    local files to delete, with sizes), and apply it only with
                    --yes. Links are never entered; a file that changes after
                    the scan is left alone and named.

get-latest, repair and switch run through the launcher's controller: the same
guards (working path, running tools), questions, records, rollback and retry
of files that could not be replaced (a running tool holds them).

Options:
  --app-dir DIR     The installation whose launcher.ini, _cache and _logs are
                    used, as the launcher uses its own directory (default: the
                    directory of this program). Created when missing.
  --work-path DIR   Store DIR as the working path in that launcher.ini, as the
                    settings dialog would, before running the command.
  --config FILE     The store configuration (JSON) to read through.
  --server URL      Write the installation's store configuration
                    (_cache/config_ofse.cfg) for this http(s) base URL and use it.
                    Repeat it to list several sources in order, a studio's
                    mirror first: a source that fails is passed over for the
                    rest of the task and tried again at the next one.
                    Without --config or --server the configuration already in
                    _cache is used, or the built-in one is written.
  --trust FILE      With --server: trust the public key in FILE (from
                    corvane keygen; repeatable, for key rotation). The store
                    must then be signed by one of these keys: unsigned,
                    foreign-signed, expired or altered versions are refused.
  --limit BYTES     Download limit in bytes per second for this run (0: none);
                    launcher.ini's own limit is left as it is.
  --full            get-latest: compare and fetch the whole version even when an
                    incremental update is possible.
  --yes             Answer every question with its affirmative button. Without
                    it a terminal is asked; a script gets each question's
                    default answer (which for a repair is No).
  --retry-weak N    Retry files that could not be replaced up to N times at the
                    end (default 0); the ones left are listed with their reasons.
  --dry-run         reconcile: print the plan only (also the default without --yes).
  --quiet           No progress or status lines.
  -h, --help        This text.

Progress goes to standard error, one line per 300 ms, as the launcher's status
line reads it (by bytes where the task fetches files); results go to standard
output. Ctrl+C stops the running task cleanly (as the Stop button does); a
second Ctrl+C ends the program at once.

Exit codes: 0 success, 1 failure, 2 usage error, 3 stopped by the user,
4 (check only) a newer version is published.
)";

bool ParseCommand(const QString& strName, OrvelSyncOptions::Command* peCommand)
{
    if (strName == QLatin1String("status"))
        *peCommand = OrvelSyncOptions::CommandStatus;
    else if (strName == QLatin1String("check"))
        *peCommand = OrvelSyncOptions::CommandCheck;
    else if (strName == QLatin1String("get-latest"))
        *peCommand = OrvelSyncOptions::CommandGetLatest;
    else if (strName == QLatin1String("repair"))
        *peCommand = OrvelSyncOptions::CommandRepair;
    else if (strName == QLatin1String("versions"))
        *peCommand = OrvelSyncOptions::CommandVersions;
    else if (strName == QLatin1String("switch"))
        *peCommand = OrvelSyncOptions::CommandSwitch;
    else if (strName == QLatin1String("self-update"))
        *peCommand = OrvelSyncOptions::CommandSelfUpdate;
    else if (strName == QLatin1String("reconcile"))
        *peCommand = OrvelSyncOptions::CommandReconcile;
    else
        return false;
    return true;
}
} // namespace

QString OrvelSyncHelpText()
{
    return QString::fromUtf8(kHelp);
}

OrvelSyncParse ParseOrvelSyncOptions(const QStringList& vecArgs, OrvelSyncOptions* pOptions,
                                     QString* pstrError)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption appDir(QStringLiteral("app-dir"), QString(), QStringLiteral("dir"));
    const QCommandLineOption workPath(QStringLiteral("work-path"), QString(), QStringLiteral("dir"));
    const QCommandLineOption config(QStringLiteral("config"), QString(), QStringLiteral("file"));
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("url"));
    const QCommandLineOption limit(QStringLiteral("limit"), QString(), QStringLiteral("bytes"));
    const QCommandLineOption full(QStringLiteral("full"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption retryWeak(QStringLiteral("retry-weak"), QString(), QStringLiteral("n"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption trust(QStringLiteral("trust"), QString(), QStringLiteral("file"));
    parser.addOptions(
        {help, appDir, workPath, config, server, limit, full, quiet, yes, retryWeak, dryRun, trust});
    if (!parser.parse(vecArgs))
    {
        *pstrError = parser.errorText();
        return OrvelSyncParse::Error;
    }
    if (parser.isSet(help))
        return OrvelSyncParse::Help;

    const QStringList vecPositional = parser.positionalArguments();
    if (vecPositional.isEmpty())
    {
        *pstrError = QStringLiteral("No command given.");
        return OrvelSyncParse::Error;
    }
    if (!ParseCommand(vecPositional.first(), &pOptions->eCommand))
    {
        *pstrError = QStringLiteral("Unknown command: %1").arg(vecPositional.first());
        return OrvelSyncParse::Error;
    }
    if (pOptions->eCommand == OrvelSyncOptions::CommandReconcile)
    {
        if (vecPositional.size() < 2)
        {
            *pstrError = QStringLiteral("reconcile needs at least one directory.");
            return OrvelSyncParse::Error;
        }
        pOptions->vecReconcileDirs = vecPositional.mid(1);
        if (parser.isSet(dryRun) && parser.isSet(yes))
        {
            *pstrError = QStringLiteral("--dry-run and --yes exclude each other.");
            return OrvelSyncParse::Error;
        }
        pOptions->bDryRun = parser.isSet(dryRun);
    }
    else if (parser.isSet(dryRun))
    {
        *pstrError = QStringLiteral("--dry-run applies to reconcile only.");
        return OrvelSyncParse::Error;
    }
    const int nArguments = pOptions->eCommand == OrvelSyncOptions::CommandSwitch      ? 2
                           : pOptions->eCommand == OrvelSyncOptions::CommandReconcile ? vecPositional.size()
                                                                                      : 1;
    if (vecPositional.size() < nArguments)
    {
        *pstrError = QStringLiteral("switch needs the version to switch to.");
        return OrvelSyncParse::Error;
    }
    if (vecPositional.size() > nArguments)
    {
        *pstrError = QStringLiteral("Unexpected argument: %1").arg(vecPositional.at(nArguments));
        return OrvelSyncParse::Error;
    }
    if (pOptions->eCommand == OrvelSyncOptions::CommandSwitch)
    {
        bool bOk = false;
        pOptions->uSwitchVersion = vecPositional.at(1).toUInt(&bOk);
        if (!bOk || pOptions->uSwitchVersion == 0xFFFFFFFFu)
        {
            *pstrError = QStringLiteral("Not a version number: %1").arg(vecPositional.at(1));
            return OrvelSyncParse::Error;
        }
    }
    if (parser.isSet(retryWeak))
    {
        bool bOk = false;
        pOptions->nRetryWeak = parser.value(retryWeak).toInt(&bOk);
        if (!bOk || pOptions->nRetryWeak < 0 || pOptions->nRetryWeak > 100)
        {
            *pstrError =
                QStringLiteral("--retry-weak needs a count from 0 to 100: %1").arg(parser.value(retryWeak));
            return OrvelSyncParse::Error;
        }
    }
    if (parser.isSet(config) && parser.isSet(server))
    {
        *pstrError = QStringLiteral("--config and --server exclude each other.");
        return OrvelSyncParse::Error;
    }
    if (parser.isSet(full) && pOptions->eCommand != OrvelSyncOptions::CommandGetLatest)
    {
        *pstrError = QStringLiteral("--full applies to get-latest only.");
        return OrvelSyncParse::Error;
    }
    if (parser.isSet(limit))
    {
        bool bOk = false;
        pOptions->uLimit = parser.value(limit).toULongLong(&bOk);
        if (!bOk)
        {
            *pstrError =
                QStringLiteral("--limit needs a number of bytes per second: %1").arg(parser.value(limit));
            return OrvelSyncParse::Error;
        }
        pOptions->bHasLimit = true;
    }
    for (const QString& strServer : parser.values(server))
    {
        const QUrl url(strServer, QUrl::StrictMode);
        const QString strScheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() ||
            (strScheme != QLatin1String("http") && strScheme != QLatin1String("https")))
        {
            *pstrError = QStringLiteral("--server needs an http or https URL: %1").arg(strServer);
            return OrvelSyncParse::Error;
        }
    }
    pOptions->strAppDir = parser.value(appDir);
    pOptions->strWorkPath = parser.value(workPath);
    pOptions->strConfigPath = parser.value(config);
    pOptions->vecServerUrls = parser.values(server);
    if (parser.isSet(trust) && !parser.isSet(server))
    {
        *pstrError =
            QStringLiteral("--trust needs --server: it goes into the configuration --server writes.");
        return OrvelSyncParse::Error;
    }
    for (const QString& strFile : parser.values(trust))
    {
        QFile file(strFile);
        const QString strKey =
            file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readLine(4096)).trimmed() : QString();
        if (!strKey.startsWith(QLatin1String("ed25519 ")))
        {
            *pstrError = QStringLiteral("--trust: no public key in %1").arg(strFile);
            return OrvelSyncParse::Error;
        }
        pOptions->vecTrustKeys.append(strKey);
    }
    pOptions->bFull = parser.isSet(full);
    pOptions->bQuiet = parser.isSet(quiet);
    pOptions->bYes = parser.isSet(yes);
    if ((parser.isSet(appDir) && pOptions->strAppDir.trimmed().isEmpty()) ||
        (parser.isSet(workPath) && pOptions->strWorkPath.trimmed().isEmpty()) ||
        (parser.isSet(config) && pOptions->strConfigPath.trimmed().isEmpty()))
    {
        *pstrError = QStringLiteral("An option was given an empty value.");
        return OrvelSyncParse::Error;
    }
    return OrvelSyncParse::Run;
}
