// SPDX-License-Identifier: MIT
#include "support/NginxServer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace CorvaneTest
{

namespace
{

constexpr const char* kNginx = "/usr/sbin/nginx";

constexpr const char* kMarkerPrefix = "HEAD /.corvane-settle/";

} // namespace

bool MakeSelfSignedCertificate(const std::string& strCertFile, const std::string& strKeyFile)
{
    const std::string strCommand = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                   " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                   HostPath(strKeyFile) + "' -out '" + HostPath(strCertFile) +
                                   "' >/dev/null 2>&1";
    const int nRet = RunHostShell(strCommand);
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
    // nginx is a program of the host: it gets the host's paths.
    const std::string strPrefix = HostPath(m_dir.Path());
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
    conf << "    root " << HostPath(m_strRoot) << ";\n"
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
    std::error_code ec;
    std::filesystem::remove(strPidFile, ec); // a killed server leaves its own behind

    if (!m_process.Start({kNginx, "-p", strPrefix, "-c", HostPath(strConf), "-e", strPrefix + "/error.log"}))
    {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (m_process.Exited())
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
        if (!strInFile.empty() && m_process.Adopt(strInFile) && CanConnectLoopback(uPort) &&
            CanConnectLoopback(uMarkerPort))
        {
            m_bRunning = true;
            m_uPort = uPort;
            m_uMarkerPort = uMarkerPort;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_process.Signal(HostSignal::Kill);
    m_process.WaitExit(std::chrono::seconds(10));
    return false;
}

void NginxServer::Stop()
{
    if (!m_bRunning)
    {
        return;
    }
    m_process.Signal(HostSignal::Terminate);
    if (!m_process.WaitExit(std::chrono::seconds(10)))
    {
        m_process.Signal(HostSignal::Kill);
        m_process.WaitExit(std::chrono::seconds(10));
    }
    m_bRunning = false;
}

void NginxServer::Kill()
{
    if (!m_bRunning)
    {
        return;
    }
    m_process.Signal(HostSignal::Kill);
    m_process.WaitExit(std::chrono::seconds(10));
    m_bRunning = false;
}

void NginxServer::Freeze()
{
    if (m_bRunning)
    {
        m_process.Signal(HostSignal::Stop);
    }
}

void NginxServer::Thaw()
{
    if (m_bRunning)
    {
        m_process.Signal(HostSignal::Continue);
    }
}

bool NginxServer::SettleLog() const
{
    if (!Running())
    {
        return false;
    }
    const std::string strUri = "/.corvane-settle/" + std::to_string(++m_uMarkers);
    if (!SendLoopbackHead(m_uMarkerPort, strUri))
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
    std::error_code ec;
    std::filesystem::resize_file(m_dir / "access.log", 0, ec);
    EXPECT_FALSE(ec) << "cannot empty the access log";
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
