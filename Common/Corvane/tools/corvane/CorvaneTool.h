// SPDX-License-Identifier: MIT
// What every corvane command shares: exit codes, messages, the command table
// entry and the lazily loaded store library.
#pragma once

#include "CorvaneArgs.h"
#include "CorvaneLibrary.h"
#include "CorvaneLibraryLog.h"

#include <memory>
#include <string>
#include <vector>

enum ExitCode : int
{
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
};

// State of one run of the tool.
class ToolContext
{
public:
    ToolContext() = default;
    ~ToolContext();
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    // Where the library logs this run; set before the first Library().
    void SetLibraryLogPath(const std::string& strPath) { m_library.SetLogPath(strPath); }
    // The set-up library, loaded on first use; null after printing why it failed.
    CorvaneLibrary* Library();

private:
    CorvaneLibrary m_library;
    bool m_bTried = false;
    bool m_bLoaded = false;
};

// Where the library's log goes for one run of a command: a pack keeps it in
// its store's _tmp beside the build's other leftovers; every other command
// in the user's state directory. Never the current directory.
std::string LibraryLogPath(const std::string& strCommand, const ParsedArgs& args);

struct CorvaneCommand
{
    const char* pszName;
    const char* pszSummary; // one line for the command overview
    const char* pszHelp;    // the whole --help text
    std::vector<OptionSpec> vecOptions;
    size_t uMinPositional;
    size_t uMaxPositional;
    int (*pfnRun)(ToolContext& ctx, const ParsedArgs& args);
};

// Every command, in the order the overview lists them.
const std::vector<const CorvaneCommand*>& CommandTable();

// "corvane: <text>" on stderr; returns kExitFailure.
int Fail(const std::string& strText);
// What FailInLibrary prints before its text when the system gave no reason.
enum class LoggedReasons
{
    Omit,  // nothing: the command's own message says what failed
    Print, // the readable reasons of the failed check the library logged
};
// The same after a failed library call: first the system's reason the library
// kept ("cannot create X: Permission denied"), else what eLogged says, one
// line each; then strText, naming the library's log when that holds lines of
// this failure.
int FailInLibrary(const std::string& strText, LoggedReasons eLogged = LoggedReasons::Omit);
// "corvane: <text> (see 'corvane <command> --help')" on stderr; returns kExitUsage.
int FailUsage(const char* pcszCommand, const std::string& strText);
// Ends the process with nExit after flushing stdout and stderr, without
// freeing anything or running destructors: for when all that is left is
// memory and idle threads, which the system takes back at once.
[[noreturn]] void ExitLeavingMemory(int nExit);
