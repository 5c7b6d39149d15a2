// The updater's work after the command line is parsed: wait for the launcher,
// validate the package, back up and replace, roll back, restart the launcher.
// Runs on the main thread and returns the event loop's exit code.
#pragma once

#include <QString>

struct OrvelUpdaterOptions
{
    QString strPackagePath;
    QString strTargetDir;
    bool bHasPid = false;
    quint32 uPid = 0;
    qint32 nTimeoutMs = 30000;
};

int RunOrvelUpdater(const OrvelUpdaterOptions& options);
