// SPDX-License-Identifier: MIT
#include "fs/CorvaneFiles.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "common/CorvaneMemory.h"
#include "common/CorvanePath.h"
#include "fs/PemMultiProcessFileLock.h"
#include "platform/PlatformDirectory.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformProcess.h"

#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <unordered_set>

namespace CorvaneUtil
{

namespace
{

uint32_t RandomBelow10000()
{
    static std::mutex s_mtx;
    static std::mt19937 s_engine = []
    {
        try
        {
            std::random_device device;
            return std::mt19937(device());
        }
        catch (...)
        {
            // No random device: time and pid still keep processes apart.
            return std::mt19937(
                static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                      CorvanePlatform::CurrentProcessId()));
        }
    }();
    std::lock_guard<std::mutex> lock(s_mtx);
    return static_cast<uint32_t>(std::uniform_int_distribution<uint32_t>(0, 9999)(s_engine));
}

// path.<pid>.<ms since the epoch>.<0..9999>.tmp, beside the target.
std::string TempFileName(const char* pcszFileName)
{
    const long long nMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    return std::string(pcszFileName) + "." + std::to_string(CorvanePlatform::CurrentProcessId()) + "." +
           std::to_string(nMs) + "." + std::to_string(RandomBelow10000()) + ".tmp";
}

// The writer's process id of a name TempFileName made, or 0.
uint32_t TempFileWriter(const std::string& strName)
{
    static const char kSuffix[] = ".tmp";
    const size_t uSuffix = sizeof(kSuffix) - 1;
    if (strName.size() <= uSuffix || strName.compare(strName.size() - uSuffix, uSuffix, kSuffix) != 0)
    {
        return 0;
    }
    // Three numbers from the end: the random part, the time, the process id.
    size_t uEnd = strName.size() - uSuffix;
    uint64_t uPid = 0;
    for (int nField = 0; nField < 3; ++nField)
    {
        const size_t uDot = strName.rfind('.', uEnd - 1);
        if (uDot == std::string::npos || uDot == 0 || uDot + 1 == uEnd || uEnd - uDot > 21)
        {
            return 0;
        }
        uint64_t uValue = 0;
        for (size_t i = uDot + 1; i < uEnd; ++i)
        {
            if (strName[i] < '0' || strName[i] > '9')
            {
                return 0;
            }
            uValue = uValue * 10 + static_cast<uint64_t>(strName[i] - '0');
        }
        uPid = uValue;
        uEnd = uDot;
    }
    return uPid <= UINT32_MAX ? static_cast<uint32_t>(uPid) : 0;
}

// Removes the temporary files a killed writer left in the directory, once per
// directory and process: nothing else would ever remove them. A running
// writer's (ours included) are in use.
void RemoveDeadWritersTemps(const std::string& strDir)
{
    static std::mutex s_mtx;
    static std::unordered_set<std::string> s_setSwept;
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        if (!s_setSwept.insert(strDir).second)
        {
            return;
        }
    }
    CorvanePlatform::DirectoryListing listing;
    if (!CorvanePlatform::ListDirectory(strDir.empty() ? "." : strDir.c_str(), &listing))
    {
        return;
    }
    const uint32_t uOwnPid = CorvanePlatform::CurrentProcessId();
    for (const CorvanePlatform::DirectoryItem& item : listing.vecItems)
    {
        const uint32_t uPid = item.bFile ? TempFileWriter(item.strName) : 0;
        if (uPid != 0 && uPid != uOwnPid && !CorvanePlatform::IsProcessRunning(uPid))
        {
            CorvanePlatform::RemoveFile(
                (strDir.empty() ? item.strName : strDir + "/" + item.strName).c_str());
        }
    }
}

// Deletes the temporary file unless the write went through.
class TempFileGuard
{
public:
    explicit TempFileGuard(const std::string& strPath) : m_strPath(strPath) {}
    ~TempFileGuard()
    {
        if (m_bArmed)
        {
            CorvanePlatform::RemoveFile(m_strPath.c_str());
        }
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Dismiss() { m_bArmed = false; }

private:
    const std::string& m_strPath;
    bool m_bArmed = true;
};

} // namespace

bool SysExisted(const char* pcszFileName)
{
    CORVANE_CHECK(pcszFileName && *pcszFileName);
    return CorvanePlatform::PathExists(pcszFileName);
}

