// SPDX-License-Identifier: MIT
#include "net/HttpPrivateImpl.h"

#include "net/CorvaneUrl.h"
#include "net/HttpTransfer.h"

#include "common/CorvaneAscii.h"
#include "common/CorvaneCheck.h"
#include "platform/PlatformSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

// The verdicts are shared with the transfers of a multi handle; their
// records name the request they judge, as before they were shared.
#define CORVANE_REPORT_AS(function, text) ::CorvaneUtil::ReportCheckFailure(function, __LINE__, text)

namespace NSCorvane
{

namespace
{

// An IFile holds at most 4 GiB - 1 bytes; a body that would not fit is refused.
constexpr uint64_t kMaxBody = UINT32_MAX;
// Reserve at most this much up front: a lying Content-Length must not make us allocate gigabytes.
constexpr uint64_t kMaxReserve = 256ull << 20;
// Content servers send clients on to mirrors; a longer chain is a loop or a fault.
constexpr long kMaxRedirects = 5;

// Where a redirect may lead: an HTTPS request never goes on over plain HTTP.
const char* RedirectProtocolsOf(const std::string& strUrl)
{
    static const char kHttps[] = "https://";
    const bool bHttps = strUrl.size() >= sizeof(kHttps) - 1 &&
                        std::equal(kHttps, kHttps + sizeof(kHttps) - 1, strUrl.begin(),
                                   [](char a, char b) { return a == CorvaneUtil::AsciiToLower(b); });
    return bHttps ? "https" : "http,https";
}

uint32_t TimeoutSecondsOf(uint32_t uTimeoutMs)
{
    if (static_cast<int32_t>(uTimeoutMs) <= 0)
    {
        return 1;
    }
    return static_cast<uint32_t>((static_cast<uint64_t>(uTimeoutMs) + 999) / 1000);
}

long ConnectTimeoutOf(uint32_t uSeconds)
{
    return static_cast<long>(std::min<uint32_t>(std::max<uint32_t>(uSeconds, 1), 10));
}

std::string CaBundleOf(const CorvaneRemoteInfo& info)
{
    if (!info.strCaBundle.empty())
    {
        return info.strCaBundle;
    }
    const char* pcszEnv = std::getenv("CORVANE_CA_BUNDLE");
    return pcszEnv ? pcszEnv : "";
}

// About a sixteenth of a second's allowance, so the bytes of a limited transfer
// flow evenly; the whole chunk when there is no limit.
size_t ThrottleSliceOf(uint64_t uLimit, size_t uChunk)
{
    if (uLimit == 0)
    {
        return uChunk;
    }
    return static_cast<size_t>(std::clamp<uint64_t>(uLimit / 16, 256, 16384));
}

const NSCorvaneNet::CurlApi& RequireCurl()
{
    const NSCorvaneNet::CurlApi* pCurl = NSCorvaneNet::LoadCurl();
    if (!pCurl)
    {
        throw std::runtime_error("libcurl not loaded");
    }
    return *pCurl;
}

template <typename... Args> std::string Format(const char* pcszFormat, Args... args)
{
    char szMessage[1024];
    std::snprintf(szMessage, sizeof(szMessage), pcszFormat, args...);
    return szMessage;
}

} // namespace

HttpPrivateImpl::HttpPrivateImpl(const CorvaneRemoteInfo& info)
    : m_curl(RequireCurl()), m_uTimeoutSeconds(TimeoutSecondsOf(info.uTimeoutMs)),
      m_uStallSeconds(std::max<uint32_t>(info.uStallSeconds, 1)), m_strCaBundle(CaBundleOf(info)),
      m_spPool(NSCorvaneNet::SharedHandlePool(m_curl, NSCorvaneNet::OriginOf(info.strUrl)))
{
    m_limiter.SetLimit(info.uLimitSpeed);
}

HttpPrivateImpl::~HttpPrivateImpl() = default;

bool HttpPrivateImpl::EnterOpen()
{
    std::lock_guard<std::mutex> lock(m_mtxRequest);
    if (m_bShuttingDown.load())
    {
        return false;
    }
    ++m_uActiveOpens;
    return true;
}

void HttpPrivateImpl::LeaveOpen()
{
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(m_mtxRequest);
        --m_uActiveOpens;
        bWake = m_uActiveOpens == 0 && m_bShuttingDown.load();
    }
    if (bWake)
    {
        m_cvRequest.notify_all();
    }
}

