// SPDX-License-Identifier: MIT
// Path helpers. Store paths are narrow UTF-8 strings with '/' separators.
#pragma once

#include <string>

namespace CorvaneUtil
{

// Copy of pcszPath (null = empty) with '\' -> '/' and ASCII letters lower-cased.
// Nothing else changes: no trimming, no "." or ".." handling. Always true.
bool ToNormalizePath(std::string& strOut, const char* pcszPath);

// True for an absolute path of this platform or of Windows ("c:/x", "c:\x", "//host/x", "/x").
bool IsAbsolutePath(const char* pcszPath);

// Absolute, lexically normalised ("." and ".." resolved, separators collapsed),
// then ToNormalizePath, without trailing '/' (a root keeps its slash).
bool ToNormalizeAbsolutePath(std::string& strOut, const char* pcszPath);

// True when path equals rootDir or lies below it (both normalised absolute).
bool IsSubDir(const char* pcszPath, const char* pcszRootDir);

// a + "/" + b, plain concatenation.
std::string PathJoin(const std::string& a, const std::string& b);

// The part before the last '/' or '\'; empty when there is none.
std::string ParentPath(const std::string& strPath);

// True when a relative path from a store, list or tree is safe to join below a
// directory: not empty, not absolute, no drive or root, no ".." component, no
// control bytes (NUL included).
bool IsSafeRelativePath(const std::string& strPath);

} // namespace CorvaneUtil
