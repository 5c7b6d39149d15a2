// SPDX-License-Identifier: MIT
#include "net/PemHttpDownloader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"
#include "net/CorvaneCurl.h"
#include "net/CorvaneUrl.h"
#include "net/HttpPrivateImpl.h"
#include "net/PemSharedBodyFile.h"
#include "net/PemSourceHealth.h"
#include "platform/PlatformTime.h"

#include <Corvane/CorvaneRecords.h>

#include <cstdio>
#include <memory>
#include <new>

// Some records name the step rather than the function they happen in.
#define CORVANE_REPORT_UNDER(function, text) ::CorvaneUtil::ReportCheckFailure(function, __LINE__, text)

namespace NSCorvane
{

namespace
{

constexpr int kRemoteMask = SHO_RemoteFirst | SHO_RemoteOnly;

// Every Open/Exists is counted, so that Shutdown can wait for all of them.
class OpenScope
{
public:
    explicit OpenScope(HttpPrivateImpl* pPrivate) : m_pPrivate(pPrivate), m_bEntered(pPrivate->EnterOpen()) {}
    ~OpenScope()
    {
        if (m_bEntered)
        {
            m_pPrivate->LeaveOpen();
        }
    }
    OpenScope(const OpenScope&) = delete;
    OpenScope& operator=(const OpenScope&) = delete;
    bool Entered() const { return m_bEntered; }

private:
    HttpPrivateImpl* m_pPrivate;
    bool m_bEntered;
};

bool ReadFileBody(IFile* pif, std::string& strBody)
{
    const uint32_t uSize = pif->Size();
    const void* pBuffer = pif->GetBuffer();
    if (!(uSize == 0 || pBuffer))
    {
        CORVANE_REPORT_UNDER("ReadFileBody", "uSize == 0 || pBuffer");
        return false;
    }
    try
    {
        strBody.assign(static_cast<const char*>(pBuffer), uSize);
    }
    catch (...)
    {
        CORVANE_REPORT_UNDER("ReadFileBody", "strBody.assign(pBuffer, uSize)");
        return false;
    }
    return true;
}

// A file over the flight's body; it keeps the flight state (and so the body) alive.
IFile* NewBodyFile(const std::shared_ptr<HttpOpenFlightState>& spState)
{
    return PemSharedBodyFile::Create(std::shared_ptr<const std::string>(spState, &spState->strBody));
}

// A joiner's share of someone else's download.
IFile* OpenFlightResult(const std::shared_ptr<HttpOpenFlightState>& spState)
{
    if (!spState)
    {
        CORVANE_REPORT_UNDER("OpenFlightResult", "spState");
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(spState->mtx);
    spState->cv.wait(lock, [&] { return spState->bFinished; });
    if (!spState->bSucceeded)
    {
        CORVANE_REPORT_UNDER("OpenFlightResult", "spState->bSucceeded");
        return nullptr;
    }
    lock.unlock(); // strBody is read-only once finished
    return NewBodyFile(spState);
}

} // namespace

PemHttpDownloader* PemHttpDownloader::Create()
{
    return new (std::nothrow) PemHttpDownloader();
}

PemHttpDownloader::~PemHttpDownloader()
{
    if (m_pd)
    {
        m_pd->ShutdownAndWait();
        delete m_pd;
    }
}

void PemHttpDownloader::Release()
{
    delete this;
}

bool PemHttpDownloader::InitlizeUrl(const CorvaneRemoteInfo& info)
{
    CORVANE_CHECK(nullptr == m_pd);
    CORVANE_CHECK(CorvaneUtil::gOption().piFileSys);
    CORVANE_CHECK(NSCorvaneNet::LoadCurl());
    try
    {
        m_strCacheDir = info.strDir;
        m_strUrl = info.strUrl;
        m_uCache = info.uCache;
        m_uConnections = info.uConnections;
        m_bRangeOff.store(info.uRange == 0);
        m_pd = new HttpPrivateImpl(info);
    }
    catch (...)
    {
        CORVANE_REPORT("new HttpPrivateImpl(info)");
        return false;
    }
    return true;
}

void PemHttpDownloader::SetSourceHealth(PemSourceHealth* pHealth, size_t uIndex)
{
    m_pHealth = pHealth;
    m_uHealthIndex = uIndex;
}

bool PemHttpDownloader::AdmitRequest()
{
    return !m_pHealth || m_pHealth->Admit(m_uHealthIndex);
}

bool PemHttpDownloader::SourceUsable() const
{
    return !m_pHealth || m_pHealth->IsUsable(m_uHealthIndex);
}

void PemHttpDownloader::SettleRequest(bool bCancelled, bool bSourceFailed, const std::string& strReason)
{
    if (!m_pHealth)
    {
        return;
    }
    if (bCancelled)
    {
        m_pHealth->Release(m_uHealthIndex);
    }
    else if (bSourceFailed)
    {
        m_pHealth->MarkFailed(m_uHealthIndex, strReason);
    }
    else
    {
        m_pHealth->MarkAnswered(m_uHealthIndex);
    }
}

bool PemHttpDownloader::Shutdown()
{
    if (m_pd)
    {
        m_pd->ShutdownAndWait();
    }
    return true;
}

IFile* PemHttpDownloader::Open(const char* pcszFile, int nOption)
{
    CORVANE_CHECK_NULL(pcszFile && *pcszFile);
    HttpPrivateImpl* pPrivate = m_pd;
    CORVANE_CHECK_NULL(pPrivate);
    OpenScope scope(pPrivate);
    if (!scope.Entered())
    {
        return nullptr; // shutting down
    }
    // The path ends up below the cache directory: it must not leave it.
    CORVANE_CHECK_NULL(CorvaneUtil::IsSafeRelativePath(pcszFile));
    try
    {
        const bool bRemote = (nOption & kRemoteMask) != 0;
        std::shared_ptr<HttpOpenFlightState> spState;
        bool bOwner = false;
        {
            std::lock_guard<std::mutex> lock(pPrivate->m_mtxFlight);
            std::shared_ptr<HttpOpenFlightState>& spSlot = pPrivate->m_mapFlight[pcszFile];
            if (!spSlot)
            {
                spSlot = std::make_shared<HttpOpenFlightState>();
                if (!m_strCacheDir.empty() && !(m_uCache == 0 && bRemote))
                {
                    spSlot->strCachePath = CorvaneUtil::PathJoin(m_strCacheDir, pcszFile);
                }
                bOwner = true;
            }
            spState = spSlot;
        }
        if (!bOwner)
        {
            return OpenFlightResult(spState);
        }
        return RunFlight(pPrivate, pcszFile, bRemote, spState);
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return nullptr;
    }
}

IFile* PemHttpDownloader::RunFlight(HttpPrivateImpl* pPrivate, const char* pcszFile, bool bRemote,
                                    const std::shared_ptr<HttpOpenFlightState>& spState)
{
    // Joiners learn the result however this ends, and the flight leaves the
    // table so that later opens start afresh (and normally find the cache copy).
    bool bSucceeded = false;
    bool bCached = false;
    struct FinishGuard
    {
        HttpPrivateImpl* pPrivate;
        const char* pcszFile;
        const std::shared_ptr<HttpOpenFlightState>& spState;
        bool& bSucceeded;
        bool& bCached;
        ~FinishGuard()
        {
            {
                std::lock_guard<std::mutex> lock(spState->mtx);
                spState->bSucceeded = bSucceeded;
                spState->bCached = bCached;
                spState->bFinished = true;
            }
            spState->cv.notify_all();
            std::lock_guard<std::mutex> lock(pPrivate->m_mtxFlight);
            auto it = pPrivate->m_mapFlight.find(pcszFile);
            if (it != pPrivate->m_mapFlight.end() && it->second == spState)
            {
                pPrivate->m_mapFlight.erase(it);
            }
        }
    } guard{pPrivate, pcszFile, spState, bSucceeded, bCached};

    const std::string& strCachePath = spState->strCachePath;
    std::string& strBody = spState->strBody;
    bool bDownload = bRemote;
    if (!bRemote)
    {
        if (!strCachePath.empty())
        {
            if (IFile* pCacheFile = CorvaneUtil::DiskOpen(strCachePath.c_str()))
            {
                if (ReadFileBody(pCacheFile, strBody))
                {
                    bCached = true;
                }
                else
                {
                    CORVANE_REPORT_UNDER("ReadCacheIntoFlight",
                                         "ReadFileBody(pCacheFile, openCtx.spState->strBody)");
                    strBody.clear();
                }
                pCacheFile->Release();
            }
        }
        // No copy, an unreadable one, or an empty one: fetch it.
        bDownload = strBody.empty();
        if (bDownload)
        {
            bCached = false;
        }
    }
    if (bDownload)
    {
        if (!AdmitRequest())
        {
            return nullptr; // passed over for this task: the next source is asked, quietly
        }
        if (!_OpenHttp(pcszFile, strBody))
        {
            CORVANE_REPORT("_OpenHttp() returned nullptr");
            return nullptr;
        }
        if (!strCachePath.empty())
        {
            // A failed cache write costs a later download, not this open.
            bCached = CorvaneUtil::CacheWriteBytes(strBody.data(), strBody.size(), strCachePath.c_str());
        }
    }
    IFile* pResult = NewBodyFile(spState);
    bSucceeded = pResult != nullptr;
    return pResult;
}

void PemHttpDownloader::AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts)
{
    // m_pd lives until destruction once made.
    if (m_pd)
    {
        m_pd->AddTransferCounts(counts);
    }
}

RangeReadResult PemHttpDownloader::ReadRange(const char* pcszFile, uint32_t uOffset, uint32_t uLength,
                                             IFile** ppFile)
{
    CORVANE_CHECK_RET(ppFile, RangeReadResult::Failed);
    *ppFile = nullptr;
    CORVANE_CHECK_RET(pcszFile && *pcszFile, RangeReadResult::Failed);
    HttpPrivateImpl* pPrivate = m_pd;
    CORVANE_CHECK_RET(pPrivate, RangeReadResult::Failed);
    if (m_bRangeOff.load())
    {
        return RangeReadResult::UseWhole;
    }
    OpenScope scope(pPrivate);
    if (!scope.Entered())
    {
        return RangeReadResult::Cancelled;
    }
    CORVANE_CHECK_RET(CorvaneUtil::IsSafeRelativePath(pcszFile), RangeReadResult::Failed);
    try
    {
        // A NUL cannot occur in a path, so no path and range share a key.
        std::string strKey = pcszFile;
        strKey += '\0';
        strKey += std::to_string(uOffset) + "+" + std::to_string(uLength);
        std::shared_ptr<HttpOpenFlightState> spState;
        bool bOwner = false;
        {
            std::lock_guard<std::mutex> lock(pPrivate->m_mtxFlight);
            std::shared_ptr<HttpOpenFlightState>& spSlot = pPrivate->m_mapRangeFlight[strKey];
            if (!spSlot)
            {
                spSlot = std::make_shared<HttpOpenFlightState>();
                bOwner = true;
            }
            spState = spSlot;
        }
        RangeReadResult eResult = RangeReadResult::Failed;
        if (bOwner)
        {
            eResult = RunRangeFlight(pPrivate, pcszFile, uOffset, uLength, strKey, spState);
        }
        else
        {
            std::unique_lock<std::mutex> lock(spState->mtx);
            spState->cv.wait(lock, [&] { return spState->bFinished; });
            eResult = static_cast<RangeReadResult>(spState->nRangeResult);
        }
        if (eResult == RangeReadResult::Ok)
        {
            *ppFile = NewBodyFile(spState); // the body is read-only once finished
            CORVANE_CHECK_RET(*ppFile, RangeReadResult::Failed);
        }
        return eResult;
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return RangeReadResult::Failed;
    }
}

RangeReadResult PemHttpDownloader::RunRangeFlight(HttpPrivateImpl* pPrivate, const char* pcszFile,
                                                  uint32_t uOffset, uint32_t uLength,
                                                  const std::string& strKey,
                                                  const std::shared_ptr<HttpOpenFlightState>& spState)
{
    // Joiners learn the result however this ends; later reads start afresh.
    RangeReadResult eResult = RangeReadResult::Failed;
    struct FinishGuard
    {
        HttpPrivateImpl* pPrivate;
        const std::string& strKey;
        const std::shared_ptr<HttpOpenFlightState>& spState;
        RangeReadResult& eResult;
        ~FinishGuard()
        {
            {
                std::lock_guard<std::mutex> lock(spState->mtx);
                spState->nRangeResult = static_cast<int>(eResult);
                spState->bSucceeded = eResult == RangeReadResult::Ok;
                spState->bFinished = true;
            }
            spState->cv.notify_all();
            std::lock_guard<std::mutex> lock(pPrivate->m_mtxFlight);
            auto it = pPrivate->m_mapRangeFlight.find(strKey);
            if (it != pPrivate->m_mapRangeFlight.end() && it->second == spState)
            {
                pPrivate->m_mapRangeFlight.erase(it);
            }
        }
    } guard{pPrivate, strKey, spState, eResult};

    if (!AdmitRequest())
    {
        eResult = RangeReadResult::Skipped;
        return eResult;
    }
    pPrivate->m_uPendingDownloads.fetch_add(1);
    std::string strMessage;
    bool bSourceFailed = false;
    const std::string strUrl = NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
    const HttpRangeResult eHttp =
        pPrivate->RangeDownload(strUrl, uOffset, uLength, spState->strBody, strMessage, bSourceFailed);
    SettleRequest(eHttp == HttpRangeResult::Cancelled, bSourceFailed, strMessage);
    if (pPrivate->m_uPendingDownloads.fetch_sub(1) == 1)
    {
        pPrivate->m_limiter.Reset();
    }
    if (!strMessage.empty())
    {
        CORVANE_REPORT(strMessage.c_str());
    }
    switch (eHttp)
    {
    case HttpRangeResult::Ok:
        eResult = RangeReadResult::Ok;
        break;
    case HttpRangeResult::WholeBody:
        TurnRangeOff();
        eResult = RangeReadResult::UseWhole;
        break;
    case HttpRangeResult::NotSatisfiable:
    case HttpRangeResult::Missing:
        eResult = RangeReadResult::UseWhole;
        break;
    case HttpRangeResult::Failed:
        eResult = RangeReadResult::Failed;
        break;
    case HttpRangeResult::Cancelled:
        eResult = RangeReadResult::Cancelled;
        break;
    }
    return eResult;
}

bool PemHttpDownloader::Exists(const char* pcszFile, int nOption)
{
    CORVANE_CHECK(pcszFile && *pcszFile);
    HttpPrivateImpl* pPrivate = m_pd;
    if (!pPrivate)
    {
        return false;
    }
    OpenScope scope(pPrivate);
    if (!scope.Entered())
    {
        return false;
    }
    CORVANE_CHECK(CorvaneUtil::IsSafeRelativePath(pcszFile));
    if ((nOption & kRemoteMask) != 0)
    {
        return _ExistsHttp(pcszFile);
    }
    try
    {
        if (!m_strCacheDir.empty() &&
            CorvaneUtil::DiskExisted(CorvaneUtil::PathJoin(m_strCacheDir, pcszFile).c_str()))
        {
            return true;
        }
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
    return _ExistsHttp(pcszFile);
}

bool PemHttpDownloader::_OpenHttp(const char* pcszFile, std::string& strBody)
{
    CORVANE_CHECK(pcszFile && *pcszFile);
    CORVANE_CHECK(m_strUrl.size());
    HttpPrivateImpl* pPrivate = m_pd;
    CORVANE_CHECK(pPrivate);
    CORVANE_CHECK(!pPrivate->IsShuttingDown());

    pPrivate->m_uPendingDownloads.fetch_add(1);
    std::string strMessage;
    bool bSourceFailed = false;
    const std::string strUrl = NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
    const bool bOk = pPrivate->FileDownload(strUrl, strBody, strMessage, bSourceFailed);
    SettleRequest(!bOk && strMessage == "Download file aborted", bSourceFailed, strMessage);
    if (!strMessage.empty())
    {
        CORVANE_REPORT(strMessage.c_str());
    }
    if (pPrivate->m_uPendingDownloads.fetch_sub(1) == 1)
    {
        // Nobody downloads any more: the next transfer starts with a clean allowance.
        pPrivate->m_limiter.Reset();
    }
    if (!bOk)
    {
        strBody.clear();
    }
    return bOk;
}

bool PemHttpDownloader::_ExistsHttp(const char* pcszFile)
{
    CORVANE_CHECK(pcszFile && *pcszFile);
    CORVANE_CHECK(m_strUrl.size());
    HttpPrivateImpl* pPrivate = m_pd;
    CORVANE_CHECK(pPrivate);
    CORVANE_CHECK(!pPrivate->IsShuttingDown());
    if (!AdmitRequest())
    {
        return false; // passed over for this task: the next source is asked
    }
    std::string strMessage;
    bool bSourceFailed = false;
    const std::string strUrl = NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
    const int nResult = pPrivate->QueryFile(strUrl, strMessage, bSourceFailed);
    // A cancelled query reads as a 404 here; either way the source did not fail.
    SettleRequest(false, bSourceFailed, strMessage);
    if (!strMessage.empty())
    {
        CORVANE_REPORT(strMessage.c_str());
    }
    return nResult == 1;
}

uint64_t PemHttpDownloader::GetCurrentSpeed()
{
    return m_pd ? m_pd->m_meter.Current() : 0;
}

bool PemHttpDownloader::SetLimitSpeed(uint64_t uBytesPerSecond)
{
    CORVANE_CHECK(m_pd);
    m_pd->m_limiter.SetLimit(uBytesPerSecond);
    return true;
}

bool PemHttpDownloader::CancelDownloads()
{
    return m_pd ? m_pd->CancelDownloads() : true;
}

void PemHttpDownloader::TurnRangeOff()
{
    // Asking again for every file would cost a request each: ask no more.
    if (!m_bRangeOff.exchange(true))
    {
        char szLine[1200];
        std::snprintf(szLine, sizeof(szLine),
                      "Range reads answered with the whole file, url=%s: whole packages from now on",
                      m_strUrl.c_str());
        CorvaneUtil::WriteLogLine(szLine);
    }
}

std::unique_ptr<HttpPrivateImpl::AsyncGet>
PemHttpDownloader::NewAsyncGet(const char* pcszFile, uint64_t uOffset, uint64_t uLength,
                               HttpPrivateImpl::AsyncGet::SinkFn fnSink)
{
    CORVANE_CHECK_NULL(m_pd && pcszFile && CorvaneUtil::IsSafeRelativePath(pcszFile));
    try
    {
        const std::string strUrl =
            NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
        return std::make_unique<HttpPrivateImpl::AsyncGet>(*m_pd, strUrl, uOffset, uLength,
                                                           std::move(fnSink));
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return nullptr;
    }
}

std::string PemHttpDownloader::CachePathOf(const char* pcszFile) const
{
    if (m_strCacheDir.empty() || !pcszFile || !CorvaneUtil::IsSafeRelativePath(pcszFile))
    {
        return std::string();
    }
    return CorvaneUtil::PathJoin(m_strCacheDir, pcszFile);
}

} // namespace NSCorvane
