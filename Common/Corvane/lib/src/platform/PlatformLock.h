// SPDX-License-Identifier: MIT
// A named lock shared by every process of the machine: excludes holders in other
// processes and other holders in this process. A holder that dies releases it.
#pragma once

#include <cstdint>
#include <string>

namespace CorvanePlatform
{

struct NamedLock;

enum class NamedLockWait
{
    Acquired, // also when the previous holder died while holding it
    TimedOut,
    Failed,
};

// Opens (creating when missing) the lock "CorvaneLock_<uKey in decimal>"; null on
// failure, with the reason in LastErrorCode().
NamedLock* NamedLockOpen(uint64_t uKey);
// Where that lock lives, for messages: the lock file's path, or the object's name.
std::string NamedLockName(uint64_t uKey);
// Waits up to nWaitMs; a negative wait waits without limit.
NamedLockWait NamedLockAcquire(NamedLock* pLock, int64_t nWaitMs);
void NamedLockRelease(NamedLock* pLock);
// Closes the handle (releasing the lock if still held) and frees pLock.
void NamedLockClose(NamedLock* pLock);

} // namespace CorvanePlatform
