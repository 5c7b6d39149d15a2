// SPDX-License-Identifier: MIT
// Under Wine, CreateProcess of a Unix program runs it (forked twice, so it is
// no child of ours) and returns no handle and no process id. A program is
// started through "timeout", which reaps it and ends it at the latest when a
// test that died without stopping it would have been given up anyway; its
// Unix pid comes from the server's pid file, and signals go by /bin/kill.
#include "support/platform/HostProcess.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace CorvaneTest
{

namespace
{

std::wstring Wide(const std::string& str)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, nullptr, 0);
    std::wstring strWide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0)
    {
        ::MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, &strWide[0], n);
    }
    strWide.resize(strWide.size() - 1);
    return strWide;
}

// One argument quoted as the Windows command line parser (and Wine's, which
// turns the line back into the Unix program's argv) reads it.
std::wstring QuoteArg(const std::wstring& strArg)
{
    std::wstring strOut = L"\"";
    size_t uSlashes = 0;
    for (wchar_t c : strArg)
    {
        if (c == L'\\')
        {
            ++uSlashes;
            continue;
        }
        strOut.append(c == L'"' ? uSlashes * 2 + 1 : uSlashes, L'\\');
        uSlashes = 0;
        strOut += c;
    }
    strOut.append(uSlashes * 2, L'\\');
    return strOut + L"\"";
}

// Starts a Unix program with its Unix argv; nothing to wait on comes back.
bool SpawnUnix(const std::vector<std::string>& vecArgs)
{
    if (vecArgs.empty())
    {
        return false;
    }
    std::wstring strLine;
    for (const std::string& str : vecArgs)
    {
        strLine += (strLine.empty() ? L"" : L" ") + QuoteArg(Wide(str));
    }
    // Z: is the root of the Unix file system in every Wine prefix.
    std::wstring strApp = L"Z:" + Wide(vecArgs[0]);
    for (wchar_t& c : strApp)
    {
        c = c == L'/' ? L'\\' : c;
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(strApp.c_str(), &strLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &si, &pi))
    {
        return false;
    }
    if (pi.hProcess)
    {
        ::CloseHandle(pi.hProcess);
    }
    if (pi.hThread)
    {
        ::CloseHandle(pi.hThread);
    }
    return true;
}

std::string ReadWhole(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool UnixProcessAlive(int64_t nPid)
{
    // The Unix /proc through Z:; a zombie counts as ended.
    const std::string strStat = ReadWhole("Z:\\proc\\" + std::to_string(nPid) + "\\stat");
    const size_t uParen = strStat.rfind(')');
    return uParen != std::string::npos && uParen + 2 < strStat.size() && strStat[uParen + 2] != 'Z';
}

std::string ShellQuote(const std::string& str)
{
    std::string strOut = "'";
    for (char c : str)
    {
        strOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return strOut + "'";
}

struct Winsock
{
    Winsock()
    {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
};

void EnsureWinsock()
{
    static Winsock s_winsock;
}

sockaddr_in LoopbackAddress(uint16_t uPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uPort);
    return addr;
}

// A test that dies leaves its server to "timeout": longer than any test runs.
constexpr const char* kServerLifetime = "1800";

} // namespace

std::string HostPath(const std::string& strPath)
{
    using PFN_wine_get_unix_file_name = char*(CDECL*)(const wchar_t*);
    static const auto pfnUnixName = reinterpret_cast<PFN_wine_get_unix_file_name>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!pfnUnixName)
    {
        return strPath; // not under Wine: no host programs to hand it to
    }
    std::wstring strWide = Wide(strPath);
    for (wchar_t& c : strWide)
    {
        c = c == L'/' ? L'\\' : c;
    }
    char* pszUnix = pfnUnixName(strWide.c_str());
    if (!pszUnix)
    {
        return strPath;
    }
    std::string strUnix = pszUnix;
    ::HeapFree(::GetProcessHeap(), 0, pszUnix);
    return strUnix;
}

