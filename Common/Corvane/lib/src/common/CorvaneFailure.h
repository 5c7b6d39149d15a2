// SPDX-License-Identifier: MIT
// The last system failure: what a person can act on when a call fails because
// the system refused it, "cannot create /srv/store/dat/v3: Permission denied".
// One record for the whole process (workers fail on their own threads, the
// caller asks on its own): the first failure since the last read wins, as the
// ones after it are usually its consequences. Every function is thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace CorvaneUtil
{

// Keeps "cannot <pcszWhat> <strPath>[ to <pcszTo>]: <system text for nCode>"
// unless a failure is kept already, and writes it to the log as a
// "system error: ..." line. nCode comes from CorvanePlatform::LastErrorCode(),
// taken right after the failed call.
void NoteSystemFailure(int nCode, const char* pcszWhat, const std::string& strPath,
                       const char* pcszTo = nullptr);
// The same with the calling thread's code at this moment.
void NoteLastSystemFailure(const char* pcszWhat, const std::string& strPath, const char* pcszTo = nullptr);

// Keeps a failure that has no system reason but must reach a person (a
// refused signature: "store not trusted: ..."), and writes it to the log as
// an "error: ..." line. Same first-wins rule.
void NoteFailureText(const std::string& strText);

// Copies the kept failure into pszOut (cut to uSize - 1 bytes) and forgets it.
// False, with pszOut empty, when none is kept. pszOut null only forgets.
bool TakeLastFailure(char* pszOut, uint32_t uSize);

} // namespace CorvaneUtil
