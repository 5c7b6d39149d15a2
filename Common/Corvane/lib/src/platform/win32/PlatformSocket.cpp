// SPDX-License-Identifier: MIT
#include "platform/PlatformSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h> // and mstcpip.h, after winsock2.h

namespace CorvanePlatform
{

void AcknowledgeReceivedNow(uint64_t uSocket)
{
    // Windows has no one-shot switch; an acknowledgement frequency of 1 turns
    // the delay off for the socket (Windows 10 and later; older ones refuse).
    TCP_ACK_FREQUENCY_PARAMETERS params = {};
    params.TcpDelayedAckFrequency = 1;
    DWORD dwReturned = 0;
    (void)WSAIoctl(static_cast<SOCKET>(uSocket), SIO_TCP_SET_ACK_FREQUENCY, &params, sizeof(params), nullptr,
                   0, &dwReturned, nullptr, nullptr);
}

} // namespace CorvanePlatform
