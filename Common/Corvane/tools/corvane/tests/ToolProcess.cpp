// SPDX-License-Identifier: MIT
#include "ToolProcess.h"

#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

std::string CorvanePath()
{
    // The tests run in build/tests; the child changes directory, so the path
    // is made absolute first.
    const char* pcszBin = std::getenv("CORVANE_BIN_DIR");
    char* pszReal = ::realpath(pcszBin ? pcszBin : CORVANE_TEST_BIN_DIR, nullptr);
    const std::string strExe = std::string(pszReal ? pszReal : "../bin") + "/corvane";
    std::free(pszReal);
    return strExe;
}

ToolRun RunCorvane(const std::vector<std::string>& vecArgs, const std::string& strCwd,
                   const std::string& strStateHome)
{
    return RunCorvaneThrough({}, vecArgs, strCwd, strStateHome);
}

ToolRun RunCorvaneThrough(const std::vector<std::string>& vecLauncher,
                          const std::vector<std::string>& vecArgs, const std::string& strCwd,
                          const std::string& strStateHome)
{
    static const CorvaneTest::TempDir s_state;
    const std::string strState = strStateHome.empty() ? s_state.Path() : strStateHome;
    const std::string strExe = CorvanePath();
    CorvaneTest::TempDir output;
    const std::string strOutFile = output / "stdout";
    const std::string strErrFile = output / "stderr";

    std::vector<char*> vecArgv;
    for (const std::string& strArg : vecLauncher)
    {
        vecArgv.push_back(const_cast<char*>(strArg.c_str()));
    }
    vecArgv.push_back(const_cast<char*>(strExe.c_str()));
    for (const std::string& strArg : vecArgs)
    {
        vecArgv.push_back(const_cast<char*>(strArg.c_str()));
    }
    vecArgv.push_back(nullptr);
    // Made before the fork: the child only calls what is safe after one.
    std::vector<std::string> vecEnv = {"XDG_STATE_HOME=" + strState};
    for (char** ppVar = environ; *ppVar; ++ppVar)
    {
        if (std::strncmp(*ppVar, "XDG_STATE_HOME=", 15) != 0)
        {
            vecEnv.push_back(*ppVar);
        }
    }
    std::vector<char*> vecEnvp;
    for (std::string& strVar : vecEnv)
    {
        vecEnvp.push_back(&strVar[0]);
    }
    vecEnvp.push_back(nullptr);

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
        ::execve(vecArgv[0], vecArgv.data(), vecEnvp.data());
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
