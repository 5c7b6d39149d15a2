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

bool IsDirectory(const std::string& strPath);
bool IsRegularFile(const std::string& strPath);

} // namespace CorvaneToolPlatform
