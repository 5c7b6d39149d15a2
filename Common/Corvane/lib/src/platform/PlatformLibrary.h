// SPDX-License-Identifier: MIT
// Shared libraries opened at run time, for dependencies that only some runs
// need. A library once opened stays loaded for the life of the process: there
// is no close, so addresses looked up in it never dangle.
#pragma once

namespace CorvanePlatform
{

struct SharedLibrary;

// Opens a library by file name (searched where the system searches; on Windows
// the folder of this library first, as its dependencies are deployed beside it)
// or by path; null on failure. The library's own dependencies are resolved at once.
SharedLibrary* LibraryOpen(const char* pcszName);
// The address of an exported symbol, or null.
void* LibrarySymbol(SharedLibrary* pLibrary, const char* pcszSymbol);
// The loader's text for the last failed LibraryOpen or LibrarySymbol of the
// calling thread, naming the library or symbol. Never null nor empty; valid until that thread's next call.
const char* LibraryLastError();

} // namespace CorvanePlatform
