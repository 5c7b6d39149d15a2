// SPDX-License-Identifier: MIT
// A small HTTP server on 127.0.0.1 that misbehaves on purpose, for the faults
// nginx will not commit. It answers every request of every connection the same
// way, on its own threads, until it is destroyed.
#pragma once

#include "support/FaultScript.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace CorvaneTest
{

enum class FaultMode
{
    Ok,               // 200 with the body and its Content-Length
    ShortBody,        // Content-Length of the body, half of it sent, then closed
    Status500,        // 500 Internal Server Error
    Reset,            // connection reset right after the request
    Stall,            // request read, nothing ever sent
    Trickle,          // 200 with the full Content-Length, one byte per trickle interval
    BadContentLength, // a Content-Length that is not a number
    LongBody,         // the body, then much more than its Content-Length says
    // Answers to a Range request when serving a directory (other requests are
    // answered correctly there):
    RangeOk,                // 206 with exactly the bytes asked
    RangeIgnored,           // 200 with the whole file, as a server without Range support
    RangeWrongContentRange, // 206 for the range one byte further on
    RangeShort,             // 206 for the range, half of it sent, then closed
    RangeLong,              // 206 for the range without Content-Length, more bytes, then closed
    RangeNotSatisfiable,    // 416
    RangeCorrupt,           // 206 for the range with one byte changed
    // Every request sent on with 302 to the base URL given as the body, path
    // and query kept; "/hops/<N>/<path>" first goes round this server N times.
    Redirect,
};

class FaultHttpServer
{
public:
    // strRoot set: directory mode (see ServeDirectory).
    explicit FaultHttpServer(FaultMode eMode, std::string strBody = std::string(1000, 'x'),
                             uint32_t uTrickleIntervalMs = 50, std::string strRoot = std::string(),
                             std::shared_ptr<FaultScript> pScript = nullptr);
    // Serves the files below strRoot by URI path (query ignored; 404 when
    // missing) and answers Range requests as eRangeMode says.
    static std::unique_ptr<FaultHttpServer> ServeDirectory(const std::string& strRoot, FaultMode eRangeMode);
    // Serves the files below strRoot (Range requests too) and commits on each
    // request the fault pScript chooses for it.
    static std::unique_ptr<FaultHttpServer> ServeDirectory(const std::string& strRoot,
                                                           std::shared_ptr<FaultScript> pScript);
    ~FaultHttpServer();
    FaultHttpServer(const FaultHttpServer&) = delete;
    FaultHttpServer& operator=(const FaultHttpServer&) = delete;

    uint16_t Port() const { return m_uPort; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_uPort); }
    // Requests whose headers were read completely.
    int Requests() const { return m_nRequests.load(); }
    // Connections accepted.
    int Connections() const { return m_nConnections.load(); }

private:
    void AcceptLoop();
    void Serve(int fd);
    // Waits up to uMs for readability of fd or for the stop signal; false once stopping.
    bool WaitReadable(int fd, int nMs);
    bool SleepOrStop(uint32_t uMs);
    bool SendAll(int fd, const std::string& strData);
    // One request of directory mode; false when the connection is to be closed.
    bool ServeFileRequest(int fd, const std::string& strHead);
    // One request under a fault script; false when the connection is to be closed.
    bool ServeScriptedRequest(int fd, const std::string& strHead);
    // One request in redirect mode; false when the connection is to be closed.
    bool ServeRedirect(int fd, const std::string& strHead);

    const FaultMode m_eMode;
    const std::string m_strBody;
    const std::string m_strRoot; // directory mode when set
    const uint32_t m_uTrickleMs;
    const std::shared_ptr<FaultScript> m_pScript;
    int m_fdListen = -1;
    int m_fdStop[2] = {-1, -1};
    uint16_t m_uPort = 0;
    std::atomic<int> m_nRequests{0};
    std::atomic<int> m_nConnections{0};
    std::thread m_acceptThread;
    std::mutex m_mtxThreads;
    std::vector<std::thread> m_vecThreads;
};

} // namespace CorvaneTest