void HttpPrivateImpl::ShutdownAndWait()
{
    {
        std::lock_guard<std::mutex> lock(m_mtxRequest);
        m_bShuttingDown.store(true);
    }
    CancelDownloads();
    {
        std::unique_lock<std::mutex> lock(m_mtxRequest);
        m_cvRequest.wait(lock, [this] { return m_uActiveOpens == 0; });
    }
}

bool HttpPrivateImpl::CancelDownloads()
{
    std::vector<std::shared_ptr<HttpRequest>> vecActive;
    {
        std::lock_guard<std::mutex> lock(m_mtxRequest);
        vecActive.assign(m_lstActive.begin(), m_lstActive.end());
    }
    for (const std::shared_ptr<HttpRequest>& spRequest : vecActive)
    {
        spRequest->bCancel.store(true);
    }
    // Transfers waiting for the rate limit see their flag at once.
    m_limiter.WakeAll();
    return true;
}

size_t HttpPrivateImpl::HeaderCallback(char* pData, size_t uSize, size_t uCount, void* pUser)
{
    auto& ctx = *static_cast<TransferContext*>(pUser);
    const size_t uLen = uSize * uCount;
    try
    {
        if (!ctx.head.AddLine(pData, uLen))
        {
            return 0;
        }
    }
    catch (...)
    {
        ctx.bOutOfMemory = true;
        return 0;
    }
    return uLen;
}

size_t HttpPrivateImpl::WriteCallback(char* pData, size_t uSize, size_t uCount, void* pUser)
{
    auto& ctx = *static_cast<TransferContext*>(pUser);
    const size_t uLen = uSize * uCount;
    if (ctx.fnAbort())
    {
        return 0;
    }
    ctx.AcknowledgeReceived();
    if (!ctx.pBody && !ctx.fnSink)
    {
        return uLen;
    }
    if (ctx.bRange)
    {
        if (ctx.head.nStatus == 200)
        {
            return 0; // the whole package instead of the range: not worth reading
        }
        if (ctx.head.nStatus == 206 && ctx.Received() == 0 &&
            NSCorvaneNet::JudgeRangeHead(ctx.head, ctx.uRangeOffset, ctx.uRangeLength, nullptr) !=
                NSCorvaneNet::RangeVerdict::Partial)
        {
            return 0; // other bytes than asked: the caller says why
        }
    }
    if (ctx.head.nStatus != (ctx.bRange ? 206 : 200))
    {
        return uLen; // error pages are not kept
    }
    // libcurl itself stops at Content-Length; this also bounds bodies without one.
    const uint64_t uLimit = ctx.bRange            ? ctx.uRangeLength
                            : ctx.head.bHasLength ? std::min(ctx.head.uLength, kMaxBody)
                                                  : kMaxBody;
    if (ctx.Received() + uLen > uLimit)
    {
        ctx.bTooLarge = true;
        return 0;
    }
    // The limit is charged, and the meter fed, slice by slice: a chunk of
    // libcurl's buffer can hold most of a second's allowance, and counted as it
    // arrives it made the meter see a burst far above the limit.
    PemRateLimiter& limiter = ctx.pPrivate->m_limiter;
    for (size_t uDone = 0; uDone < uLen;)
    {
        const size_t uSlice = std::min(uLen - uDone, ThrottleSliceOf(limiter.Limit(), uLen));
        if (!limiter.Throttle(uSlice, ctx.fnAbort))
        {
            return 0;
        }
        ctx.pPrivate->m_meter.Add(uSlice);
        uDone += uSlice;
    }
    if (ctx.fnSink)
    {
        if (!ctx.fnSink(pData, uLen))
        {
            ctx.bSinkFailed = true;
            return 0;
        }
        ctx.uSunk += uLen;
        return uLen;
    }
    std::string& strBody = *ctx.pBody;
    try
    {
        if (strBody.empty() && ctx.head.bHasLength)
        {
            strBody.reserve(static_cast<size_t>(std::min(ctx.head.uLength, kMaxReserve)));
        }
        strBody.append(pData, uLen);
    }
    catch (...)
    {
        ctx.bOutOfMemory = true;
        return 0;
    }
    return uLen;
}

int HttpPrivateImpl::ProgressCallback(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& ctx = *static_cast<TransferContext*>(pUser);
    return ctx.fnAbort() ? 1 : 0;
}

