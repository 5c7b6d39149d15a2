// SPDX-License-Identifier: MIT
// libcurl plumbing: one process-wide global init, and a pool of easy handles
// that keeps their connections alive between requests. Handles taken from the
// pool are used by one thread at a time; DNS and TLS sessions are shared
// between them through a share handle with lock callbacks.
#pragma once

#include <curl/curl.h>

#include <mutex>
#include <vector>

namespace NSCorvaneNet
{

// curl_global_init once per process; false when it failed.
bool EnsureCurlGlobalInit();

class PemCurlHandlePool
{
public:
    PemCurlHandlePool();
    ~PemCurlHandlePool();
    PemCurlHandlePool(const PemCurlHandlePool&) = delete;
    PemCurlHandlePool& operator=(const PemCurlHandlePool&) = delete;

    // An idle handle (options reset, connections kept) or a new one; null on failure.
    CURL* Acquire();
    // Back to the pool for the next request.
    void Return(CURL* pHandle);
    // Closes every idle handle and its connections.
    void Clear();

private:
    static void LockShare(CURL*, curl_lock_data eData, curl_lock_access, void* pUser);
    static void UnlockShare(CURL*, curl_lock_data eData, void* pUser);

    std::mutex m_mtxIdle;
    std::vector<CURL*> m_vecIdle;
    CURLSH* m_pShare = nullptr;
    std::mutex m_mtxShare[CURL_LOCK_DATA_LAST];
};

// A header list freed on scope exit.
class CurlHeaderList
{
public:
    CurlHeaderList() = default;
    ~CurlHeaderList() { curl_slist_free_all(m_pList); }
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    bool Append(const char* pcszHeader);
    curl_slist* Get() const { return m_pList; }

private:
    curl_slist* m_pList = nullptr;
};

} // namespace NSCorvaneNet
