// SPDX-License-Identifier: MIT
#include "common/CorvaneFailure.h"

#include "common/CorvaneLog.h"
#include "platform/PlatformError.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace CorvaneUtil
{

namespace
{

// A fixed buffer: noting a failure must not allocate, it may be the failure.
struct FailureRecord
{
    std::mutex mtx;
    bool bKept = false;
    char szText[2048] = {};
};

// Leaked on purpose, as the log's mutex: workers may fail while statics go.
FailureRecord& Record()
{
    static FailureRecord* s_pRecord = new FailureRecord;
    return *s_pRecord;
}

} // namespace

void NoteSystemFailure(int nCode, const char* pcszWhat, const std::string& strPath, const char* pcszTo)
{
    char szReason[512];
    CorvanePlatform::ErrorText(nCode, szReason, sizeof(szReason));
    char szLine[2048];
    std::snprintf(szLine, sizeof(szLine), "cannot %s %s%s%s: %s", pcszWhat ? pcszWhat : "use",
                  strPath.c_str(), pcszTo ? " to " : "", pcszTo ? pcszTo : "", szReason);
    {
        FailureRecord& record = Record();
        std::lock_guard<std::mutex> lock(record.mtx);
        if (!record.bKept)
        {
            std::memcpy(record.szText, szLine, sizeof(szLine));
            record.bKept = true;
        }
    }
    char szLogLine[sizeof(szLine) + 16];
    std::snprintf(szLogLine, sizeof(szLogLine), "system error: %s", szLine);
    WriteLogLine(szLogLine);
}

void NoteFailureText(const std::string& strText)
{
    {
        FailureRecord& record = Record();
        std::lock_guard<std::mutex> lock(record.mtx);
        if (!record.bKept)
        {
            std::snprintf(record.szText, sizeof(record.szText), "%s", strText.c_str());
            record.bKept = true;
        }
    }
    WriteLogLine(("error: " + strText).c_str());
}

void NoteLastSystemFailure(const char* pcszWhat, const std::string& strPath, const char* pcszTo)
{
    NoteSystemFailure(CorvanePlatform::LastErrorCode(), pcszWhat, strPath, pcszTo);
}

bool TakeLastFailure(char* pszOut, uint32_t uSize)
{
    FailureRecord& record = Record();
    std::lock_guard<std::mutex> lock(record.mtx);
    const bool bKept = record.bKept;
    if (pszOut && uSize > 0)
    {
        std::snprintf(pszOut, uSize, "%s", bKept ? record.szText : "");
    }
    record.bKept = false;
    record.szText[0] = '\0';
    return bKept;
}

} // namespace CorvaneUtil
