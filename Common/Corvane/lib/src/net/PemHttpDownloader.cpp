// SPDX-License-Identifier: MIT
#include "net/PemHttpDownloader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneMemory.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"
#include "net/CorvaneCurl.h"
#include "net/CorvaneUrl.h"
#include "net/HttpPrivateImpl.h"
#include "net/PemSharedBodyFile.h"
#include "platform/PlatformTime.h"

#include <Corvane/CorvaneRecords.h>

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
        m_pd = new HttpPrivateImpl(info);
    }
    catch (...)
    {
        CORVANE_REPORT("new HttpPrivateImpl(info)");
        return false;
    }
    return true;
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
    const std::string strUrl = NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
    const bool bOk = pPrivate->FileDownload(strUrl, strBody, strMessage);
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
    std::string strMessage;
    const std::string strUrl = NSCorvaneNet::BuildFileUrl(m_strUrl, pcszFile, CorvanePlatform::SteadyMs());
    const int nResult = pPrivate->QueryFile(strUrl, strMessage);
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

} // namespace NSCorvane
