// SPDX-License-Identifier: MIT
#include "net/CorvaneCurl.h"

namespace NSCorvaneNet
{

bool EnsureCurlGlobalInit()
{
    static std::once_flag s_once;
    static bool s_bOk = false;
    // Never cleaned up: other parts of the process may use libcurl too, and a
    // global cleanup while they do is undefined.
    std::call_once(s_once, [] { s_bOk = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return s_bOk;
}

PemCurlHandlePool::PemCurlHandlePool()
{
    m_pShare = curl_share_init();
    if (!m_pShare)
    {
        return;
    }
    // Without both lock callbacks the share is not thread-safe: drop it then.
    const bool bOk =
        curl_share_setopt(m_pShare, CURLSHOPT_LOCKFUNC, &PemCurlHandlePool::LockShare) == CURLSHE_OK &&
        curl_share_setopt(m_pShare, CURLSHOPT_UNLOCKFUNC, &PemCurlHandlePool::UnlockShare) == CURLSHE_OK &&
        curl_share_setopt(m_pShare, CURLSHOPT_USERDATA, this) == CURLSHE_OK &&
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK &&
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK;
    if (!bOk)
    {
        curl_share_cleanup(m_pShare);
        m_pShare = nullptr;
    }
}

PemCurlHandlePool::~PemCurlHandlePool()
{
    Clear();
    if (m_pShare)
    {
        curl_share_cleanup(m_pShare);
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

CURL* PemCurlHandlePool::Acquire()
{
    CURL* pHandle = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        if (!m_vecIdle.empty())
        {
            pHandle = m_vecIdle.back();
            m_vecIdle.pop_back();
        }
    }
    if (pHandle)
    {
        // Resets options only; live connections and caches stay for reuse.
        curl_easy_reset(pHandle);
    }
    else
    {
        pHandle = curl_easy_init();
        if (!pHandle)
        {
            return nullptr;
        }
    }
    if (m_pShare && curl_easy_setopt(pHandle, CURLOPT_SHARE, m_pShare) != CURLE_OK)
    {
        curl_easy_cleanup(pHandle);
        return nullptr;
    }
    return pHandle;
}

void PemCurlHandlePool::Return(CURL* pHandle)
{
    if (!pHandle)
    {
        return;
    }
    try
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        m_vecIdle.push_back(pHandle);
    }
    catch (...)
    {
        curl_easy_cleanup(pHandle);
    }
}

void PemCurlHandlePool::Clear()
{
    std::vector<CURL*> vecIdle;
    {
        std::lock_guard<std::mutex> lock(m_mtxIdle);
        vecIdle.swap(m_vecIdle);
    }
    for (CURL* pHandle : vecIdle)
    {
        curl_easy_cleanup(pHandle);
    }
}

bool CurlHeaderList::Append(const char* pcszHeader)
{
    curl_slist* pNew = curl_slist_append(m_pList, pcszHeader);
    if (!pNew)
    {
        return false;
    }
    m_pList = pNew;
    return true;
}

} // namespace NSCorvaneNet