CURLcode HttpPrivateImpl::SetCommonOptions(CURL* pHandle, const std::string& strUrl,
                                           const NSCorvaneNet::CurlHeaderList& headers, TransferContext& ctx)
{
    CURLcode eCode = CURLE_OK;
    auto fnSet = [&](CURLoption eOption, auto value)
    {
        if (eCode == CURLE_OK)
        {
            eCode = m_curl.pfnEasySetopt(pHandle, eOption, value);
        }
    };
    fnSet(CURLOPT_URL, strUrl.c_str());
    fnSet(CURLOPT_PROTOCOLS_STR, "http,https");
    // Each response's head starts over in HeaderCallback, so the checks of
    // status, length and range apply to the last answer, the one with the body.
    fnSet(CURLOPT_FOLLOWLOCATION, 1L);
    fnSet(CURLOPT_MAXREDIRS, kMaxRedirects);
    fnSet(CURLOPT_REDIR_PROTOCOLS_STR, RedirectProtocolsOf(strUrl));
    fnSet(CURLOPT_HTTPHEADER, headers.Get());
    fnSet(CURLOPT_NOSIGNAL, 1L); // many threads: no SIGALRM-based DNS timeouts
    fnSet(CURLOPT_CONNECTTIMEOUT, ConnectTimeoutOf(m_uTimeoutSeconds));
    fnSet(CURLOPT_HEADERFUNCTION, &HttpPrivateImpl::HeaderCallback);
    fnSet(CURLOPT_HEADERDATA, static_cast<void*>(&ctx));
    fnSet(CURLOPT_WRITEFUNCTION, &HttpPrivateImpl::WriteCallback);
    fnSet(CURLOPT_WRITEDATA, static_cast<void*>(&ctx));
    fnSet(CURLOPT_NOPROGRESS, 0L);
    fnSet(CURLOPT_XFERINFOFUNCTION, &HttpPrivateImpl::ProgressCallback);
    fnSet(CURLOPT_XFERINFODATA, static_cast<void*>(&ctx));
    fnSet(CURLOPT_SSL_VERIFYPEER, 1L);
    fnSet(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_strCaBundle.empty())
    {
        fnSet(CURLOPT_CAINFO, m_strCaBundle.c_str());
    }
    return eCode;
}

CURLcode HttpPrivateImpl::PrepareRequest(CURL* pHandle, const std::string& strUrl, TransferContext& ctx,
                                         NSCorvaneNet::CurlHeaderList& headers, bool bHead, bool bFresh)
{
    const std::string strRange =
        ctx.bRange ? Format("Range: bytes=%llu-%llu", static_cast<unsigned long long>(ctx.uRangeOffset),
                            static_cast<unsigned long long>(ctx.uRangeOffset + ctx.uRangeLength - 1))
                   : std::string();
    if (!headers.Append("Connection: keep-alive") || (ctx.bRange && !headers.Append(strRange.c_str())))
    {
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode eCode = SetCommonOptions(pHandle, strUrl, headers, ctx);
    auto fnSet = [&](CURLoption eOption, auto value)
    {
        if (eCode == CURLE_OK)
        {
            eCode = m_curl.pfnEasySetopt(pHandle, eOption, value);
        }
    };
    if (bHead)
    {
        fnSet(CURLOPT_NOBODY, 1L);
        fnSet(CURLOPT_TIMEOUT, static_cast<long>(m_uTimeoutSeconds));
    }
    else
    {
        fnSet(CURLOPT_HTTPGET, 1L);
        // No overall timeout, so a long body is never cut off by time; a transfer
        // that stalls below 1 byte/s for the stall window is abandoned instead.
        fnSet(CURLOPT_TIMEOUT, 0L);
        fnSet(CURLOPT_LOW_SPEED_LIMIT, 1L);
        fnSet(CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_uStallSeconds));
        // Fewer, larger chunks when unlimited; small ones keep a low limit smooth.
        fnSet(CURLOPT_BUFFERSIZE, m_limiter.Limit() ? 16384L : 262144L);
    }
    fnSet(CURLOPT_FRESH_CONNECT, bFresh ? 1L : 0L);
    return eCode;
}

