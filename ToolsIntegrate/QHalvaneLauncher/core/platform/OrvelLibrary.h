// Shared libraries bound at run time. A library once opened is never closed,
// so entry points looked up in it never dangle.
#pragma once

#include <QString>

namespace OrvelPlatform
{

// Opens the library at strPath (a full path; no search). Null on failure, with
// the loader's reason in *pstrReason ("(error code: ...)" detail on Windows, the
// loader's message elsewhere).
void* OpenLibrary(const QString& strPath, QString* pstrReason);
// The address of an exported function, or null.
void* LibrarySymbol(void* pLibrary, const char* pcszName);

} // namespace OrvelPlatform
