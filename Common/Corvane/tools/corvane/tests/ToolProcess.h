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

// Runs corvane with vecArgs in the working directory strCwd (where the
// library writes its log). Output goes through files, so large output cannot
// block the child.
ToolRun RunCorvane(const std::vector<std::string>& vecArgs, const std::string& strCwd);
