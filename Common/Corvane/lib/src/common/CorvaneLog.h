// SPDX-License-Identifier: MIT
// The library's log "PemCorvane.log" (current directory) and its error-log hook.
// Every write is serialised by one process-wide mutex.
#pragma once

namespace CorvaneUtil
{

constexpr const char* kLogFileName = "PemCorvane.log";

using PFN_ErrorLogHook = void (*)(const char* pcszFunction, int nLine, const char* pcszCondition);

// Creates or truncates the log file. False when it cannot be created.
bool ResetLogFile();
// Appends text + "\r\n"; ignores null or empty text.
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
