// SPDX-License-Identifier: MIT
#include "net/CorvaneCurl.h"

#include "common/CorvaneCheck.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformNames.h"

#include <iterator>
#include <map>
#include <new>
#include <string>

namespace NSCorvaneNet
{

namespace
{

std::vector<std::string>& TestLibraryNames()
{
    static std::vector<std::string> s_vecNames;
    return s_vecNames;
}

template <typename Pfn>
bool FindFunction(CorvanePlatform::SharedLibrary* pLibrary, const char* pcszName, Pfn& pfn,
                  std::string& strError)
{
    void* pSymbol = CorvanePlatform::LibrarySymbol(pLibrary, pcszName);
    if (!pSymbol)
    {
        strError = std::string(" lacks ") + pcszName + " (" + CorvanePlatform::LibraryLastError() + ")";
        return false;
    }
    pfn = reinterpret_cast<Pfn>(pSymbol);
    return true;
}

// The table, or the reason for the error log when there is none.
bool LoadCurlOnce(CurlApi& curl, std::string& strError)
{
    std::vector<std::string> vecNames = TestLibraryNames();
    if (vecNames.empty())
    {
        vecNames.assign(std::begin(CorvanePlatform::kCurlLibraryNames),
                        std::end(CorvanePlatform::kCurlLibraryNames));
    }
    strError = "libcurl not loaded, tried ";
    CorvanePlatform::SharedLibrary* pLibrary = nullptr;
    for (const std::string& strName : vecNames)
    {
        // Never closed: a library that has been opened stays for the process.
        pLibrary = CorvanePlatform::LibraryOpen(strName.c_str());
        strError += (&strName == &vecNames.front() ? "" : ", ") + strName;
        if (pLibrary)
        {
            break;
        }
        strError += std::string(" (") + CorvanePlatform::LibraryLastError() + ")";
    }
    if (!pLibrary)
    {
        return false;
    }
    std::string strMissing;
    CurlApi api;
    const bool bFound =
        FindFunction(pLibrary, "curl_global_init", api.pfnGlobalInit, strMissing) &&
        FindFunction(pLibrary, "curl_easy_init", api.pfnEasyInit, strMissing) &&
        FindFunction(pLibrary, "curl_easy_cleanup", api.pfnEasyCleanup, strMissing) &&
        FindFunction(pLibrary, "curl_easy_reset", api.pfnEasyReset, strMissing) &&
        FindFunction(pLibrary, "curl_easy_setopt", api.pfnEasySetopt, strMissing) &&
        FindFunction(pLibrary, "curl_easy_perform", api.pfnEasyPerform, strMissing) &&
        FindFunction(pLibrary, "curl_easy_getinfo", api.pfnEasyGetinfo, strMissing) &&
        FindFunction(pLibrary, "curl_easy_strerror", api.pfnEasyStrerror, strMissing) &&
        FindFunction(pLibrary, "curl_share_init", api.pfnShareInit, strMissing) &&
        FindFunction(pLibrary, "curl_share_setopt", api.pfnShareSetopt, strMissing) &&
        FindFunction(pLibrary, "curl_share_cleanup", api.pfnShareCleanup, strMissing) &&
        FindFunction(pLibrary, "curl_slist_append", api.pfnSlistAppend, strMissing) &&
        FindFunction(pLibrary, "curl_slist_free_all", api.pfnSlistFreeAll, strMissing) &&
        FindFunction(pLibrary, "curl_multi_init", api.pfnMultiInit, strMissing) &&
        FindFunction(pLibrary, "curl_multi_cleanup", api.pfnMultiCleanup, strMissing) &&
        FindFunction(pLibrary, "curl_multi_setopt", api.pfnMultiSetopt, strMissing) &&
        FindFunction(pLibrary, "curl_multi_add_handle", api.pfnMultiAddHandle, strMissing) &&
        FindFunction(pLibrary, "curl_multi_remove_handle", api.pfnMultiRemoveHandle, strMissing) &&
        FindFunction(pLibrary, "curl_multi_perform", api.pfnMultiPerform, strMissing) &&
        FindFunction(pLibrary, "curl_multi_poll", api.pfnMultiPoll, strMissing) &&
        FindFunction(pLibrary, "curl_multi_wakeup", api.pfnMultiWakeup, strMissing) &&
        FindFunction(pLibrary, "curl_multi_info_read", api.pfnMultiInfoRead, strMissing);
    if (!bFound)
    {
        strError += strMissing;
        return false;
    }
    // Never cleaned up: other parts of the process may use libcurl too, and a
    // global cleanup while they do is undefined.
    const CURLcode eCode = api.pfnGlobalInit(CURL_GLOBAL_DEFAULT);
    if (eCode != CURLE_OK)
    {
        strError = "curl_global_init failed, ret=" + std::to_string(static_cast<int>(eCode));
        return false;
    }
    curl = api;
    return true;
}

} // namespace

const CurlApi* LoadCurl()
{
    static std::once_flag s_once;
    static CurlApi s_curl;
    static bool s_bOk = false;
    static std::string s_strError;
    std::call_once(s_once,
                   []
                   {
                       try
                       {
                           s_bOk = LoadCurlOnce(s_curl, s_strError);
                       }
                       catch (...)
                       {
                           s_bOk = false;
                           s_strError.clear();
                       }
                   });
    if (!s_bOk)
    {
        CORVANE_REPORT(s_strError.empty() ? "libcurl not loaded, out of memory" : s_strError.c_str());
        return nullptr;
    }
    return &s_curl;
}

void SetCurlLibraryNamesForTest(std::initializer_list<const char*> names)
{
    TestLibraryNames().assign(names.begin(), names.end());
}

PemCurlHandlePool::PemCurlHandlePool(const CurlApi& curl) : m_curl(curl)
{
    m_pShare = m_curl.pfnShareInit();
    if (!m_pShare)
    {
        return;
    }
    // Without both lock callbacks the share is not thread-safe: drop it then.
    const bool bOk =
        m_curl.pfnShareSetopt(m_pShare, CURLSHOPT_LOCKFUNC, &PemCurlHandlePool::LockShare) == CURLSHE_OK &&
        m_curl.pfnShareSetopt(m_pShare, CURLSHOPT_UNLOCKFUNC, &PemCurlHandlePool::UnlockShare) ==
            CURLSHE_OK &&
        m_curl.pfnShareSetopt(m_pShare, CURLSHOPT_USERDATA, this) == CURLSHE_OK &&
        m_curl.pfnShareSetopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK &&
        m_curl.pfnShareSetopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK;
    if (!bOk)
    {
        m_curl.pfnShareCleanup(m_pShare);
        m_pShare = nullptr;
    }
}

PemCurlHandlePool::~PemCurlHandlePool()
{
    Clear();
    if (m_pShare)
    {
        m_curl.pfnShareCleanup(m_pShare);
    }
}

void PemCurlHandlePool::LockShare(CURL*, curl_lock_data eData, curl_lock_access, void* pUser)
{
    auto* pPool = static_cast<PemCurlHandlePool*>(pUser);
    if (eData >= 0 && eData < CURL_LOCK_DATA_LAST)
    {
        pPool->m_mtxShare[eData].lock();
    }
}

void PemCurlHandlePool::UnlockShare(CURL*, curl_lock_data eData, void* pUser)
{
    auto* pPool = static_cast<PemCurlHandlePool*>(pUser);
    if (eData >= 0 && eData < CURL_LOCK_DATA_LAST)
    {
        pPool->m_mtxShare[eData].unlock();
    }
}

PooledCurl* PemCurlHandlePool::Acquire()
{
    PooledCurl* pPooled = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        if (!m_vecIdle.empty())
        {
            pPooled = m_vecIdle.back();
            m_vecIdle.pop_back();
        }
    }
    if (pPooled)
    {
        // Resets options only; live connections and caches stay for reuse.
        m_curl.pfnEasyReset(pPooled->pHandle);
    }
    else
    {
        pPooled = new (std::nothrow) PooledCurl;
        if (!pPooled)
        {
            return nullptr;
        }
        pPooled->pHandle = m_curl.pfnEasyInit();
        if (!pPooled->pHandle)
        {
            delete pPooled;
            return nullptr;
        }
    }
    if ((m_pShare && m_curl.pfnEasySetopt(pPooled->pHandle, CURLOPT_SHARE, m_pShare) != CURLE_OK) ||
        m_curl.pfnEasySetopt(pPooled->pHandle, CURLOPT_SOCKOPTFUNCTION, &PemCurlHandlePool::NoteSocket) !=
            CURLE_OK ||
        m_curl.pfnEasySetopt(pPooled->pHandle, CURLOPT_SOCKOPTDATA, static_cast<void*>(pPooled)) != CURLE_OK)
    {
        Cleanup(pPooled);
        return nullptr;
    }
    return pPooled;
}

