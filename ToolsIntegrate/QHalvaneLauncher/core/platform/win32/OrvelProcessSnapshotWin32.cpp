#include "platform/OrvelProcessSnapshot.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstring>

namespace OrvelPlatform
{

namespace
{
QString LastErrorText(const QString& strWhat)
{
    return QStringLiteral("%1 (error code: %2)").arg(strWhat).arg(static_cast<qulonglong>(::GetLastError()));
}
} // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* pvecOut, QString* pstrError)
{
    pvecOut->clear();
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
    {
        *pstrError = LastErrorText(QStringLiteral("CreateToolhelp32Snapshot failed"));
        return false;
    }
    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    bool bOk = ::Process32FirstW(hSnapshot, &entry) != FALSE;
    if (!bOk)
        *pstrError = LastErrorText(QStringLiteral("Process32FirstW failed"));
    while (bOk)
    {
        ProcessEntry out;
        out.uPid = static_cast<quint32>(entry.th32ProcessID);
        out.strExecutableName = QString::fromWCharArray(entry.szExeFile);
        if (out.uPid != 0 && !out.strExecutableName.isEmpty())
            pvecOut->push_back(out);
        if (::Process32NextW(hSnapshot, &entry) == FALSE)
            break;
    }
    ::CloseHandle(hSnapshot);
    return bOk;
}

bool ProcessImagePath(quint32 uPid, QString* pstrPath, QString* pstrError)
{
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(uPid));
    if (hProcess == nullptr)
    {
        *pstrError = LastErrorText(QStringLiteral("OpenProcess failed for process %1").arg(uPid));
        return false;
    }
    wchar_t szPath[32768];
    DWORD uSize = static_cast<DWORD>(sizeof(szPath) / sizeof(szPath[0]));
    const bool bOk = ::QueryFullProcessImageNameW(hProcess, 0, szPath, &uSize) != FALSE;
    if (bOk)
        *pstrPath = QString::fromWCharArray(szPath, static_cast<int>(uSize));
    else
        *pstrError =
            LastErrorText(QStringLiteral("QueryFullProcessImageNameW failed for process %1").arg(uPid));
    ::CloseHandle(hProcess);
    return bOk;
}

QString ExecutableSuffix()
{
    return QStringLiteral(".exe");
}

Qt::CaseSensitivity FileNameCaseSensitivity()
{
    return Qt::CaseInsensitive;
}

} // namespace OrvelPlatform