void HttpPrivateImpl::CountRequest(CURL* pHandle, int nKind)
{
    ++m_auRequests[nKind];
    curl_off_t nReceived = 0;
    if (m_curl.pfnEasyGetinfo(pHandle, CURLINFO_SIZE_DOWNLOAD_T, &nReceived) == CURLE_OK && nReceived > 0)
    {
        m_auBytes[nKind] += static_cast<uint64_t>(nReceived);
    }
}

CURLcode HttpPrivateImpl::Perform(const std::string& strUrl, TransferContext& ctx, bool bHead)
{
    CURLcode eCode = CURLE_OUT_OF_MEMORY;
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        NSCorvaneNet::PooledCurl* pPooled = m_spPool->Acquire();
        CURL* pHandle = pPooled ? pPooled->pHandle : nullptr;
        if (!pHandle)
        {
            return CURLE_OUT_OF_MEMORY;
        }
        NSCorvaneNet::CurlHeaderList headers(m_curl);
        eCode = PrepareRequest(pHandle, strUrl, ctx, headers, bHead, nAttempt > 0);
        if (eCode != CURLE_OK)
        {
            m_spPool->Return(pPooled);
            return eCode; // a refused option or no memory: asking again changes nothing
        }
        ctx.pPooled = pPooled;
        eCode = m_curl.pfnEasyPerform(pHandle);
        ctx.pPooled = nullptr;
        CountRequest(pHandle, bHead ? kQuery : ctx.bRange ? kRange : kWhole);
        // No new connection may also mean that none could be made: a refused
        // or unresolvable server is no stale kept-alive connection, and asking
        // it again at once only doubles what a dead source costs.
        long nConnects = 0;
        const bool bReused = eCode != CURLE_COULDNT_CONNECT && eCode != CURLE_COULDNT_RESOLVE_HOST &&
                             eCode != CURLE_COULDNT_RESOLVE_PROXY &&
                             m_curl.pfnEasyGetinfo(pHandle, CURLINFO_NUM_CONNECTS, &nConnects) == CURLE_OK &&
                             nConnects == 0;
        m_spPool->Return(pPooled);

        // A kept-alive connection may have been closed by the server meanwhile, or
        // carry bytes a faulty server sent past its last response. Such a failure
        // before any status line is transient: one retry on a fresh connection.
        const bool bTransient = eCode != CURLE_OK && eCode != CURLE_OPERATION_TIMEDOUT && bReused &&
                                ctx.head.nStatus == 0 && !ctx.head.bBadLength && !ctx.bOutOfMemory &&
                                !ctx.fnAbort();
        if (!bTransient)
        {
            break;
        }
        if (ctx.pBody)
        {
            ctx.pBody->clear();
        }
    }
    return eCode;
}

bool HttpPrivateImpl::FileDownload(const std::string& strUrl, std::string& strBody, std::string& strMessage,
                                   bool& bSourceFailed)
{
    strBody.clear();
    bSourceFailed = false;
    ActiveRequest request(*this);
    if (!request.Listed())
    {
        strMessage = "Download file aborted";
        return false;
    }
    TransferContext ctx;
    ctx.pPrivate = this;
    ctx.pRequest = request.Get();
    ctx.pBody = &strBody;
    ctx.fnAbort = [this, pRequest = request.Get()] { return pRequest->bCancel.load() || IsShuttingDown(); };

    const CURLcode eCode = Perform(strUrl, ctx, /*bHead=*/false);

    if (request.Get()->bCancel.load() || IsShuttingDown())
    {
        strMessage = "Download file aborted";
        return false;
    }
    return JudgeWhole(ctx, eCode, strBody.size(), strUrl, strMessage, bSourceFailed);
}

