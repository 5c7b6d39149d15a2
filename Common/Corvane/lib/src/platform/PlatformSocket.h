// SPDX-License-Identifier: MIT
// Socket tuning the HTTP layer needs beyond what libcurl sets.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

// Acknowledges the data received on a connected TCP socket at once instead of
// after the delayed-acknowledgement timer. A server that holds back the last
// short segment of an answer until the data before it is acknowledged (Nagle
// with corked sendfile, common in nginx set-ups) otherwise stalls every
// request/response exchange by that timer, 40 ms on Linux. Failure is harmless
// and ignored.
void AcknowledgeReceivedNow(uint64_t uSocket);

} // namespace CorvanePlatform
