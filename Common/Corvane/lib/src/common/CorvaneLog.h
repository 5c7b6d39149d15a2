// SPDX-License-Identifier: MIT
// The library's log (by default "PemCorvane.log" in the current directory) and
// its error-log hook. The file exists only once something was logged. Every
// write is serialised by one process-wide mutex.
#pragma once

#include <string>

namespace CorvaneUtil
{

constexpr const char* kLogFileName = "PemCorvane.log";

using PFN_ErrorLogHook = void (*)(const char* pcszFunction, int nLine, const char* pcszCondition);

// Where the log goes from now on; null or empty: kLogFileName in the current
// directory (looked up at each write).
void SetLogPath(const char* pcszPath);
std::string LogPath();
// Removes the log file, so that the next line starts a new one. False when a
// log exists and cannot be removed.
bool ResetLogFile();
// Appends text + "\r\n", creating the file (and its missing directories) on
// the first line; ignores null or empty text.
void WriteLogLine(const char* pcszText);

// While no hook is installed, failed checks are silent.
void SetErrorLogHook(PFN_ErrorLogHook pfnHook);
// The library's hook: formats "PROCESS_ERROR failed. function=%s line=%d condition=%s".
void DefaultErrorLogHook(const char* pcszFunction, int nLine, const char* pcszCondition);

// Called by the check macros: turns a compiler signature into "Class::Method"
// (or "Namespace::Function") and calls the hook when one is installed.
void ReportCheckFailure(const char* pcszSignature, int nLine, const char* pcszCondition);
// The qualified name that ReportCheckFailure derives from a signature.
const char* QualifiedFunctionName(const char* pcszSignature, char* pszOut, unsigned uOutSize);

} // namespace CorvaneUtil