bool HttpPrivateImpl::JudgeWhole(const TransferContext& ctx, CURLcode eCode, uint64_t uReceived,
                                 const std::string& strUrl, std::string& strMessage, bool& bSourceFailed)
{
    bSourceFailed = !ctx.bOutOfMemory;
    if (ctx.head.bBadLength)
    {
        strMessage = Format("Download file fail, invalid Content-Length \"%s\", url=%s",
                            ctx.head.strBadLength.c_str(), strUrl.c_str());
        return false;
    }
    if (ctx.bTooLarge)
    {
        strMessage =
            Format("Download file fail, body too large, expect=%llu recv>%zu, url=%s",
                   static_cast<unsigned long long>(ctx.head.bHasLength ? ctx.head.uLength : kMaxBody),
                   static_cast<size_t>(uReceived), strUrl.c_str());
        return false;
    }
    if (ctx.bOutOfMemory)
    {
        strMessage = Format("Download file fail, out of memory, url=%s", strUrl.c_str());
        return false;
    }
    if (eCode == CURLE_PARTIAL_FILE && ctx.head.nStatus == 200 && ctx.head.bHeadersSeen &&
        ctx.head.bHasLength)
    {
        // The server closed before sending all it announced.
        strMessage = Format("Download file fail, body size mismatch, expect=%zu recv=%zu",
                            static_cast<size_t>(ctx.head.uLength), static_cast<size_t>(uReceived));
        return false;
    }
    if (eCode != CURLE_OK)
    {
        CORVANE_REPORT_AS("HttpPrivateImpl::FileDownload",
                          Format("Download file fail, ret=%d, error=%s, url=%s", static_cast<int>(eCode),
                                 m_curl.pfnEasyStrerror(eCode), strUrl.c_str())
                              .c_str());
        if (eCode == CURLE_OPERATION_TIMEDOUT)
        {
            CORVANE_REPORT_AS("HttpPrivateImpl::FileDownload",
                              Format("Download file stalled: less than 1 byte/s for %u s, abandoned, url=%s",
                                     m_uStallSeconds, strUrl.c_str())
                                  .c_str());
        }
        strMessage = Format("Download file fail, no response, url=%s", strUrl.c_str());
        return false;
    }
    if (ctx.head.nStatus != 200)
    {
        bSourceFailed = ctx.head.nStatus >= 500;
        strMessage = Format("Download file fail, code is %d, message is %s",
                            static_cast<int>(ctx.head.nStatus), ctx.head.strStatusText.c_str());
        return false;
    }
    if (ctx.head.bHeadersSeen && ctx.head.bHasLength && uReceived != ctx.head.uLength)
    {
        strMessage = Format("Download file fail, body size mismatch, expect=%zu recv=%zu",
                            static_cast<size_t>(ctx.head.uLength), static_cast<size_t>(uReceived));
        return false;
    }
    bSourceFailed = false;
    return true;
}