int PemCurlHandlePool::NoteSocket(void* pUser, curl_socket_t nSocket, curlsocktype)
{
    static_cast<PooledCurl*>(pUser)->nSocket = nSocket;
    return CURL_SOCKOPT_OK;
}

void PemCurlHandlePool::Cleanup(PooledCurl* pPooled)
{
    m_curl.pfnEasyCleanup(pPooled->pHandle);
    delete pPooled;
}

void PemCurlHandlePool::Return(PooledCurl* pPooled)
{
    if (!pPooled)
    {
        return;
    }
    try
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        if (m_vecIdle.size() < kMaxIdle)
        {
            m_vecIdle.push_back(pPooled);
            return;
        }
    }
    catch (...)
    {
    }
    Cleanup(pPooled);
}

void PemCurlHandlePool::Clear()
{
    std::vector<PooledCurl*> vecIdle;
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        vecIdle.swap(m_vecIdle);
    }
    for (PooledCurl* pPooled : vecIdle)
    {
        Cleanup(pPooled);
    }
}

std::shared_ptr<PemCurlHandlePool> SharedHandlePool(const CurlApi& curl, const std::string& strOrigin)
{
    // Never destroyed: a downloader may still end during the process's exit.
    static std::mutex* s_pMutex = new std::mutex;
    static auto* s_pPools = new std::map<std::string, std::weak_ptr<PemCurlHandlePool>>;
    std::lock_guard<std::mutex> lock(*s_pMutex);
    for (auto it = s_pPools->begin(); it != s_pPools->end();)
    {
        it = it->second.expired() ? s_pPools->erase(it) : std::next(it);
    }
    std::weak_ptr<PemCurlHandlePool>& wpPool = (*s_pPools)[strOrigin];
    std::shared_ptr<PemCurlHandlePool> spPool = wpPool.lock();
    if (!spPool)
    {
        spPool = std::make_shared<PemCurlHandlePool>(curl);
        wpPool = spPool;
    }
    return spPool;
}

bool CurlHeaderList::Append(const char* pcszHeader)
{
    curl_slist* pNew = m_curl.pfnSlistAppend(m_pList, pcszHeader);
    if (!pNew)
    {
        return false;
    }
    m_pList = pNew;
    return true;
}

} // namespace NSCorvaneNet
