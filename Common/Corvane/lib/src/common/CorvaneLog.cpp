// SPDX-License-Identifier: MIT
#include "common/CorvaneLog.h"

#include "platform/PlatformFile.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace CorvaneUtil
{

namespace
{

// Leaked on purpose: failed checks may still log while static objects are destroyed.
std::mutex& LogMutex()
{
    static std::mutex* s_pMutex = new std::mutex;
    return *s_pMutex;
}

std::atomic<PFN_ErrorLogHook> g_pfnErrorLogHook{nullptr};

// Guarded by LogMutex(); leaked with it.
std::string& LogPathLocked()
{
    static std::string* s_pstrPath = new std::string;
    return *s_pstrPath;
}

const char* LogFileLocked()
{
    const std::string& strPath = LogPathLocked();
    return strPath.empty() ? kLogFileName : strPath.c_str();
}

int OpenLogLocked()
{
    const char* pcszPath = LogFileLocked();
    int nFile = CorvanePlatform::FileOpen(pcszPath, CorvanePlatform::FileMode::WriteAppend);
    if (nFile >= 0)
    {
        return nFile;
    }
    // A log in a directory of its own (a state directory, a store's _tmp) is
    // made with the first line, not before: a run that logs nothing leaves nothing.
    const std::string strPath = pcszPath;
    const size_t uSlash = strPath.find_last_of("/\\");
    if (uSlash == std::string::npos || uSlash == 0 ||
        !CorvanePlatform::CreateDirectories(strPath.substr(0, uSlash)))
    {
        return -1;
    }
    return CorvanePlatform::FileOpen(pcszPath, CorvanePlatform::FileMode::WriteAppend);
}

// The '(' that opens the parameter list: the first one that is not part of
// "(anonymous namespace)" and not the "()" of "operator()".
const char* ParameterListStart(const char* pcszSig)
{
    static const char kAnonymous[] = "(anonymous namespace)";
    static const char kOperator[] = "operator";
    const size_t uAnonLen = sizeof(kAnonymous) - 1;
    const size_t uOpLen = sizeof(kOperator) - 1;
    const char* p = pcszSig;
    for (; *p; ++p)
    {
        if (*p != '(')
        {
            continue;
        }
        if (std::strncmp(p, kAnonymous, uAnonLen) == 0)
        {
            p += uAnonLen - 1;
            continue;
        }
        if (p[1] == ')' && static_cast<size_t>(p - pcszSig) >= uOpLen &&
            std::strncmp(p - uOpLen, kOperator, uOpLen) == 0)
        {
            ++p;
            continue;
        }
        break;
    }
    return p;
}

// Brackets that may hold spaces or "::" which belong to one name component.
int DepthStep(char c)
{
    return (c == '>' || c == ')') ? 1 : (c == '<' || c == '(') ? -1 : 0;
}

// Start of the name that ends at pcszEnd: the return type and qualifiers
// ("static", "virtual", "__cdecl") stand before it, separated by a space.
const char* NameStart(const char* pcszBegin, const char* pcszEnd)
{
    int nDepth = 0;
    for (const char* p = pcszEnd; p > pcszBegin; --p)
    {
        nDepth += DepthStep(p[-1]);
        if (nDepth <= 0 && (p[-1] == ' ' || p[-1] == '\t'))
        {
            return p;
        }
    }
    return pcszBegin;
}

// Start of the last two "::"-separated components of [pcszBegin, pcszEnd).
const char* LastTwoComponents(const char* pcszBegin, const char* pcszEnd)
{
    int nDepth = 0;
    int nSeparators = 0;
    for (const char* p = pcszEnd; p - pcszBegin >= 2; --p)
    {
        nDepth += DepthStep(p[-1]);
        if (nDepth <= 0 && p[-1] == ':' && p[-2] == ':')
        {
            if (++nSeparators == 2)
            {
                return p;
            }
            --p;
        }
    }
    return pcszBegin;
}

} // namespace

void SetLogPath(const char* pcszPath)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    LogPathLocked().assign(pcszPath ? pcszPath : "");
}

std::string LogPath()
{
    std::lock_guard<std::mutex> lock(LogMutex());
    return LogFileLocked();
}

bool ResetLogFile()
{
    std::lock_guard<std::mutex> lock(LogMutex());
    const char* pcszPath = LogFileLocked();
    return CorvanePlatform::RemoveFile(pcszPath) || !CorvanePlatform::PathExists(pcszPath);
}

void WriteLogLine(const char* pcszText)
{
    if (!pcszText || !*pcszText)
    {
        return;
    }
    const size_t uLen = std::strlen(pcszText);
    std::lock_guard<std::mutex> lock(LogMutex());
    try
    {
        const int nFile = OpenLogLocked();
        if (nFile < 0)
        {
            return;
        }
        CorvanePlatform::FileWriteAll(nFile, pcszText, uLen);
        CorvanePlatform::FileWriteAll(nFile, "\r\n", 2);
        CorvanePlatform::FileClose(nFile);
    }
    catch (...)
    {
        // Out of memory for the directory's name: the line is lost, nothing else.
    }
}

void SetErrorLogHook(PFN_ErrorLogHook pfnHook)
{
    g_pfnErrorLogHook.store(pfnHook);
}

void DefaultErrorLogHook(const char* pcszFunction, int nLine, const char* pcszCondition)
{
    char szLine[2048];
    std::snprintf(szLine, sizeof(szLine), "PROCESS_ERROR failed. function=%s line=%d condition=%s",
                  pcszFunction ? pcszFunction : "", nLine, pcszCondition ? pcszCondition : "");
    WriteLogLine(szLine);
}

const char* QualifiedFunctionName(const char* pcszSignature, char* pszOut, unsigned uOutSize)
{
    if (!pszOut || uOutSize == 0)
    {
        return "";
    }
    pszOut[0] = '\0';
    if (!pcszSignature)
    {
        return pszOut;
    }
    const char* pcszEnd = ParameterListStart(pcszSignature);
    const char* pcszName = LastTwoComponents(NameStart(pcszSignature, pcszEnd), pcszEnd);
    size_t uLen = static_cast<size_t>(pcszEnd - pcszName);
    if (uLen >= uOutSize)
    {
        uLen = uOutSize - 1;
    }
    std::memcpy(pszOut, pcszName, uLen);
    pszOut[uLen] = '\0';
    return pszOut;
}

void ReportCheckFailure(const char* pcszSignature, int nLine, const char* pcszCondition)
{
    PFN_ErrorLogHook pfnHook = g_pfnErrorLogHook.load();
    if (!pfnHook)
    {
        return;
    }
    // Stack buffer: a failed allocation check must be able to log without allocating.
    char szName[512];
    pfnHook(QualifiedFunctionName(pcszSignature, szName, sizeof(szName)), nLine, pcszCondition);
}

} // namespace CorvaneUtil
