// SPDX-License-Identifier: MIT
// The programs of this machine a test starts (nginx, openssl) and the loopback
// sockets it watches them with. On Linux they are children of the test; a
// Windows test under Wine starts them as Unix programs through Wine, which
// hands back no process handle: the server's pid file names it instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace CorvaneTest
{

// The path the host's programs know a file of this process by (the same path
// on Linux; under Wine the Unix path behind a Windows one).
std::string HostPath(const std::string& strPath);

// Runs a host shell command to its end (or the deadline); its exit status, -1
// when it could not run or did not end in time.
int RunHostShell(const std::string& strCommand, std::chrono::seconds deadline = std::chrono::seconds(120));

enum class HostSignal
{
    Terminate,
    Kill,
    Stop,
    Continue
};

// A server program started in the background, standard streams on /dev/null.
class HostProcess
{
public:
    HostProcess() = default;
    ~HostProcess() = default;
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // vecArgs[0] is the program's host path.
    bool Start(const std::vector<std::string>& vecArgs);
    // The server wrote strPid into its pid file: true when that is this process.
    bool Adopt(const std::string& strPid);
    // True once the started program has ended (false while that is unknown).
    bool Exited();
    void Signal(HostSignal eSignal);
    // Waits until the program has ended; false at the deadline.
    bool WaitExit(std::chrono::milliseconds deadline);
    bool Started() const { return m_nPid > 0; }

private:
    int64_t m_nPid = -1;
    bool m_bPidKnown = false;
};

// True when this process runs under Wine (never on Linux), for the few cases
// where Wine's Windows differs from Windows; each skip says how.
bool UnderWine();

// A loopback port the system considers free right now (0 on failure).
uint16_t FreeLoopbackPort();
bool CanConnectLoopback(uint16_t uPort);
// Sends a bodiless HTTP/1.0 request over a fresh connection and reads until
// the server closes it.
bool SendLoopbackHead(uint16_t uPort, const std::string& strUri);

} // namespace CorvaneTest
