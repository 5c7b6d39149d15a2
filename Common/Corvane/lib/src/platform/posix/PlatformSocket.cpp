// SPDX-License-Identifier: MIT
#include "platform/PlatformSocket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace CorvanePlatform
{

void AcknowledgeReceivedNow(uint64_t uSocket)
{
#ifdef TCP_QUICKACK
    // Not sticky: the kernel falls back to delayed acknowledgements once the
    // exchange looks interactive, so this is repeated as data arrives.
    const int nOn = 1;
    (void)setsockopt(static_cast<int>(uSocket), IPPROTO_TCP, TCP_QUICKACK, &nOn, sizeof(nOn));
#else
    (void)uSocket;
#endif
}

} // namespace CorvanePlatform
