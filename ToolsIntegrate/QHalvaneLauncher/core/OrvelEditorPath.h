// Where the editor is started from: its program under the working path. A
// program that is, or lies below, a link leading out of the working path is
// refused: the launcher starts only what the working path itself holds.
#pragma once

#include <QString>

struct OrvelEditorProgram
{
    bool ok = false;
    // The program to start: the resolved path inside the working path, or
    // the plain joined path when it does not exist (starting it then fails).
    QString strProgram;
    QString strError;
};

namespace OrvelEditorPath
{

// The editor's path joined to strWorkPath, without resolving anything.
QString JoinedProgramPath(const QString& strWorkPath);

OrvelEditorProgram Resolve(const QString& strWorkPath);

// The store keeps no file modes: a program the launcher wrote into the
// working path is given the execute bits it needs before it is started.
// False when they were missing and could not be set.
bool EnsureExecutable(const QString& strProgram);

// Why the editor cannot be launched from strWorkPath: empty when its program
// is there; a text for a tooltip otherwise.
QString MissingReason(const QString& strWorkPath);

// Why strProgram (from Resolve) cannot be started in strWorkPath: the working
// path cannot be entered, the program is missing or cannot be made
// executable. Empty when nothing stands in the way. Sets missing execute bits.
QString StartBlocker(const QString& strWorkPath, const QString& strProgram);

} // namespace OrvelEditorPath
