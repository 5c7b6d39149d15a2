// SPDX-License-Identifier: MIT
// Runs build/bin/corvane as a child process and captures what it printed.
#pragma once

#include <string>
#include <vector>

struct ToolRun
{
    int nExit = -1; // exit status, or -1 when the process did not exit normally
    std::string strOut;
    std::string strErr;
};

// Runs corvane with vecArgs in the working directory strCwd. Output goes
// through files, so large output cannot block the child. XDG_STATE_HOME is
// strStateHome, or else a directory of this test process, so that no test
// writes to the user's own state directory.
ToolRun RunCorvane(const std::vector<std::string>& vecArgs, const std::string& strCwd,
                   const std::string& strStateHome = std::string());
// The same, corvane started by the program vecLauncher (e.g. a shell that
// prepares a mount first, then runs "$@"): the tool's path and arguments follow it.
ToolRun RunCorvaneThrough(const std::vector<std::string>& vecLauncher,
                          const std::vector<std::string>& vecArgs, const std::string& strCwd,
                          const std::string& strStateHome = std::string());
// The path of the corvane executable under test.
std::string CorvanePath();
