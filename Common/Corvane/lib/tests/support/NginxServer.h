// SPDX-License-Identifier: MIT
// A real nginx serving a directory on a free 127.0.0.1 port, with its own
// prefix, temporary directories, pid file and access log below a TempDir.
// Started by the constructor, stopped by PID in the destructor.
#pragma once

#include "support/TempDir.h"

#include <sys/types.h>

#include <cstdint>
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
    explicit NginxServer(const std::string& strRoot, bool bHttps = false);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Running() const { return m_pid > 0; }
    uint16_t Port() const { return m_uPort; }
    // "http://127.0.0.1:<port>" (or https).
    std::string BaseUrl() const;
    // The server's certificate (HTTPS only): a CA bundle that trusts this server.
    std::string CertificateFile() const { return m_dir / "cert.pem"; }

    // Access log lines, one per request: "<method> <uri> <status> <body bytes>".
    std::vector<std::string> AccessLogLines() const;
    // Requests with this method whose URI path (query excluded) is strUri.
    size_t CountRequests(const std::string& strMethod, const std::string& strUri) const;

private:
    bool Start(const std::string& strRoot);
    void Stop();

    TempDir m_dir;
    bool m_bHttps;
    pid_t m_pid = -1;
    uint16_t m_uPort = 0;
};

} // namespace CorvaneTest
