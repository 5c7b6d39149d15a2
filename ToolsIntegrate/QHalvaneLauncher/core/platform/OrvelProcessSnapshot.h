// The running processes as the active-process check needs them: a snapshot of
// ids and executable file names, and the full image path of one process.
#pragma once

#include <QString>
#include <Qt>

#include <vector>

namespace OrvelPlatform
{

struct ProcessEntry
{
    quint32 uPid = 0;
    QString strExecutableName; // file name only, as the system reports it
};

// False with *pstrError when the process table cannot be read. Entries that
// vanish while the snapshot is taken are left out. Thread-safe.
bool SnapshotProcesses(std::vector<ProcessEntry>* pvecOut, QString* pstrError);

// The absolute path of the process's executable; false with *pstrError when it
// cannot be queried (ended, or not ours to look at).
bool ProcessImagePath(quint32 uPid, QString* pstrPath, QString* pstrError);

// What the platform appends to a program's file name ("" or ".exe").
QString ExecutableSuffix();

// How file names compare on this platform's usual file systems.
Qt::CaseSensitivity FileNameCaseSensitivity();

} // namespace OrvelPlatform