int SysOpen(const char* pcszFileName, std::shared_ptr<PemFileLockObj>* ppLockObj)
{
    CORVANE_CHECK_RET(pcszFileName && *pcszFileName, -1);
    CORVANE_CHECK_RET(ppLockObj, -1);
    try
    {
        std::shared_ptr<PemFileLockObj> spLockObj =
            PemMultiProcessFileLock::Instance().GetReadLockObj(pcszFileName, 0);
        CORVANE_CHECK_RET(spLockObj, -1);
        int nFile = CorvanePlatform::FileOpen(pcszFileName, CorvanePlatform::FileMode::ReadShared);
        if (nFile >= 0)
        {
            *ppLockObj = std::move(spLockObj);
        }
        else
        {
            // A missing file is an answer (a cache miss, an optional file); a
            // file that is there and refused is a failure to report.
            const int nError = CorvanePlatform::LastErrorCode();
            if (!CorvanePlatform::IsNotFoundError(nError))
            {
                NoteSystemFailure(nError, "open", pcszFileName);
            }
        }
        return nFile;
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return -1;
    }
}

bool SysDelete(const char* pcszFileName)
{
    CORVANE_CHECK(pcszFileName && *pcszFileName);
    if (!CorvanePlatform::PathExists(pcszFileName))
    {
        return true;
    }
    return CorvanePlatform::RemoveFile(pcszFileName);
}

bool CreateParentDirectories(const std::string& strPath)
{
    try
    {
        std::string strParent = ParentPath(strPath);
        std::string strFailed;
        if (strParent.empty() || CorvanePlatform::CreateDirectories(strParent, &strFailed))
        {
            return true;
        }
        NoteLastSystemFailure("create", strFailed.empty() ? strParent : strFailed);
        return false;
    }
    catch (...)
    {
        return false;
    }
}

bool DiskWrite(NSCorvane::IFile* pif, const char* pcszFileName)
{
    CORVANE_CHECK(pif);
    CORVANE_CHECK(pcszFileName && *pcszFileName);
    const uint32_t uSize = pif->Size();
    const void* pData = uSize ? pif->GetBuffer() : nullptr;
    CORVANE_CHECK(uSize == 0 || pData);
    return DiskWriteBytes(pData, uSize, pcszFileName);
}

