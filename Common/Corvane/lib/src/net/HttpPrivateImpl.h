// SPDX-License-Identifier: MIT
// The private state of one PemHttpDownloader: request bookkeeping for cancel
// and shutdown, the flight table, the rate limiter, the speed meter, and the
// libcurl transfers themselves.
#pragma once

#include "net/CorvaneCurl.h"
#include "net/CorvaneHttpHead.h"
#include "net/PemConfig.h"

#include "net/PemRateLimiter.h"
#include "net/PemSpeedMeter.h"
#include <Corvane/PemCorvaneX64.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace NSCorvane
{

// What concurrent opens of one path share: the owner downloads, the others
// wait on cv until bFinished and then copy strBody.
struct HttpOpenFlightState
{
    std::mutex mtx;
    std::condition_variable cv;
    std::string strBody; // written by the owner before bFinished, read-only afterwards
    std::string strCachePath;
    bool bFinished = false;
    bool bSucceeded = false;
    bool bCached = false;
    int nRangeResult = 0; // a range flight's RangeReadResult
};

// How a Range GET ended.
enum class HttpRangeResult
{
    Ok,             // 206 with exactly the bytes asked
    WholeBody,      // 200: the server does not serve ranges (the body was not read)
    NotSatisfiable, // 416
    Missing,        // 404
    Failed,         // a transport failure, or an answer that does not fit the request
    Cancelled,
};

// One request in flight; CancelDownloads sets its flag.
struct HttpRequest
{
    std::atomic<bool> bCancel{false};
};

class HttpPrivateImpl
{
    struct TransferContext;
    class ActiveRequest;

public:
    // Throws when libcurl cannot be loaded.
    explicit HttpPrivateImpl(const CorvaneRemoteInfo& info);
    ~HttpPrivateImpl();
    HttpPrivateImpl(const HttpPrivateImpl&) = delete;
    HttpPrivateImpl& operator=(const HttpPrivateImpl&) = delete;

    // Every Open/Exists runs between EnterOpen (false once shutting down) and LeaveOpen.
    bool EnterOpen();
    void LeaveOpen();
    bool IsShuttingDown() const { return m_bShuttingDown.load(); }
    // Stops new opens, cancels every request, waits until every open has left,
    // then closes the connections.
    void ShutdownAndWait();
    // Sets the cancel flag of every request in flight. Always true.
    bool CancelDownloads();

    // Each request below sets bSourceFailed when the server is at fault rather
    // than the file or the caller: no answer, a 5xx status, or an answer cut
    // off or not fitting the request (see PemSourceHealth).

    // GET strUrl. True with the whole body in strBody; false with strMessage
    // holding the reason for the caller's log (transport failures are logged here).
    bool FileDownload(const std::string& strUrl, std::string& strBody, std::string& strMessage,
                      bool& bSourceFailed);
    // GET of uLength bytes at uOffset of strUrl, one single-part range. Ok with
    // exactly those bytes in strBody; otherwise strBody is empty and strMessage
    // holds the reason for the caller's log (transport failures are logged here).
    HttpRangeResult RangeDownload(const std::string& strUrl, uint64_t uOffset, uint64_t uLength,
                                  std::string& strBody, std::string& strMessage, bool& bSourceFailed);
    // HEAD strUrl: 1 for 200, 0 for 404 (no message), -1 with strMessage otherwise.
    int QueryFile(const std::string& strUrl, std::string& strMessage, bool& bSourceFailed);

    // A GET that a caller's multi handle runs (the fetch scheduler's transfer
    // thread), set up, throttled, metered, counted, cancelled and judged as
    // FileDownload and RangeDownload do theirs; the body goes to the sink as
    // it arrives. Made, started and finished on one thread. CancelDownloads
    // and shutdown cancel it like any other request.
    class AsyncGet
    {
    public:
        // Takes the bytes of the body in order; false stops the transfer.
        using SinkFn = std::function<bool(const char* pData, size_t uSize)>;
        // What the link looked like to this transfer, for the scheduler's estimate.
        struct Timing
        {
            double dWaitSeconds = 0; // request sent to first byte
            double dBodySeconds = 0; // first byte to last
            uint64_t uBytes = 0;
        };

        // uLength 0 asks for the whole file, else for one single-part range.
        AsyncGet(HttpPrivateImpl& impl, std::string strUrl, uint64_t uOffset, uint64_t uLength,
                 SinkFn fnSink);
        ~AsyncGet();
        AsyncGet(const AsyncGet&) = delete;
        AsyncGet& operator=(const AsyncGet&) = delete;

        // The easy handle for curl_multi_add_handle, or null (shutting down,
        // out of memory; strMessage says which).
        CURL* Start(std::string& strMessage);
        // After curl_multi_remove_handle, with the transfer's result code.
        // Ok when every byte asked went to the sink; WholeBody when a server
        // answered a range with the whole file (no byte reached the sink).
        // bSourceFailed as for the blocking requests.
        HttpRangeResult Finish(CURLcode eCode, std::string& strMessage, Timing* pTiming, bool& bSourceFailed);
        bool Cancelled() const;
        // From any thread once started: the transfer stops at its next callback.
        void Cancel();

    private:
        HttpPrivateImpl& m_impl;
        const std::string m_strUrl;
        std::unique_ptr<ActiveRequest> m_pActive;
        std::unique_ptr<TransferContext> m_pCtx;
        std::unique_ptr<NSCorvaneNet::CurlHeaderList> m_pHeaders;
        NSCorvaneNet::PooledCurl* m_pPooled = nullptr;
        bool m_bEntered = false;
    };

    uint32_t TimeoutSeconds() const { return m_uTimeoutSeconds; }
    // Requests made and body bytes received so far, by kind.
    void AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts) const;

    std::mutex m_mtxFlight;
    std::unordered_map<std::string, std::shared_ptr<HttpOpenFlightState>> m_mapFlight;
    // Range flights, keyed by path, NUL, offset and length.
    std::unordered_map<std::string, std::shared_ptr<HttpOpenFlightState>> m_mapRangeFlight;
    std::atomic<uint32_t> m_uPendingDownloads{0};
    PemRateLimiter m_limiter;
    PemSpeedMeter m_meter;

private:
    static size_t HeaderCallback(char* pData, size_t uSize, size_t uCount, void* pUser);
    static size_t WriteCallback(char* pData, size_t uSize, size_t uCount, void* pUser);
    static int ProgressCallback(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    // One GET or HEAD with the callbacks filling ctx; retried once on a fresh
    // connection when a reused one fails before any response.
    CURLcode Perform(const std::string& strUrl, TransferContext& ctx, bool bHead);
    // Every option of one GET or HEAD; headers must outlive the transfer.
    CURLcode PrepareRequest(CURL* pHandle, const std::string& strUrl, TransferContext& ctx,
                            NSCorvaneNet::CurlHeaderList& headers, bool bHead, bool bFresh);
    // Counts a finished attempt and the body bytes it received.
    void CountRequest(CURL* pHandle, int nKind);
    // The verdict on a finished transfer; uReceived bytes reached the body.
    // bSourceFailed as for the requests above.
    bool JudgeWhole(const TransferContext& ctx, CURLcode eCode, uint64_t uReceived, const std::string& strUrl,
                    std::string& strMessage, bool& bSourceFailed);
    HttpRangeResult JudgeRange(const TransferContext& ctx, CURLcode eCode, uint64_t uReceived,
                               const std::string& strUrl, std::string& strMessage, bool& bSourceFailed);
    // Options every request shares; CURLE_OK or the first failing setopt's code.
    CURLcode SetCommonOptions(CURL* pHandle, const std::string& strUrl,
                              const NSCorvaneNet::CurlHeaderList& headers, TransferContext& ctx);

    const NSCorvaneNet::CurlApi& m_curl;
    const uint32_t m_uTimeoutSeconds;
    const uint32_t m_uStallSeconds;
    const std::string m_strCaBundle;

    std::mutex m_mtxRequest;
    std::condition_variable m_cvRequest;
    std::list<std::shared_ptr<HttpRequest>> m_lstActive; // guarded by m_mtxRequest
    uint32_t m_uActiveOpens = 0;                         // guarded by m_mtxRequest
    std::atomic<bool> m_bShuttingDown{false};            // written under m_mtxRequest

    // Shared with the other downloaders of the same origin.
    std::shared_ptr<NSCorvaneNet::PemCurlHandlePool> m_spPool;

    // Every attempt counts: a retried request cost the link a request too.
    enum TransferKind
    {
        kWhole,
        kRange,
        kQuery,
        kKinds
    };
    std::atomic<uint64_t> m_auRequests[kKinds] = {};
    std::atomic<uint64_t> m_auBytes[kKinds] = {};
};

} // namespace NSCorvane
