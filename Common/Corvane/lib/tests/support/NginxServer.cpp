// SPDX-License-Identifier: MIT
#include "support/NginxServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace CorvaneTest
{

namespace
{

constexpr const char* kNginx = "/usr/sbin/nginx";

sockaddr_in LoopbackAddress(uint16_t uPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uPort);
    return addr;
}

// A port the kernel considers free right now; nginx binds it a moment later,
// so a start that loses the race is retried with another one.
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

bool CanConnect(uint16_t uPort)
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

// Sends a bodiless request over a fresh connection and reads until the server closes it.
bool SendHead(uint16_t uPort, const std::string& strUri)
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

constexpr const char* kMarkerPrefix = "HEAD /.corvane-settle/";

} // namespace

bool MakeSelfSignedCertificate(const std::string& strCertFile, const std::string& strKeyFile)
{
    const std::string strCommand = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                   " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                   strKeyFile + "' -out '" + strCertFile + "' >/dev/null 2>&1";
    const int nRet = std::system(strCommand.c_str());
    EXPECT_EQ(nRet, 0) << strCommand;
    return nRet == 0;
}

NginxServer::NginxServer(const std::string& strRoot, bool bHttps, bool bRanges,
                         const std::string& strDirectives, bool bHttp2)
    : m_strRoot(strRoot), m_bHttps(bHttps), m_bRanges(bRanges), m_bHttp2(bHttp2),
      m_strDirectives(strDirectives)
{
    if (m_bHttps && !MakeSelfSignedCertificate(m_dir / "cert.pem", m_dir / "key.pem"))
    {
        return;
    }
    WriteFileText(m_dir / "access.log", "");
    for (int nTry = 0; nTry < 5 && !Running(); ++nTry)
    {
        const uint16_t uPort = FreeLoopbackPort();
        const uint16_t uMarkerPort = FreeLoopbackPort();
        if (uPort != 0 && uMarkerPort != 0 && uPort != uMarkerPort)
        {
            StartOn(uPort, uMarkerPort);
        }
    }
    EXPECT_TRUE(Running()) << "nginx did not start; error log:\n" << ReadFileText(m_dir / "error.log");
}

NginxServer::~NginxServer()
{
    Stop();
}

std::string NginxServer::BaseUrl() const
{
    return std::string(m_bHttps ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_uPort);
}

bool NginxServer::Start()
{
    return Running() || (m_uPort != 0 && StartOn(m_uPort, m_uMarkerPort));
}

bool NginxServer::StartOn(uint16_t uPort, uint16_t uMarkerPort)
{
    const std::string strPrefix = m_dir.Path();
    std::ostringstream conf;
    conf << "daemon off;\n"
            "master_process off;\n"
            "worker_processes 1;\n"
            "pid "
         << strPrefix << "/nginx.pid;\n"
         << "error_log " << strPrefix << "/error.log warn;\n"
         << "events { worker_connections 512; }\n"
            "http {\n"
            "  log_format corvane '$request_method $uri $status $body_bytes_sent $http_range';\n"
            "  default_type application/octet-stream;\n"
            "  sendfile on;\n"
            "  keepalive_requests 100000;\n"
            "  client_body_temp_path "
         << strPrefix << "/tmp_body;\n"
         << "  proxy_temp_path " << strPrefix << "/tmp_proxy;\n"
         << "  fastcgi_temp_path " << strPrefix << "/tmp_fastcgi;\n"
         << "  uwsgi_temp_path " << strPrefix << "/tmp_uwsgi;\n"
         << "  scgi_temp_path " << strPrefix << "/tmp_scgi;\n"
         << "  server {\n"
            "    listen 127.0.0.1:"
         << uPort << (m_bHttps ? " ssl" : "") << (m_bHttps && m_bHttp2 ? " http2" : "") << ";\n"
         << "    listen 127.0.0.1:" << uMarkerPort << ";\n";
    if (m_bHttps)
    {
        conf << "    ssl_certificate " << strPrefix << "/cert.pem;\n"
             << "    ssl_certificate_key " << strPrefix << "/key.pem;\n";
    }
    if (!m_bRanges)
    {
        conf << "    max_ranges 0;\n";
    }
    if (!m_strDirectives.empty())
    {
        conf << "    " << m_strDirectives << "\n";
    }
    conf << "    root " << m_strRoot << ";\n"
         << "    access_log " << strPrefix << "/access.log corvane;\n"
         << "    location / { }\n"
         // Redirects for tests: "/hop/<path>" to "/<path>" here, and
         // "/bounce/<port>/<path>" to plain HTTP on that port.
         << "    location ~ ^/hop(/.*)$ { return 302 $1$is_args$args; }\n"
         << "    location ~ ^/bounce/([0-9]+)(/.*)$ { return 302 http://127.0.0.1:$1$2$is_args$args; }\n"
            "  }\n"
            "}\n";
    const std::string strConf = m_dir / "nginx.conf";
    const std::string strPidFile = m_dir / "nginx.pid";
    if (!WriteFileText(strConf, conf.str()))
    {
        return false;
    }
    ::unlink(strPidFile.c_str()); // a killed server leaves its own behind

    const std::string strError = m_dir / "error.log";
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
        ::execl(kNginx, kNginx, "-p", strPrefix.c_str(), "-c", strConf.c_str(), "-e", strError.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::string strPid = std::to_string(pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, WNOHANG) == pid)
        {
            return false; // exited: most likely the port was taken meanwhile
        }
        // Another test's server may answer on a port ours failed to take: only
        // our own pid file (written after the bind) says the ports are ours.
        std::string strInFile = ReadFileText(strPidFile);
        while (!strInFile.empty() && std::isspace(static_cast<unsigned char>(strInFile.back())))
        {
            strInFile.pop_back();
        }
        if (strInFile == strPid && CanConnect(uPort) && CanConnect(uMarkerPort))
        {
            m_pid = pid;
            m_uPort = uPort;
            m_uMarkerPort = uMarkerPort;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

void NginxServer::Stop()
{
    if (m_pid <= 0)
    {
        return;
    }
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int nStatus = 0;
    while (::waitpid(m_pid, &nStatus, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &nStatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

void NginxServer::Kill()
{
    if (m_pid <= 0)
    {
        return;
    }
    ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR)
    {
    }
    m_pid = -1;
}

void NginxServer::Freeze()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGSTOP);
    }
}

void NginxServer::Thaw()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGCONT);
    }
}

