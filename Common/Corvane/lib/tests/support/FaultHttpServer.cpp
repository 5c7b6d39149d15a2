// SPDX-License-Identifier: MIT
#include "support/FaultHttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace CorvaneTest
{

FaultHttpServer::FaultHttpServer(FaultMode eMode, std::string strBody, uint32_t uTrickleIntervalMs,
                                 std::string strRoot, std::shared_ptr<FaultScript> pScript)
    : m_eMode(eMode), m_strBody(std::move(strBody)), m_strRoot(std::move(strRoot)),
      m_uTrickleMs(uTrickleIntervalMs), m_pScript(std::move(pScript))
{
    if (::pipe(m_fdStop) != 0)
    {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    m_fdListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (m_fdListen < 0 || ::bind(m_fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(m_fdListen, 64) != 0 ||
        ::getsockname(m_fdListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    {
        ADD_FAILURE() << "fault server cannot listen";
        return;
    }
    m_uPort = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

std::unique_ptr<FaultHttpServer> FaultHttpServer::ServeDirectory(const std::string& strRoot,
                                                                 FaultMode eRangeMode)
{
    return std::make_unique<FaultHttpServer>(eRangeMode, std::string(), 50, strRoot);
}

FaultHttpServer::~FaultHttpServer()
{
    if (m_fdStop[1] >= 0)
    {
        const char c = 'x';
        (void)!::write(m_fdStop[1], &c, 1); // every poll sees the pipe readable from now on
    }
    if (m_acceptThread.joinable())
    {
        m_acceptThread.join();
    }
    for (std::thread& t : m_vecThreads)
    {
        t.join();
    }
    for (int fd : {m_fdListen, m_fdStop[0], m_fdStop[1]})
    {
        if (fd >= 0)
        {
            ::close(fd);
        }
    }
}

bool FaultHttpServer::WaitReadable(int fd, int nMs)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_fdStop[0], POLLIN, 0}};
    const int n = ::poll(fds, 2, nMs);
    if (n > 0 && (fds[1].revents & POLLIN))
    {
        return false;
    }
    return true;
}

bool FaultHttpServer::SleepOrStop(uint32_t uMs)
{
    pollfd fd{m_fdStop[0], POLLIN, 0};
    return ::poll(&fd, 1, static_cast<int>(uMs)) == 0;
}

bool FaultHttpServer::SendAll(int fd, const std::string& strData)
{
    size_t uSent = 0;
    while (uSent < strData.size())
    {
        const ssize_t n = ::send(fd, strData.data() + uSent, strData.size() - uSent, MSG_NOSIGNAL);
        if (n <= 0)
        {
            return false;
        }
        uSent += static_cast<size_t>(n);
    }
    return true;
}

void FaultHttpServer::AcceptLoop()
{
    for (;;)
    {
        if (!WaitReadable(m_fdListen, -1))
        {
            return;
        }
        const int fd = ::accept(m_fdListen, nullptr, nullptr);
        if (fd < 0)
        {
            continue;
        }
        m_nConnections.fetch_add(1);
        std::lock_guard<std::mutex> lock(m_mtxThreads);
        m_vecThreads.emplace_back(
            [this, fd]
            {
                Serve(fd);
                ::close(fd);
            });
    }
}

void FaultHttpServer::Serve(int fd)
{
    std::string strIn;
    for (;;)
    {
        // One request: read up to the blank line that ends its headers.
        size_t uEnd;
        while ((uEnd = strIn.find("\r\n\r\n")) == std::string::npos)
        {
            if (!WaitReadable(fd, -1))
            {
                return;
            }
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
            if (n <= 0)
            {
                return;
            }
            strIn.append(buf, static_cast<size_t>(n));
        }
        const bool bHead = strIn.compare(0, 5, "HEAD ") == 0;
        const std::string strHead = strIn.substr(0, uEnd + 4);
        strIn.erase(0, uEnd + 4);
        m_nRequests.fetch_add(1);
        if (m_pScript)
        {
            if (!ServeScriptedRequest(fd, strHead))
            {
                return;
            }
            continue;
        }
        if (!m_strRoot.empty())
        {
            if (!ServeFileRequest(fd, strHead))
            {
                return;
            }
            continue;
        }

        if (m_eMode == FaultMode::Redirect)
        {
            if (!ServeRedirect(fd, strHead))
            {
                return;
            }
            continue;
        }
        const std::string strLength = std::to_string(m_strBody.size());
        const std::string strOk = "HTTP/1.1 200 OK\r\nContent-Length: " + strLength + "\r\n\r\n";
        switch (m_eMode)
        {
        case FaultMode::Ok:
            if (!SendAll(fd, strOk + (bHead ? std::string() : m_strBody)))
            {
                return;
            }
            continue; // keep-alive
        case FaultMode::ShortBody:
            SendAll(fd, strOk + m_strBody.substr(0, m_strBody.size() / 2));
            return;
        case FaultMode::Status500:
            SendAll(fd,
                    "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\n" +
                        std::string(bHead ? "" : "error"));
            return;
        case FaultMode::Reset:
        {
            linger lin{1, 0}; // close with RST instead of FIN
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lin, sizeof(lin));
            return;
        }
        case FaultMode::Stall:
            while (SleepOrStop(1000))
            {
            }
            return;
        case FaultMode::Trickle:
            if (!SendAll(fd, strOk))
            {
                return;
            }
            for (size_t i = 0; i < m_strBody.size() && !bHead; ++i)
            {
                if (!SleepOrStop(m_uTrickleMs) || !SendAll(fd, m_strBody.substr(i, 1)))
                {
                    return;
                }
            }
            continue;
        case FaultMode::BadContentLength:
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\nConnection: close\r\n\r\n" + m_strBody);
            return;
        default: // range modes answer only in directory mode
            return;
        case FaultMode::LongBody:
            if (SendAll(fd, strOk + m_strBody))
            {
                const std::string strMore(64 * 1024, 'z');
                for (int i = 0; i < 256 && SendAll(fd, strMore); ++i)
                {
                }
            }
            return;
        }
    }
}

} // namespace CorvaneTest

namespace CorvaneTest
{

bool FaultHttpServer::ServeFileRequest(int fd, const std::string& strHead)
{
    const bool bHead = strHead.compare(0, 5, "HEAD ") == 0;
    const size_t uPath = strHead.find(' ') + 1;
    const size_t uPathEnd = strHead.find_first_of(" ?", uPath);
    std::ifstream in(m_strRoot + strHead.substr(uPath, uPathEnd - uPath), std::ios::binary);
    if (!in)
    {
        return SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    }
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string strFile = ss.str();
    const size_t uRange = strHead.find("\r\nRange: bytes=");
    unsigned long long uFirst = 0;
    unsigned long long uLast = 0;
    if (uRange == std::string::npos ||
        std::sscanf(strHead.c_str() + uRange, "\r\nRange: bytes=%llu-%llu", &uFirst, &uLast) != 2 ||
        m_eMode == FaultMode::RangeIgnored)
    {
        return SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(strFile.size()) +
                               "\r\n\r\n" + (bHead ? std::string() : strFile));
    }
    if (uFirst > uLast || uLast >= strFile.size() || m_eMode == FaultMode::RangeNotSatisfiable)
    {
        return SendAll(fd, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n");
    }
    if (m_eMode == FaultMode::RangeWrongContentRange && uLast + 1 < strFile.size())
    {
        ++uFirst;
        ++uLast;
    }
    std::string strPart = strFile.substr(uFirst, uLast - uFirst + 1);
    const std::string strContentRange = "Content-Range: bytes " + std::to_string(uFirst) + "-" +
                                        std::to_string(uLast) + "/" + std::to_string(strFile.size()) + "\r\n";
    const std::string strPartial = "HTTP/1.1 206 Partial Content\r\n" + strContentRange;
    const std::string strLength = "Content-Length: " + std::to_string(strPart.size()) + "\r\n\r\n";
    switch (m_eMode)
    {
    case FaultMode::RangeShort:
        SendAll(fd, strPartial + strLength + strPart.substr(0, strPart.size() / 2));
        return false;
    case FaultMode::RangeLong:
        SendAll(fd, strPartial + "Connection: close\r\n\r\n" + strPart + std::string(4096, 'z'));
        return false;
    case FaultMode::RangeCorrupt:
        strPart[strPart.size() / 2] ^= 0x20;
        break;
    default:
        break;
    }
    return SendAll(fd, strPartial + strLength + strPart);
}

} // namespace CorvaneTest
