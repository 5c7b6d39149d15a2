// SPDX-License-Identifier: MIT
#include "net/HttpPrivateImpl.h"

#include "common/CorvaneAscii.h"
#include "common/CorvaneCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

namespace NSCorvane
{

namespace
{

// An IFile holds at most 4 GiB - 1 bytes; a body that would not fit is refused.
constexpr uint64_t kMaxBody = UINT32_MAX;
// Reserve at most this much up front: a lying Content-Length must not make us allocate gigabytes.
constexpr uint64_t kMaxReserve = 256ull << 20;

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

std::string Trim(const std::string& str)
{
    size_t uBegin = 0;
    size_t uEnd = str.size();
    while (uBegin < uEnd && CorvaneUtil::IsAsciiSpace(str[uBegin]))
    {
        ++uBegin;
    }
    while (uEnd > uBegin && CorvaneUtil::IsAsciiSpace(str[uEnd - 1]))
    {
        --uEnd;
    }
    return str.substr(uBegin, uEnd - uBegin);
}

bool StartsWithNoCase(const std::string& str, const char* pcszPrefix)
{
    const size_t uLen = std::strlen(pcszPrefix);
    if (str.size() < uLen)
    {
        return false;
    }
    for (size_t i = 0; i < uLen; ++i)
    {
        if (CorvaneUtil::AsciiToLower(str[i]) != CorvaneUtil::AsciiToLower(pcszPrefix[i]))
        {
            return false;
        }
    }
    return true;
}

// A decimal u64 and nothing else (no sign, no spaces inside, no overflow).
bool ParseContentLength(const std::string& strValue, uint64_t* puOut)
{
    if (strValue.empty())
    {
        return false;
    }
    uint64_t uValue = 0;
    for (char c : strValue)
    {
        if (c < '0' || c > '9')
        {
            return false;
        }
        const uint64_t uDigit = static_cast<uint64_t>(c - '0');
        if (uValue > (UINT64_MAX - uDigit) / 10)
        {
            return false;
        }
        uValue = uValue * 10 + uDigit;
    }
    *puOut = uValue;
    return true;
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

// What the callbacks of one transfer fill in.
struct HttpPrivateImpl::TransferContext
{
    HttpPrivateImpl* pPrivate = nullptr;
    HttpRequest* pRequest = nullptr;
    std::string* pBody = nullptr; // null for HEAD
    std::function<bool()> fnAbort;
    long nStatus = 0;
    std::string strStatusText;
    bool bHeadersSeen = false;
    bool bHasLength = false;
    uint64_t uExpected = 0;
    bool bBadLength = false;
    std::string strBadLength;
    bool bTooLarge = false;
    bool bOutOfMemory = false;
};

// Puts a request on the active list for its lifetime, unless shutting down.
class HttpPrivateImpl::ActiveRequest
{
public:
    explicit ActiveRequest(HttpPrivateImpl& impl) : m_impl(impl)
    {
        m_spRequest = std::make_shared<HttpRequest>();
        std::lock_guard<std::mutex> lock(m_impl.m_mtxRequest);
        // Checked under the same mutex that CancelDownloads copies the list under,
        // so a request never slips past a shutdown's cancel.
        if (!m_impl.m_bShuttingDown.load())
        {
            m_it = m_impl.m_lstActive.insert(m_impl.m_lstActive.end(), m_spRequest);
            m_bListed = true;
        }
    }
    ~ActiveRequest()
    {
        if (m_bListed)
        {
            std::lock_guard<std::mutex> lock(m_impl.m_mtxRequest);
            m_impl.m_lstActive.erase(m_it);
        }
    }
    ActiveRequest(const ActiveRequest&) = delete;
    ActiveRequest& operator=(const ActiveRequest&) = delete;

    bool Listed() const { return m_bListed; }
    HttpRequest* Get() const { return m_spRequest.get(); }

private:
    HttpPrivateImpl& m_impl;
    std::shared_ptr<HttpRequest> m_spRequest;
    std::list<std::shared_ptr<HttpRequest>>::iterator m_it;
    bool m_bListed = false;
};

HttpPrivateImpl::HttpPrivateImpl(const CorvaneRemoteInfo& info)
    : m_curl(RequireCurl()), m_uTimeoutSeconds(TimeoutSecondsOf(info.uTimeoutMs)),
      m_uStallSeconds(std::max<uint32_t>(info.uStallSeconds, 1)), m_strCaBundle(CaBundleOf(info)),
      m_pool(m_curl)
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
    m_pool.Clear();
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
        const std::string strLine(pData, uLen);
        if (StartsWithNoCase(strLine, "HTTP/"))
        {
            // A new header block (after "100 Continue" or an interim response) starts over.
            ctx.bHeadersSeen = false;
            ctx.bHasLength = false;
            ctx.uExpected = 0;
            const size_t uCode = strLine.find(' ');
            const size_t uText =
                uCode == std::string::npos ? std::string::npos : strLine.find(' ', uCode + 1);
            ctx.nStatus =
                uCode == std::string::npos ? 0 : std::strtol(strLine.c_str() + uCode + 1, nullptr, 10);
            ctx.strStatusText = uText == std::string::npos ? std::string() : Trim(strLine.substr(uText + 1));
        }
        else if (strLine == "\r\n" || strLine == "\n")
        {
            ctx.bHeadersSeen = true;
        }
        else if (StartsWithNoCase(strLine, "content-length:"))
        {
            const std::string strValue = Trim(strLine.substr(std::strlen("content-length:")));
            if (!ParseContentLength(strValue, &ctx.uExpected))
            {
                // Without a trustworthy length the body cannot be checked: refuse it.
                ctx.bBadLength = true;
                ctx.strBadLength = strValue.substr(0, 64);
                return 0;
            }
            ctx.bHasLength = true;
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
    if (!ctx.pBody || ctx.nStatus != 200)
    {
        return uLen; // error pages are not kept
    }
    std::string& strBody = *ctx.pBody;
    // libcurl itself stops at Content-Length; this also bounds bodies without one.
    const uint64_t uLimit = ctx.bHasLength ? std::min(ctx.uExpected, kMaxBody) : kMaxBody;
    if (strBody.size() + uLen > uLimit)
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
    try
    {
        if (strBody.empty() && ctx.bHasLength)
        {
            strBody.reserve(static_cast<size_t>(std::min(ctx.uExpected, kMaxReserve)));
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

CURLcode HttpPrivateImpl::Perform(const std::string& strUrl, TransferContext& ctx, bool bHead)
{
    CURLcode eCode = CURLE_OUT_OF_MEMORY;
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        CURL* pHandle = m_pool.Acquire();
        NSCorvaneNet::CurlHeaderList headers(m_curl);
        if (!pHandle || !headers.Append("Connection: keep-alive"))
        {
            m_pool.Return(pHandle);
            return CURLE_OUT_OF_MEMORY;
        }
        eCode = SetCommonOptions(pHandle, strUrl, headers, ctx);
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
        fnSet(CURLOPT_FRESH_CONNECT, nAttempt > 0 ? 1L : 0L);
        if (eCode == CURLE_OK)
        {
            eCode = m_curl.pfnEasyPerform(pHandle);
        }
        long nConnects = 0;
        const bool bReused =
            m_curl.pfnEasyGetinfo(pHandle, CURLINFO_NUM_CONNECTS, &nConnects) == CURLE_OK && nConnects == 0;
        m_pool.Return(pHandle);

        // A kept-alive connection may have been closed by the server meanwhile, or
        // carry bytes a faulty server sent past its last response. Such a failure
        // before any status line is transient: one retry on a fresh connection.
        const bool bTransient = eCode != CURLE_OK && eCode != CURLE_OPERATION_TIMEDOUT && bReused &&
                                ctx.nStatus == 0 && !ctx.bBadLength && !ctx.bOutOfMemory && !ctx.fnAbort();
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

bool HttpPrivateImpl::FileDownload(const std::string& strUrl, std::string& strBody, std::string& strMessage)
{
    strBody.clear();
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
    if (ctx.bBadLength)
    {
        strMessage = Format("Download file fail, invalid Content-Length \"%s\", url=%s",
                            ctx.strBadLength.c_str(), strUrl.c_str());
        return false;
    }
    if (ctx.bTooLarge)
    {
        strMessage = Format("Download file fail, body too large, expect=%llu recv>%zu, url=%s",
                            static_cast<unsigned long long>(ctx.bHasLength ? ctx.uExpected : kMaxBody),
                            strBody.size(), strUrl.c_str());
        return false;
    }
    if (ctx.bOutOfMemory)
    {
        strMessage = Format("Download file fail, out of memory, url=%s", strUrl.c_str());
        return false;
    }
    if (eCode == CURLE_PARTIAL_FILE && ctx.nStatus == 200 && ctx.bHeadersSeen && ctx.bHasLength)
    {
        // The server closed before sending all it announced.
        strMessage = Format("Download file fail, body size mismatch, expect=%zu recv=%zu",
                            static_cast<size_t>(ctx.uExpected), strBody.size());
        return false;
    }
    if (eCode != CURLE_OK)
    {
        CORVANE_REPORT(Format("Download file fail, ret=%d, error=%s, url=%s", static_cast<int>(eCode),
                              m_curl.pfnEasyStrerror(eCode), strUrl.c_str())
                           .c_str());
        if (eCode == CURLE_OPERATION_TIMEDOUT)
        {
            CORVANE_REPORT(Format("Download file stalled: less than 1 byte/s for %u s, abandoned, url=%s",
                                  m_uStallSeconds, strUrl.c_str())
                               .c_str());
        }
        strMessage = Format("Download file fail, no response, url=%s", strUrl.c_str());
        return false;
    }
    if (ctx.nStatus != 200)
    {
        strMessage = Format("Download file fail, code is %d, message is %s", static_cast<int>(ctx.nStatus),
                            ctx.strStatusText.c_str());
        return false;
    }
    if (ctx.bHeadersSeen && ctx.bHasLength && strBody.size() != ctx.uExpected)
    {
        strMessage = Format("Download file fail, body size mismatch, expect=%zu recv=%zu",
                            static_cast<size_t>(ctx.uExpected), strBody.size());
        return false;
    }
    return true;
}

int HttpPrivateImpl::QueryFile(const std::string& strUrl, std::string& strMessage)
{
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
        strMessage = Format("Query file fail, ret=%d, error=%s, url=%s", static_cast<int>(eCode),
                            m_curl.pfnEasyStrerror(eCode), strUrl.c_str());
        return -1;
    }
    if (ctx.nStatus == 200)
    {
        return 1;
    }
    if (ctx.nStatus == 404)
    {
        return 0;
    }
    strMessage = Format("Query file fail, code=%d, url=%s, message=%s", static_cast<int>(ctx.nStatus),
                        strUrl.c_str(), ctx.strStatusText.c_str());
    return -1;
}

} // namespace NSCorvane
