// Which editor tools installed under the working path are running: a task
// that rewrites the working path must not start under a running tool, whose
// files it would replace. A process counts only when its executable is the
// tool's file at the tool's path under this working path; the same program
// started from anywhere else does not.
#pragma once

#include <QString>
#include <QStringList>

struct OrvelToolRow
{
    const char* pszFileName;     // without the platform's executable suffix
    const char* pszRelativePath; // store form, below the working path
};

// The eight tools the check looks for; the first is the editor.
const OrvelToolRow* OrvelToolTable(int* pnCount);

struct OrvelActiveProcessResult
{
    // One line per process found: "<path> (PID <pid>)".
    QStringList vecProcesses;
    // Problems reading the process table; they never block a task.
    QStringList vecWarnings;
};

// Thread-safe; reads the process table once.
OrvelActiveProcessResult FindActiveToolProcesses(const QString& strWorkPath);
