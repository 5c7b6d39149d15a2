// SPDX-License-Identifier: MIT
// The fault server in directory mode under a fault script.
#include "support/FaultHttpServer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace CorvaneTest
{

std::unique_ptr<FaultHttpServer> FaultHttpServer::ServeDirectory(const std::string& strRoot,
                                                                 std::shared_ptr<FaultScript> pScript)
{
    return std::make_unique<FaultHttpServer>(FaultMode::Ok, std::string(), 50, strRoot, std::move(pScript));
}

bool FaultHttpServer::ServeScriptedRequest(int fd, const std::string& strHead)
{
    const bool bHead = strHead.compare(0, 5, "HEAD ") == 0;
    const size_t uPath = strHead.find(' ') + 1;
    const size_t uPathEnd = strHead.find_first_of(" ?", uPath);
    const std::string strPath = strHead.substr(uPath, uPathEnd - uPath);
    const RequestFault eFault = m_pScript->Next(strPath);
    const FaultScriptOptions& options = m_pScript->Options();

    switch (eFault)
    {
    case RequestFault::Status500:
        return SendAll(fd, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\n" +
                               std::string(bHead ? "" : "error"));
    case RequestFault::Status503:
        return SendAll(fd, "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 4\r\n\r\n" +
                               std::string(bHead ? "" : "busy"));
    case RequestFault::Status408:
        SendAll(fd, "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        return false;
    default:
        break;
    }

    std::ifstream in(m_strRoot + strPath, std::ios::binary);
    if (!in)
    {
        return SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    }
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string strFile = ss.str();

    // The honest answer first: the whole file, or the single range asked for.
    std::string strStatus = "HTTP/1.1 200 OK\r\n";
    std::string strBody = strFile;
    unsigned long long uFirst = 0;
    unsigned long long uLast = 0;
    const size_t uRange = strHead.find("\r\nRange: bytes=");
    if (uRange != std::string::npos &&
        std::sscanf(strHead.c_str() + uRange, "\r\nRange: bytes=%llu-%llu", &uFirst, &uLast) == 2)
    {
        if (uFirst > uLast || uLast >= strFile.size())
        {
            return SendAll(fd, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n");
        }
        strBody = strFile.substr(uFirst, uLast - uFirst + 1);
        strStatus = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(uFirst) + "-" +
                    std::to_string(uLast) + "/" + std::to_string(strFile.size()) + "\r\n";
    }
    if (bHead)
    {
        return SendAll(fd, strStatus + "Content-Length: " + std::to_string(strBody.size()) + "\r\n\r\n");
    }
    const std::string strHeaders =
        strStatus + "Content-Length: " + std::to_string(strBody.size()) + "\r\n\r\n";

    switch (eFault)
    {
    case RequestFault::ShortBody:
        SendAll(fd, strHeaders + strBody.substr(0, strBody.size() / 2));
        return false;
    case RequestFault::ResetMidBody:
    {
        SendAll(fd, strHeaders + strBody.substr(0, strBody.size() / 2));
        linger lin{1, 0}; // close with RST instead of FIN
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lin, sizeof(lin));
        return false;
    }
    case RequestFault::Stall:
        SendAll(fd, strHeaders + strBody.substr(0, strBody.size() / 3));
        SleepOrStop(options.uStallMs);
        return false;
    case RequestFault::FlipBytes:
        if (!strBody.empty())
        {
            strBody[m_pScript->FlipOffset(strPath, strBody.size())] ^= 0x01;
        }
        return SendAll(fd, strHeaders + strBody);
    case RequestFault::LengthTooLong:
        SendAll(fd,
                strStatus + "Content-Length: " + std::to_string(strBody.size() + 100) + "\r\n\r\n" + strBody);
        return false;
    case RequestFault::LengthTooShort:
        // Whatever follows the declared length is never read as a next answer.
        SendAll(fd, strStatus + "Content-Length: " + std::to_string(strBody.size() - strBody.size() / 4) +
                        "\r\nConnection: close\r\n\r\n" + strBody);
        return false;
    case RequestFault::Trickle:
    {
        if (!SendAll(fd, strHeaders))
        {
            return false;
        }
        const size_t uPieces = 30;
        const size_t uPiece = std::max<size_t>(1, (strBody.size() + uPieces - 1) / uPieces);
        for (size_t uAt = 0; uAt < strBody.size(); uAt += uPiece)
        {
            if (!SleepOrStop(options.uTrickleMs / uPieces) || !SendAll(fd, strBody.substr(uAt, uPiece)))
            {
                return false;
            }
        }
        return true;
    }
    default:
        return SendAll(fd, strHeaders + strBody);
    }
}

} // namespace CorvaneTest
