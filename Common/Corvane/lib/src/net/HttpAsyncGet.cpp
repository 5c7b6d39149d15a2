// SPDX-License-Identifier: MIT
// A GET of a remote source run by a caller's multi handle: the same options,
// callbacks, bookkeeping and verdicts as the source's blocking requests.
#include "net/HttpPrivateImpl.h"

#include "net/HttpTransfer.h"

#include <cstdio>
#include <new>

namespace NSCorvane
{

namespace
{

double SecondsOf(curl_off_t nMicroseconds)
{
    return nMicroseconds > 0 ? static_cast<double>(nMicroseconds) / 1e6 : 0.0;
}

} // namespace

HttpPrivateImpl::AsyncGet::AsyncGet(HttpPrivateImpl& impl, std::string strUrl, uint64_t uOffset,
                                    uint64_t uLength, SinkFn fnSink)
    : m_impl(impl), m_strUrl(std::move(strUrl)), m_pCtx(new TransferContext)
{
    m_pCtx->pPrivate = &impl;
    m_pCtx->fnSink = std::move(fnSink);
    m_pCtx->bRange = uLength > 0;
    m_pCtx->uRangeOffset = uOffset;
    m_pCtx->uRangeLength = uLength;
}

HttpPrivateImpl::AsyncGet::~AsyncGet()
{
    if (m_pPooled)
    {
        m_pCtx->pPooled = nullptr;
        m_impl.m_spPool->Return(m_pPooled);
        if (m_impl.m_uPendingDownloads.fetch_sub(1) == 1)
        {
            m_impl.m_limiter.Reset();
        }
    }
    m_pActive.reset();
    if (m_bEntered)
    {
        m_impl.LeaveOpen();
    }
}

bool HttpPrivateImpl::AsyncGet::Cancelled() const
{
    return (m_pActive && m_pActive->Get()->bCancel.load()) || m_impl.IsShuttingDown();
}

void HttpPrivateImpl::AsyncGet::Cancel()
{
    if (m_pActive)
    {
        m_pActive->Get()->bCancel.store(true);
        // A transfer waiting for the rate limit sees its flag at once.
        m_impl.m_limiter.WakeAll();
    }
}

CURL* HttpPrivateImpl::AsyncGet::Start(std::string& strMessage)
{
    TransferContext& ctx = *m_pCtx;
    if (ctx.bRange && (ctx.uRangeLength > UINT32_MAX || ctx.uRangeOffset > UINT64_MAX - ctx.uRangeLength))
    {
        strMessage = "Download range fail, no such range, url=" + m_strUrl;
        return nullptr;
    }
    m_bEntered = m_impl.EnterOpen();
    m_pActive.reset(m_bEntered ? new (std::nothrow) ActiveRequest(m_impl) : nullptr);
    if (!m_pActive || !m_pActive->Listed())
    {
        strMessage = "Download file aborted";
        return nullptr;
    }
    HttpRequest* pRequest = m_pActive->Get();
    HttpPrivateImpl* pImpl = &m_impl;
    ctx.pRequest = pRequest;
    ctx.fnAbort = [pImpl, pRequest] { return pRequest->bCancel.load() || pImpl->IsShuttingDown(); };
    m_pPooled = m_impl.m_spPool->Acquire();
    if (!m_pPooled)
    {
        strMessage = "Download file fail, out of memory, url=" + m_strUrl;
        return nullptr;
    }
    m_impl.m_uPendingDownloads.fetch_add(1);
    m_pHeaders.reset(new (std::nothrow) NSCorvaneNet::CurlHeaderList(m_impl.m_curl));
    CURLcode eCode = m_pHeaders ? m_impl.PrepareRequest(m_pPooled->pHandle, m_strUrl, ctx, *m_pHeaders,
                                                        /*bHead=*/false, /*bFresh=*/false)
                                : CURLE_OUT_OF_MEMORY;
    // Where the server speaks HTTP/2 (offered over TLS), wait for its one
    // connection rather than open one per request: the requests then share
    // it. Over plain HTTP there is nothing to wait for: each waiter would
    // hold back a connection of its own.
    if (eCode == CURLE_OK && m_strUrl.compare(0, 8, "https://") == 0)
    {
        eCode = m_impl.m_curl.pfnEasySetopt(m_pPooled->pHandle, CURLOPT_PIPEWAIT, 1L);
    }
    if (eCode != CURLE_OK)
    {
        strMessage =
            std::string("Download file fail, ") + m_impl.m_curl.pfnEasyStrerror(eCode) + ", url=" + m_strUrl;
        return nullptr;
    }
    ctx.pPooled = m_pPooled;
    return m_pPooled->pHandle;
}

HttpRangeResult HttpPrivateImpl::AsyncGet::Finish(CURLcode eCode, std::string& strMessage, Timing* pTiming,
                                                  bool& bSourceFailed)
{
    bSourceFailed = false;
    TransferContext& ctx = *m_pCtx;
    ctx.pPooled = nullptr;
    CURL* pHandle = m_pPooled ? m_pPooled->pHandle : nullptr;
    if (!pHandle)
    {
        strMessage = "Download file fail, never started, url=" + m_strUrl;
        return HttpRangeResult::Failed;
    }
    m_impl.CountRequest(pHandle, ctx.bRange ? kRange : kWhole);
    if (pTiming)
    {
        curl_off_t nPre = 0;
        curl_off_t nStart = 0;
        curl_off_t nTotal = 0;
        const NSCorvaneNet::CurlApi& curl = m_impl.m_curl;
        if (curl.pfnEasyGetinfo(pHandle, CURLINFO_PRETRANSFER_TIME_T, &nPre) == CURLE_OK &&
            curl.pfnEasyGetinfo(pHandle, CURLINFO_STARTTRANSFER_TIME_T, &nStart) == CURLE_OK &&
            curl.pfnEasyGetinfo(pHandle, CURLINFO_TOTAL_TIME_T, &nTotal) == CURLE_OK && nStart >= nPre &&
            nTotal >= nStart)
        {
            pTiming->dWaitSeconds = SecondsOf(nStart - nPre);
            pTiming->dBodySeconds = SecondsOf(nTotal - nStart);
        }
        pTiming->uBytes = ctx.uSunk;
    }
    if (Cancelled())
    {
        strMessage = "Download file aborted";
        return HttpRangeResult::Cancelled;
    }
    if (ctx.bSinkFailed)
    {
        strMessage = "Download file fail, the body could not be kept, url=" + m_strUrl;
        return HttpRangeResult::Failed;
    }
    if (ctx.bRange)
    {
        return m_impl.JudgeRange(ctx, eCode, ctx.uSunk, m_strUrl, strMessage, bSourceFailed);
    }
    if (m_impl.JudgeWhole(ctx, eCode, ctx.uSunk, m_strUrl, strMessage, bSourceFailed))
    {
        return HttpRangeResult::Ok;
    }
    return ctx.head.nStatus == 404 ? HttpRangeResult::Missing : HttpRangeResult::Failed;
}

} // namespace NSCorvane