int RunHostShell(const std::string& strCommand, std::chrono::seconds deadline)
{
    // The shell writes its status into a file when done; we poll for it.
    char szTemp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, szTemp);
    std::random_device random;
    const std::string strStatus =
        std::string(szTemp) + "corvane-host-" + std::to_string(random()) + ".status";
    const std::string strUnixStatus = HostPath(strStatus);
    const std::string strScript = "(" + strCommand + ") </dev/null; echo $? >" +
                                  ShellQuote(strUnixStatus + ".tmp") + "; mv " +
                                  ShellQuote(strUnixStatus + ".tmp") + " " + ShellQuote(strUnixStatus);
    if (!SpawnUnix({"/bin/sh", "-c", strScript}))
    {
        return -1;
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end)
    {
        const std::string strText = ReadWhole(strStatus);
        if (!strText.empty())
        {
            ::DeleteFileA(strStatus.c_str());
            return std::atoi(strText.c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

bool HostProcess::Start(const std::vector<std::string>& vecArgs)
{
    std::string strCommand = "exec /usr/bin/timeout -s KILL " + std::string(kServerLifetime);
    for (const std::string& str : vecArgs)
    {
        strCommand += " " + ShellQuote(str);
    }
    strCommand += " </dev/null >/dev/null 2>&1";
    if (!SpawnUnix({"/bin/sh", "-c", strCommand}))
    {
        return false;
    }
    m_nPid = 0; // started, pid not known yet
    m_bPidKnown = false;
    return true;
}

bool HostProcess::Adopt(const std::string& strPid)
{
    const long long nPid = std::atoll(strPid.c_str());
    if (m_nPid < 0 || nPid <= 0 || std::to_string(nPid) != strPid)
    {
        return false;
    }
    m_nPid = nPid;
    m_bPidKnown = true;
    return true;
}

bool HostProcess::Exited()
{
    if (m_bPidKnown && !UnixProcessAlive(m_nPid))
    {
        m_nPid = -1;
        m_bPidKnown = false;
    }
    return m_nPid < 0;
}

void HostProcess::Signal(HostSignal eSignal)
{
    if (!m_bPidKnown)
    {
        return;
    }
    const char* pcszSignal = eSignal == HostSignal::Terminate ? "TERM"
                             : eSignal == HostSignal::Kill    ? "KILL"
                             : eSignal == HostSignal::Stop    ? "STOP"
                                                              : "CONT";
    // Delivered before the next step of the test, like kill(2) on Linux.
    RunHostShell("kill -s " + std::string(pcszSignal) + " " + std::to_string(m_nPid),
                 std::chrono::seconds(30));
}

bool HostProcess::WaitExit(std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!Exited())
    {
        if (!m_bPidKnown || std::chrono::steady_clock::now() > end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool UnderWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

uint16_t FreeLoopbackPort()
{
    EnsureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
    {
        return 0;
    }
    sockaddr_in addr = LoopbackAddress(0);
    int len = sizeof(addr);
    uint16_t uPort = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    {
        uPort = ntohs(addr.sin_port);
    }
    ::closesocket(s);
    return uPort;
}

bool CanConnectLoopback(uint16_t uPort)
{
    EnsureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
    {
        return false;
    }
    sockaddr_in addr = LoopbackAddress(uPort);
    const bool bOk = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::closesocket(s);
    return bOk;
}

bool SendLoopbackHead(uint16_t uPort, const std::string& strUri)
{
    EnsureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
    {
        return false;
    }
    DWORD dwTimeout = 10000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&dwTimeout), sizeof(dwTimeout));
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&dwTimeout), sizeof(dwTimeout));
    sockaddr_in addr = LoopbackAddress(uPort);
    bool bOk = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    const std::string strRequest = "HEAD " + strUri + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    bOk = bOk && ::send(s, strRequest.data(), static_cast<int>(strRequest.size()), 0) ==
                     static_cast<int>(strRequest.size());
    char buf[512];
    int nRead = 0;
    while (bOk && (nRead = ::recv(s, buf, sizeof(buf), 0)) > 0)
    {
    }
    ::closesocket(s);
    return bOk && nRead == 0;
}

} // namespace CorvaneTest
