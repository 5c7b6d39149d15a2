// SPDX-License-Identifier: MIT
// A real nginx serving a directory on a free 127.0.0.1 port, with its own
// prefix, temporary directories, pid file and access log below a TempDir.
// Started by the constructor, stopped by PID in the destructor.
#pragma once

#include "support/TempDir.h"
#include "support/platform/HostProcess.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace CorvaneTest
{

// A self-signed certificate for 127.0.0.1 (subjectAltName IP:127.0.0.1) made
// with the openssl command; the certificate file doubles as a CA bundle that
// trusts it. False (with a test failure) when openssl fails.
bool MakeSelfSignedCertificate(const std::string& strCertFile, const std::string& strKeyFile);

class NginxServer
{
public:
    // Serves strRoot; over HTTPS with a fresh self-signed certificate when bHttps.
    // bRanges false: "max_ranges 0;", a server that answers every Range request
    // with the whole file. strDirectives go into the server block as they stand.
    // bHttp2 (with bHttps): HTTP/2 offered to clients that ask for it.
    explicit NginxServer(const std::string& strRoot, bool bHttps = false, bool bRanges = true,
                         const std::string& strDirectives = std::string(), bool bHttp2 = false);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Running() const { return m_bRunning; }
    uint16_t Port() const { return m_uPort; }
    // "http://127.0.0.1:<port>" (or https).
    std::string BaseUrl() const;
    // The server's certificate (HTTPS only): a CA bundle that trusts this server.
    std::string CertificateFile() const { return m_dir / "cert.pem"; }

    // Starts again on the ports of the first start; true when already running.
    // The access log goes on where it was.
    bool Start();
    // SIGKILL, no goodbye: open connections break.
    void Kill();
    // SIGSTOP / SIGCONT: connections are accepted by the kernel but nothing
    // answers until Thaw (a server that hangs).
    void Freeze();
    void Thaw();

    // nginx writes a request's log line only after the client has its answer, so
    // every reader of the log below first waits until the log holds every request
    // answered so far: it sends a marker request on a side port and polls (with a
    // deadline) until the marker's line is there. One worker handles requests in
    // order, so every earlier answered request is logged by then.

    // Access log lines, one per request: "<method> <uri> <status> <body bytes> <Range or ->"
    // (marker requests left out).
    std::vector<std::string> AccessLogLines() const;
    // The same as the log stands now, without waiting for it to settle.
    std::vector<std::string> AccessLogLinesNow() const;
    // Waits until every request answered so far is logged; false (with a test
    // failure) when the marker never shows.
    bool SettleLog() const;
    // Settles, then empties the log.
    void ClearLog();
    // Polls AccessLogLinesNow() until fnDone holds for it or the deadline passes.
    bool WaitForLog(const std::function<bool(const std::vector<std::string>&)>& fnDone,
                    std::chrono::milliseconds deadline) const;
    // Requests with this method whose URI path (query excluded) is strUri.
    size_t CountRequests(const std::string& strMethod, const std::string& strUri) const;
    // Polls until at least uExpected such requests are logged (or a deadline
    // passes), then returns the count, so a test that expects N sees more than N too.
    size_t WaitForRequests(const std::string& strMethod, const std::string& strUri, size_t uExpected) const;

private:
    bool StartOn(uint16_t uPort, uint16_t uMarkerPort);
    void Stop();
    std::vector<std::string> RawLogLines() const;

    TempDir m_dir;
    std::string m_strRoot;
    bool m_bHttps;
    bool m_bRanges;
    bool m_bHttp2;
    std::string m_strDirectives;
    HostProcess m_process;
    bool m_bRunning = false;
    uint16_t m_uPort = 0;
    uint16_t m_uMarkerPort = 0; // plain HTTP, also when the served port speaks HTTPS
    mutable unsigned m_uMarkers = 0;
};

} // namespace CorvaneTest
