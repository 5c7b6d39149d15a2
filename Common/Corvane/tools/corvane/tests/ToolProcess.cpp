// SPDX-License-Identifier: MIT
#include "ToolProcess.h"

#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

ToolRun RunCorvane(const std::vector<std::string>& vecArgs, const std::string& strCwd)
{
    // The tests run in build/tests; the child changes directory, so the path
    // is made absolute first.
    const char* pcszBin = std::getenv("CORVANE_BIN_DIR");
    char* pszReal = ::realpath(pcszBin ? pcszBin : CORVANE_TEST_BIN_DIR, nullptr);
    const std::string strExe = std::string(pszReal ? pszReal : "../bin") + "/corvane";
    std::free(pszReal);
    CorvaneTest::TempDir output;
    const std::string strOutFile = output / "stdout";
    const std::string strErrFile = output / "stderr";

    std::vector<char*> vecArgv;
    vecArgv.push_back(const_cast<char*>(strExe.c_str()));
    for (const std::string& strArg : vecArgs)
    {
        vecArgv.push_back(const_cast<char*>(strArg.c_str()));
    }
    vecArgv.push_back(nullptr);

    ToolRun run;
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const int nOut = ::open(strOutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int nErr = ::open(strErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (nOut < 0 || nErr < 0 || ::chdir(strCwd.c_str()) != 0 || ::dup2(nOut, STDOUT_FILENO) < 0 ||
            ::dup2(nErr, STDERR_FILENO) < 0)
        {
            ::_exit(127);
        }
        ::execv(strExe.c_str(), vecArgv.data());
        ::_exit(127);
    }
    if (pid < 0)
    {
        return run;
    }
    int nStatus = 0;
    while (::waitpid(pid, &nStatus, 0) < 0)
    {
    }
    run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    const std::vector<unsigned char> vecOut = CorvaneTest::ReadFileBytes(strOutFile);
    const std::vector<unsigned char> vecErr = CorvaneTest::ReadFileBytes(strErrFile);
    run.strOut.assign(vecOut.begin(), vecOut.end());
    run.strErr.assign(vecErr.begin(), vecErr.end());
    return run;
}
