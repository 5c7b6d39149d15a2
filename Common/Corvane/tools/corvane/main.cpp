// SPDX-License-Identifier: MIT
// corvane: builds, inspects and checks package stores through the store library.
#include "CorvaneTool.h"
#include "platform/ToolPlatform.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace
{

void PrintOverview(FILE* pOut)
{
    std::fprintf(pOut, "usage: corvane COMMAND [ARGS]...\n\ncommands:\n");
    for (const CorvaneCommand* pCommand : CommandTable())
    {
        std::fprintf(pOut, "  %-8s %s\n", pCommand->pszName, pCommand->pszSummary);
    }
    std::fprintf(pOut, "\n'corvane COMMAND --help' describes a command.\n"
                       "Exit status: 0 success, 1 failure, 2 bad usage.\n");
}

int RunCommand(const CorvaneCommand& command, const std::vector<std::string>& vecArgs)
{
    for (const std::string& strArg : vecArgs)
    {
        if (strArg == "--")
        {
            break;
        }
        if (strArg == "--help" || strArg == "-h")
        {
            std::fputs(command.pszHelp, stdout);
            return kExitOk;
        }
    }
    ParsedArgs args;
    std::string strError;
    if (!ParseArgs(vecArgs, command.vecOptions, args, strError))
    {
        return FailUsage(command.pszName, strError);
    }
    // With --config FILE a remote store's configuration stands in for STORE.
    const size_t uCount =
        args.Positional().size() + (command.uMinPositional > 0 && args.Has("--config") ? 1 : 0);
    if (uCount < command.uMinPositional)
    {
        return FailUsage(command.pszName, "too few arguments");
    }
    if (uCount > command.uMaxPositional)
    {
        return FailUsage(command.pszName, "unexpected argument '" + args.Positional().back() + "'");
    }
    ToolContext ctx;
    ctx.SetLibraryLogPath(LibraryLogPath(command.pszName, args));
    return command.pfnRun(ctx, args);
}

} // namespace

int main(int argc, char** argv)
{
    try
    {
        if (argc < 2)
        {
            PrintOverview(stderr);
            return kExitUsage;
        }
        const std::string strName = argv[1];
        if (strName == "pack")
        {
            CorvaneToolPlatform::RestartWithHugeHeapPages(argv);
        }
        if (strName == "--help" || strName == "-h" || strName == "help")
        {
            PrintOverview(stdout);
            return kExitOk;
        }
        for (const CorvaneCommand* pCommand : CommandTable())
        {
            if (strName == pCommand->pszName)
            {
                return RunCommand(*pCommand, std::vector<std::string>(argv + 2, argv + argc));
            }
        }
        return FailUsage(nullptr, "unknown command '" + strName + "'");
    }
    catch (const std::exception& e)
    {
        return Fail(std::string("unexpected error: ") + e.what());
    }
}