bool NginxServer::SettleLog() const
{
    if (!Running())
    {
        return false;
    }
    const std::string strUri = "/.corvane-settle/" + std::to_string(++m_uMarkers);
    if (!SendHead(m_uMarkerPort, strUri))
    {
        ADD_FAILURE() << "marker request to nginx failed";
        return false;
    }
    const std::string strLine = "HEAD " + strUri + " ";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;)
    {
        for (const std::string& str : RawLogLines())
        {
            if (str.compare(0, strLine.size(), strLine) == 0)
            {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline)
        {
            ADD_FAILURE() << "nginx never logged the marker request " << strUri;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void NginxServer::ClearLog()
{
    SettleLog();
    // nginx keeps the file open in append mode, so truncating it in place is safe.
    EXPECT_EQ(::truncate((m_dir / "access.log").c_str(), 0), 0) << "cannot empty the access log";
}

std::vector<std::string> NginxServer::AccessLogLines() const
{
    SettleLog();
    return AccessLogLinesNow();
}

std::vector<std::string> NginxServer::AccessLogLinesNow() const
{
    std::vector<std::string> vecLines;
    const std::string strMarker = kMarkerPrefix;
    for (std::string& strLine : RawLogLines())
    {
        if (strLine.compare(0, strMarker.size(), strMarker) != 0)
        {
            vecLines.push_back(std::move(strLine));
        }
    }
    return vecLines;
}

std::vector<std::string> NginxServer::RawLogLines() const
{
    std::vector<std::string> vecLines;
    std::istringstream in(ReadFileText(m_dir / "access.log"));
    std::string strLine;
    while (std::getline(in, strLine))
    {
        if (!strLine.empty())
        {
            vecLines.push_back(strLine);
        }
    }
    return vecLines;
}

bool NginxServer::WaitForLog(const std::function<bool(const std::vector<std::string>&)>& fnDone,
                             std::chrono::milliseconds deadline) const
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;)
    {
        if (fnDone(AccessLogLinesNow()))
        {
            return true;
        }
        if (std::chrono::steady_clock::now() > end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

namespace
{

size_t CountIn(const std::vector<std::string>& vecLines, const std::string& strMethod,
               const std::string& strUri)
{
    size_t uCount = 0;
    const std::string strPrefix = strMethod + " " + strUri + " ";
    for (const std::string& strLine : vecLines)
    {
        if (strLine.compare(0, strPrefix.size(), strPrefix) == 0)
        {
            ++uCount;
        }
    }
    return uCount;
}

} // namespace

size_t NginxServer::CountRequests(const std::string& strMethod, const std::string& strUri) const
{
    return CountIn(AccessLogLines(), strMethod, strUri);
}

size_t NginxServer::WaitForRequests(const std::string& strMethod, const std::string& strUri,
                                    size_t uExpected) const
{
    WaitForLog([&](const std::vector<std::string>& vecLines)
               { return CountIn(vecLines, strMethod, strUri) >= uExpected; },
               std::chrono::seconds(20));
    return CountRequests(strMethod, strUri);
}

} // namespace CorvaneTest
