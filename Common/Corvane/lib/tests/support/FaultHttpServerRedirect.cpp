// SPDX-License-Identifier: MIT
// Redirect mode of the fault server: a mirror front that sends every request on.
#include "support/FaultHttpServer.h"

#include <cstdlib>

namespace CorvaneTest
{

bool FaultHttpServer::ServeRedirect(int fd, const std::string& strHead)
{
    const size_t uPath = strHead.find(' ') + 1;
    const size_t uPathEnd = strHead.find(' ', uPath);
    std::string strTarget = strHead.substr(uPath, uPathEnd - uPath); // path and query
    std::string strLocation;
    static const char kHops[] = "/hops/";
    if (strTarget.compare(0, sizeof(kHops) - 1, kHops) == 0)
    {
        char* pEnd = nullptr;
        const unsigned long uHops = std::strtoul(strTarget.c_str() + sizeof(kHops) - 1, &pEnd, 10);
        const std::string strRest = pEnd ? std::string(pEnd) : std::string("/");
        // Relative, as servers often send it: the client resolves it against this server.
        strLocation = uHops > 0 ? kHops + std::to_string(uHops - 1) + strRest : m_strBody + strRest;
    }
    else
    {
        strLocation = m_strBody + strTarget;
    }
    return SendAll(fd, "HTTP/1.1 302 Found\r\nLocation: " + strLocation + "\r\nContent-Length: 5\r\n\r\n" +
                           (strHead.compare(0, 5, "HEAD ") == 0 ? "" : "moved"));
}

} // namespace CorvaneTest
