// SPDX-License-Identifier: MIT
// The state of one transfer of HttpPrivateImpl, shared by its blocking
// requests and by the transfers a caller's multi handle runs.
#pragma once

#include "net/HttpPrivateImpl.h"
#include "platform/PlatformSocket.h"

#include <functional>
#include <string>

namespace NSCorvane
{

// What the callbacks of one transfer fill in.
struct HttpPrivateImpl::TransferContext
{
    HttpPrivateImpl* pPrivate = nullptr;
    HttpRequest* pRequest = nullptr;
    NSCorvaneNet::PooledCurl* pPooled = nullptr; // the transfer's, while it runs
    std::string* pBody = nullptr;                // null for HEAD
    // Set: the body goes here as it arrives instead of into pBody.
    std::function<bool(const char*, size_t)> fnSink;
    uint64_t uSunk = 0;
    bool bSinkFailed = false;
    std::function<bool()> fnAbort;
    NSCorvaneNet::HttpResponseHead head;
    bool bTooLarge = false;
    bool bOutOfMemory = false;
    // A single-part Range GET of uRangeLength bytes at uRangeOffset.
    bool bRange = false;
    uint64_t uRangeOffset = 0;
    uint64_t uRangeLength = 0;

    uint64_t Received() const { return fnSink ? uSunk : pBody ? pBody->size() : 0; }

    // Acknowledges what has arrived so far at once: a server holding back its
    // answer's tail for our acknowledgement would otherwise wait out our
    // delayed-acknowledgement timer on every request.
    void AcknowledgeReceived()
    {
        if (pPooled && pPooled->nSocket != CURL_SOCKET_BAD)
        {
            CorvanePlatform::AcknowledgeReceivedNow(static_cast<uint64_t>(pPooled->nSocket));
        }
    }
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

} // namespace NSCorvane