HttpRangeResult HttpPrivateImpl::RangeDownload(const std::string& strUrl, uint64_t uOffset, uint64_t uLength,
                                               std::string& strBody, std::string& strMessage,
                                               bool& bSourceFailed)
{
    strBody.clear();
    bSourceFailed = false;
    if (uLength == 0 || uLength > kMaxBody || uOffset > UINT64_MAX - uLength)
    {
        strMessage = Format("Download range fail, no such range, offset=%llu length=%llu, url=%s",
                            static_cast<unsigned long long>(uOffset),
                            static_cast<unsigned long long>(uLength), strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    ActiveRequest request(*this);
    if (!request.Listed())
    {
        strMessage = "Download file aborted";
        return HttpRangeResult::Cancelled;
    }
    TransferContext ctx;
    ctx.pPrivate = this;
    ctx.pRequest = request.Get();
    ctx.pBody = &strBody;
    ctx.bRange = true;
    ctx.uRangeOffset = uOffset;
    ctx.uRangeLength = uLength;
    ctx.fnAbort = [this, pRequest = request.Get()] { return pRequest->bCancel.load() || IsShuttingDown(); };

    const CURLcode eCode = Perform(strUrl, ctx, /*bHead=*/false);

    if (request.Get()->bCancel.load() || IsShuttingDown())
    {
        strMessage = "Download file aborted";
        return HttpRangeResult::Cancelled;
    }
    const HttpRangeResult eResult = JudgeRange(ctx, eCode, strBody.size(), strUrl, strMessage, bSourceFailed);
    if (eResult != HttpRangeResult::Ok)
    {
        strBody.clear();
    }
    return eResult;
}

HttpRangeResult HttpPrivateImpl::JudgeRange(const TransferContext& ctx, CURLcode eCode, uint64_t uReceived,
                                            const std::string& strUrl, std::string& strMessage,
                                            bool& bSourceFailed)
{
    bSourceFailed = !ctx.bOutOfMemory;
    if (ctx.head.bBadLength)
    {
        strMessage = Format("Download range fail, invalid Content-Length \"%s\", url=%s",
                            ctx.head.strBadLength.c_str(), strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    if (ctx.bOutOfMemory)
    {
        strMessage = Format("Download range fail, out of memory, url=%s", strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    if (ctx.head.nStatus != 0)
    {
        std::string strWhy;
        switch (NSCorvaneNet::JudgeRangeHead(ctx.head, ctx.uRangeOffset, ctx.uRangeLength, &strWhy))
        {
        case NSCorvaneNet::RangeVerdict::Partial:
            break;
        case NSCorvaneNet::RangeVerdict::WholeBody:
            bSourceFailed = false;
            return HttpRangeResult::WholeBody;
        case NSCorvaneNet::RangeVerdict::NotSatisfiable:
            bSourceFailed = false;
            strMessage = Format("Download range fail, code is 416, url=%s", strUrl.c_str());
            return HttpRangeResult::NotSatisfiable;
        case NSCorvaneNet::RangeVerdict::Missing:
            bSourceFailed = false;
            strMessage = Format("Download range fail, code is 404, url=%s", strUrl.c_str());
            return HttpRangeResult::Missing;
        case NSCorvaneNet::RangeVerdict::Refused:
            // A refusal such as 403 is about the file; a 5xx or a wrong 206 is the server's fault.
            bSourceFailed = ctx.head.nStatus >= 500 || ctx.head.nStatus == 206;
            strMessage = Format("Download range fail, %s, url=%s", strWhy.c_str(), strUrl.c_str());
            return HttpRangeResult::Failed;
        }
    }
    if (ctx.bTooLarge)
    {
        strMessage = Format("Download range fail, body longer than the range of %llu bytes, url=%s",
                            static_cast<unsigned long long>(ctx.uRangeLength), strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    if (eCode != CURLE_OK && !(eCode == CURLE_PARTIAL_FILE && ctx.head.nStatus == 206))
    {
        CORVANE_REPORT_AS("HttpPrivateImpl::RangeDownload",
                          Format("Download range fail, ret=%d, error=%s, url=%s", static_cast<int>(eCode),
                                 m_curl.pfnEasyStrerror(eCode), strUrl.c_str())
                              .c_str());
        strMessage = Format("Download range fail, no response, url=%s", strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    if (uReceived != ctx.uRangeLength)
    {
        strMessage = Format("Download range fail, body size mismatch, expect=%llu recv=%zu, url=%s",
                            static_cast<unsigned long long>(ctx.uRangeLength), static_cast<size_t>(uReceived),
                            strUrl.c_str());
        return HttpRangeResult::Failed;
    }
    bSourceFailed = false;
    return HttpRangeResult::Ok;
}

int HttpPrivateImpl::QueryFile(const std::string& strUrl, std::string& strMessage, bool& bSourceFailed)
{
    bSourceFailed = false;
    ActiveRequest request(*this);
    if (!request.Listed())
    {
        return 0;
    }
    TransferContext ctx;
    ctx.pPrivate = this;
    ctx.pRequest = request.Get();
    ctx.fnAbort = [this, pRequest = request.Get()] { return pRequest->bCancel.load() || IsShuttingDown(); };

    const CURLcode eCode = Perform(strUrl, ctx, /*bHead=*/true);

    if (eCode != CURLE_OK)
    {
        if (request.Get()->bCancel.load() || IsShuttingDown())
        {
            return 0; // cancelled: an answer nobody waits for
        }
        bSourceFailed = true;
        strMessage = Format("Query file fail, ret=%d, error=%s, url=%s", static_cast<int>(eCode),
                            m_curl.pfnEasyStrerror(eCode), strUrl.c_str());
        return -1;
    }
    if (ctx.head.nStatus == 200)
    {
        return 1;
    }
    if (ctx.head.nStatus == 404)
    {
        return 0;
    }
    bSourceFailed = ctx.head.nStatus >= 500;
    strMessage = Format("Query file fail, code=%d, url=%s, message=%s", static_cast<int>(ctx.head.nStatus),
                        strUrl.c_str(), ctx.head.strStatusText.c_str());
    return -1;
}

} // namespace NSCorvane

namespace NSCorvane
{

void HttpPrivateImpl::AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts) const
{
    counts.uWholeRequests += m_auRequests[kWhole].load();
    counts.uWholeBytes += m_auBytes[kWhole].load();
    counts.uRangeRequests += m_auRequests[kRange].load();
    counts.uRangeBytes += m_auBytes[kRange].load();
    counts.uQueryRequests += m_auRequests[kQuery].load();
}

} // namespace NSCorvane
