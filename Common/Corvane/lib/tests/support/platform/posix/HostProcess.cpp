// SPDX-License-Identifier: MIT
#include "support/platform/HostProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace CorvaneTest
{

namespace
{

sockaddr_in LoopbackAddress(uint16_t uPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uPort);
    return addr;
}

} // namespace

std::string HostPath(const std::string& strPath)
{
    return strPath;
}

int RunHostShell(const std::string& strCommand, std::chrono::seconds)
{
    const int nStatus = std::system(strCommand.c_str());
    return nStatus >= 0 && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

bool HostProcess::Start(const std::vector<std::string>& vecArgs)
{
    std::vector<char*> vecArgv;
    for (const std::string& str : vecArgs)
    {
        vecArgv.push_back(const_cast<char*>(str.c_str()));
    }
    vecArgv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
    {
        return false;
    }
    if (pid == 0)
    {
        // A test that dies (a sanitizer report ends it at once) takes its
        // server along, and the server never holds the test's output open:
        // either would leave the test runner waiting for its full timeout.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int nNull = ::open("/dev/null", O_RDWR);
        if (nNull >= 0)
        {
            ::dup2(nNull, STDIN_FILENO);
            ::dup2(nNull, STDOUT_FILENO);
            ::dup2(nNull, STDERR_FILENO);
        }
        ::execv(vecArgv[0], vecArgv.data());
        ::_exit(127);
    }
    m_nPid = pid;
    m_bPidKnown = true;
    return true;
}

bool HostProcess::Adopt(const std::string& strPid)
{
    return m_nPid > 0 && strPid == std::to_string(m_nPid);
}

bool HostProcess::Exited()
{
    int nStatus = 0;
    if (m_nPid > 0 && ::waitpid(static_cast<pid_t>(m_nPid), &nStatus, WNOHANG) == m_nPid)
    {
        m_nPid = -1;
        return true;
    }
    return m_nPid <= 0;
}

void HostProcess::Signal(HostSignal eSignal)
{
    if (m_nPid <= 0)
    {
        return;
    }
    const int nSignal = eSignal == HostSignal::Terminate ? SIGTERM
                        : eSignal == HostSignal::Kill    ? SIGKILL
                        : eSignal == HostSignal::Stop    ? SIGSTOP
                                                         : SIGCONT;
    ::kill(static_cast<pid_t>(m_nPid), nSignal);
}

bool HostProcess::WaitExit(std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!Exited())
    {
        if (std::chrono::steady_clock::now() > end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool UnderWine()
{
    return false;
}

uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
    {
        return 0;
    }
    sockaddr_in addr = LoopbackAddress(0);
    socklen_t len = sizeof(addr);
    uint16_t uPort = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    {
        uPort = ntohs(addr.sin_port);
    }
    ::close(fd);
    return uPort;
}

bool CanConnectLoopback(uint16_t uPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
    {
        return false;
    }
    sockaddr_in addr = LoopbackAddress(uPort);
    const bool bOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bOk;
}

bool SendLoopbackHead(uint16_t uPort, const std::string& strUri)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
    {
        return false;
    }
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_in addr = LoopbackAddress(uPort);
    bool bOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    const std::string strRequest = "HEAD " + strUri + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    bOk = bOk && ::send(fd, strRequest.data(), strRequest.size(), MSG_NOSIGNAL) ==
                     static_cast<ssize_t>(strRequest.size());
    char buf[512];
    ssize_t nRead = 0;
    while (bOk && (nRead = ::recv(fd, buf, sizeof(buf), 0)) > 0)
    {
    }
    ::close(fd);
    return bOk && nRead == 0;
}

} // namespace CorvaneTest
