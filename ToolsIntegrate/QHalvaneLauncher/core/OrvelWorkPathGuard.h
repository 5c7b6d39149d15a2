// The check every task that writes the working path makes before it starts:
// set, a directory (created when missing), writable.
#pragma once

#include <QString>

// True when strWorkPath can be written; otherwise *pstrReason holds the user's
// text ("Working path is empty", "Working path is not a directory: %1",
// "Failed to create working path: %1", "Working path is not writable: %1").
bool OrvelCheckWorkPath(const QString& strWorkPath, QString* pstrReason);