namespace
{

bool WriteReplacing(const void* pData, uint64_t uSize, const char* pcszFileName, bool bFlush)
{
    CORVANE_CHECK(pcszFileName && *pcszFileName);
    CORVANE_CHECK(uSize == 0 || pData);
    try
    {
        std::shared_ptr<PemFileLockObj> spLockObj =
            PemMultiProcessFileLock::Instance().WaitGetWriteLockObj(pcszFileName, 0);
        CORVANE_CHECK(spLockObj);
        CORVANE_CHECK(CreateParentDirectories(pcszFileName));
        RemoveDeadWritersTemps(ParentPath(pcszFileName));

        // The name is unique in practice; opening it exclusively makes sure we never
        // write into (or later delete) a file that someone else created.
        std::string strTempFile;
        int fh = -1;
        for (int nTry = 0; nTry < 8 && fh < 0; ++nTry)
        {
            strTempFile = TempFileName(pcszFileName);
            fh = CorvanePlatform::FileOpen(strTempFile.c_str(), CorvanePlatform::FileMode::WriteExclusive);
        }
        if (fh < 0)
        {
            NoteLastSystemFailure("create", strTempFile);
        }
        CORVANE_CHECK(fh >= 0);
        TempFileGuard guard(strTempFile);

        const uint64_t uWrite = uSize ? CorvanePlatform::FileWriteAll(fh, pData, uSize) : 0;
        if (uWrite != uSize)
        {
            NoteLastSystemFailure("write", strTempFile);
        }
        const bool bSynced = uWrite != uSize || !bFlush || CorvanePlatform::FileSync(fh);
        if (!bSynced)
        {
            NoteLastSystemFailure("sync", strTempFile);
        }
        const bool bClosed = CorvanePlatform::FileClose(fh);
        if (!bClosed)
        {
            NoteLastSystemFailure("close", strTempFile);
        }
        CORVANE_CHECK(uWrite == uSize);
        CORVANE_CHECK(bSynced && bClosed);
        const bool bReplaced = bFlush
                                   ? CorvanePlatform::ReplaceFile(strTempFile.c_str(), pcszFileName)
                                   : CorvanePlatform::ReplaceFileUnflushed(strTempFile.c_str(), pcszFileName);
        if (!bReplaced)
        {
            NoteLastSystemFailure("rename", strTempFile, pcszFileName);
        }
        CORVANE_CHECK(bReplaced);
        guard.Dismiss();
        return true;
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
}

} // namespace

bool DiskWriteBytes(const void* pData, uint64_t uSize, const char* pcszFileName)
{
    return WriteReplacing(pData, uSize, pcszFileName, /*bFlush=*/true);
}

bool CacheWriteBytes(const void* pData, uint64_t uSize, const char* pcszFileName)
{
    return WriteReplacing(pData, uSize, pcszFileName, /*bFlush=*/false);
}

NSCorvane::IFile* DiskOpen(const char* pcszFileName)
{
    NSCorvane::IStreamFileSys* piFileSys = gOption().piFileSys;
    return piFileSys ? piFileSys->Open(pcszFileName, 0) : nullptr;
}

bool DiskExisted(const char* pcszFileName)
{
    NSCorvane::IStreamFileSys* piFileSys = gOption().piFileSys;
    return piFileSys && piFileSys->Exists(pcszFileName, 0);
}

CacheStreamWriter::~CacheStreamWriter()
{
    if (m_nFile >= 0)
    {
        CorvanePlatform::FileClose(m_nFile);
    }
    if (!m_bCommitted && !m_strTemp.empty())
    {
        CorvanePlatform::RemoveFile(m_strTemp.c_str());
    }
}

int CreateTempBeside(const std::string& strPath, std::string& strTemp)
{
    CORVANE_CHECK_RET(!strPath.empty(), -1);
    CORVANE_CHECK_RET(CreateParentDirectories(strPath), -1);
    RemoveDeadWritersTemps(ParentPath(strPath.c_str()));
    int nFile = -1;
    for (int nTry = 0; nTry < 8 && nFile < 0; ++nTry)
    {
        strTemp = TempFileName(strPath.c_str());
        nFile = CorvanePlatform::FileOpen(strTemp.c_str(), CorvanePlatform::FileMode::WriteExclusive);
    }
    if (nFile < 0)
    {
        NoteLastSystemFailure("create", strTemp);
    }
    return nFile;
}

bool CacheStreamWriter::OpenTemp()
{
    std::string strTemp;
    m_nFile = CreateTempBeside(m_strPath, strTemp);
    CORVANE_CHECK(m_nFile >= 0);
    m_strTemp = strTemp;
    return true;
}

bool CacheStreamWriter::Write(const void* pData, size_t uSize)
{
    try
    {
        if (m_nFile < 0 && (m_bCommitted || !OpenTemp()))
        {
            return false;
        }
        if (uSize && CorvanePlatform::FileWriteAll(m_nFile, pData, uSize) != uSize)
        {
            NoteLastSystemFailure("write", m_strTemp);
            return false;
        }
        return true;
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
}

bool CacheStreamWriter::Commit()
{
    try
    {
        if (m_nFile < 0 && !m_bCommitted)
        {
            CORVANE_CHECK(OpenTemp()); // an empty file
        }
        CORVANE_CHECK(m_nFile >= 0);
        const bool bClosed = CorvanePlatform::FileClose(m_nFile);
        m_nFile = -1;
        if (!bClosed)
        {
            NoteLastSystemFailure("close", m_strTemp);
        }
        CORVANE_CHECK(bClosed);
        std::shared_ptr<PemFileLockObj> spLockObj =
            PemMultiProcessFileLock::Instance().WaitGetWriteLockObj(m_strPath.c_str(), 0);
        CORVANE_CHECK(spLockObj);
        const bool bReplaced = CorvanePlatform::ReplaceFileUnflushed(m_strTemp.c_str(), m_strPath.c_str());
        if (!bReplaced)
        {
            NoteLastSystemFailure("rename", m_strTemp, m_strPath.c_str());
        }
        CORVANE_CHECK(bReplaced);
        m_bCommitted = true;
        return true;
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
}

} // namespace CorvaneUtil
