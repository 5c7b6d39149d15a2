// SPDX-License-Identifier: MIT
// The system's reason for a failed call, as a code taken right after the call
// and a one-line text for a person. Every function is thread-safe and throws nothing.
#pragma once

#include <cstddef>

namespace CorvanePlatform
{

// The calling thread's code for its last failed system call (errno on POSIX,
// GetLastError on Windows). Read it before any other call can replace it.
int LastErrorCode();
// The system's text for nCode, one line without a trailing period, in
// pszOut (cut to uSize - 1 bytes). Returns pszOut.
const char* ErrorText(int nCode, char* pszOut, size_t uSize);
// A missing file or directory: often an expected answer, not a failure.
bool IsNotFoundError(int nCode);

} // namespace CorvanePlatform
