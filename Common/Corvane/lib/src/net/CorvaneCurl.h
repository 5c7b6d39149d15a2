// SPDX-License-Identifier: MIT
// libcurl plumbing: libcurl opened on first use with one process-wide global
// init, and a pool of easy handles that keeps their connections alive between
// requests. Handles taken from the pool are used by one thread at a time; DNS
// and TLS sessions are shared between them through a share handle with lock
// callbacks.
#pragma once

#include <curl/curl.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace NSCorvaneNet
{

// The libcurl functions the library calls. libcurl is opened at run time, not
// linked: most runs never make a request, and loading libcurl with its
// dependencies would cost every start of every program that loads us.
struct CurlApi
{
    decltype(&curl_global_init) pfnGlobalInit = nullptr;
    decltype(&curl_easy_init) pfnEasyInit = nullptr;
    decltype(&curl_easy_cleanup) pfnEasyCleanup = nullptr;
    decltype(&curl_easy_reset) pfnEasyReset = nullptr;
    decltype(&curl_easy_setopt) pfnEasySetopt = nullptr;
    decltype(&curl_easy_perform) pfnEasyPerform = nullptr;
    decltype(&curl_easy_getinfo) pfnEasyGetinfo = nullptr;
    decltype(&curl_easy_strerror) pfnEasyStrerror = nullptr;
    decltype(&curl_share_init) pfnShareInit = nullptr;
    decltype(&curl_share_setopt) pfnShareSetopt = nullptr;
    decltype(&curl_share_cleanup) pfnShareCleanup = nullptr;
    decltype(&curl_slist_append) pfnSlistAppend = nullptr;
    decltype(&curl_slist_free_all) pfnSlistFreeAll = nullptr;
    // The multi interface, for the fetch scheduler's one transfer thread.
    decltype(&curl_multi_init) pfnMultiInit = nullptr;
    decltype(&curl_multi_cleanup) pfnMultiCleanup = nullptr;
    decltype(&curl_multi_setopt) pfnMultiSetopt = nullptr;
    decltype(&curl_multi_add_handle) pfnMultiAddHandle = nullptr;
    decltype(&curl_multi_remove_handle) pfnMultiRemoveHandle = nullptr;
    decltype(&curl_multi_perform) pfnMultiPerform = nullptr;
    decltype(&curl_multi_poll) pfnMultiPoll = nullptr;
    decltype(&curl_multi_wakeup) pfnMultiWakeup = nullptr;
    decltype(&curl_multi_info_read) pfnMultiInfoRead = nullptr;
};

// The first call of the process opens libcurl, looks up every function and
// runs curl_global_init. Null when any of that failed; each such call writes
// the library names tried and the loader's error to the error log.
const CurlApi* LoadCurl();

// Tests only: the file names LoadCurl tries instead of libcurl's. Has an
// effect only before the first LoadCurl of the process.
void SetCurlLibraryNamesForTest(std::initializer_list<const char*> names);

// An easy handle of the pool and the socket it opened last. Connections are
// not shared between handles, so a transfer runs on that socket (after a
// redirect to another host, perhaps on an older one of the same handle).
// libcurl's own CURLINFO_ACTIVESOCKET is not set until a transfer ends.
struct PooledCurl
{
    CURL* pHandle = nullptr;
    curl_socket_t nSocket = CURL_SOCKET_BAD;
};

class PemCurlHandlePool
{
public:
    explicit PemCurlHandlePool(const CurlApi& curl);
    ~PemCurlHandlePool();
    PemCurlHandlePool(const PemCurlHandlePool&) = delete;
    PemCurlHandlePool& operator=(const PemCurlHandlePool&) = delete;

    // An idle handle (options reset, connections kept) or a new one; null on failure.
    PooledCurl* Acquire();
    // Back to the pool for the next request; closed when the pool holds
    // enough idle handles already.
    void Return(PooledCurl* pPooled);
    // Closes every idle handle and its connections.
    void Clear();

private:
    static void LockShare(CURL*, curl_lock_data eData, curl_lock_access, void* pUser);
    static void UnlockShare(CURL*, curl_lock_data eData, void* pUser);
    static int NoteSocket(void* pUser, curl_socket_t nSocket, curlsocktype eType);
    void Cleanup(PooledCurl* pPooled);

    // More idle handles than threads ever ask at once only hold sockets open.
    static constexpr size_t kMaxIdle = 16;

    const CurlApi& m_curl;
    std::mutex m_mtxIdle;
    std::vector<PooledCurl*> m_vecIdle; // owned
    CURLSH* m_pShare = nullptr;
    std::mutex m_mtxShare[CURL_LOCK_DATA_LAST];
};

// The pool of every downloader of one origin (see OriginOf) while any of them
// lives: a reader opened after another reuses its kept-alive connections
// instead of paying a new handshake. Throws std::bad_alloc.
std::shared_ptr<PemCurlHandlePool> SharedHandlePool(const CurlApi& curl, const std::string& strOrigin);

// A header list freed on scope exit.
class CurlHeaderList
{
public:
    explicit CurlHeaderList(const CurlApi& curl) : m_curl(curl) {}
    ~CurlHeaderList()
    {
        if (m_pList)
        {
            m_curl.pfnSlistFreeAll(m_pList);
        }
    }
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    bool Append(const char* pcszHeader);
    curl_slist* Get() const { return m_pList; }

private:
    const CurlApi& m_curl;
    curl_slist* m_pList = nullptr;
};

} // namespace NSCorvaneNet
