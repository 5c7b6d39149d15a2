// SPDX-License-Identifier: MIT
// What the corvane tool needs from the operating system, behind one small
// interface: loading the store library, its own location, terminals and paths.
// Paths are narrow UTF-8 strings. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace CorvaneToolPlatform
{

// File name of the store library on this platform.
extern const char* const kLibraryFile;

// Directory of the running executable, without a trailing separator; empty when unknown.
std::string ExecutableDir();

// A loaded library, or null with the system's reason in strError.
void* OpenLibrary(const std::string& strPath, std::string& strError);
void* FindSymbol(void* hLibrary, const char* pcszName);

bool IsStderrTerminal();
// Content written to stdout passes unchanged (no newline translation).
bool SetStdoutBinary();

// The absolute, canonical form of an existing path; false when it does not exist.
bool CanonicalPath(const std::string& strPath, std::string& strOut);
// An absolute path for a path that may not exist yet (joined to the current directory).
std::string AbsolutePath(const std::string& strPath);
bool IsAbsolute(const std::string& strPath);

// The user's directory for the tool's state (its log), which need not exist
// yet: $XDG_STATE_HOME/corvane or ~/.local/state/corvane; on Windows
// %LOCALAPPDATA%\corvane. Falls back to the temporary directory; never empty.
std::string UserStateDir();

bool IsDirectory(const std::string& strPath);
bool IsRegularFile(const std::string& strPath);

// A build makes and frees a great many small blocks; each fresh small page of
// heap is one page fault, which costs many microseconds on virtual machines.
// Where the C library can back its heap with transparent huge pages only when
// told at start-up, this starts the program once more, told so, and does not
// return. It returns, changing nothing, where that is not possible, already
// done, or set otherwise by the user (CORVANE_HEAP_PAGES in the environment).
void RestartWithHugeHeapPages(char** argv);

} // namespace CorvaneToolPlatform
