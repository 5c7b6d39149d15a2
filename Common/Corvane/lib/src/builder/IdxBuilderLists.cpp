// SPDX-License-Identifier: MIT
// Encoding the index and list files of a version. They are encoded at the top
// level, the costliest part of finishing a large build, so an encoding is
// taken from elsewhere whenever one of exactly the same bytes exists: from the
// early encodings made while files were still being compressed, or from the
// previous version's file of the same list (an unchanged build would
// otherwise spend most of its time re-encoding identical lists).
#include "builder/BuilderFileIo.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "platform/PlatformThread.h"

#include <new>
#include <system_error>

namespace NSCorvane
{

void PemCorvaneIdxBuilder::EncodeEarlyLists(const char* pcszDir)
{
    _StopEarlyLists();
    m_vecEarly.clear();
    CORVANE_CHECK_RET(pcszDir && *pcszDir, );
    const uint32_t uPrevVer = GetWorkVersion();
    try
    {
        std::lock_guard<std::mutex> lock(m_mtxElement);
        if (m_mapHash2Element.empty())
        {
            return; // nothing to list: Output refuses the version
        }
        if (_INVALID_VER != uPrevVer && m_uFromWorkVersion == m_mapHash2Element.size() &&
            m_vecElement.size() == m_mapHash2Element.size())
        {
            return; // the same files as the work version: its lists are taken as they are
        }
        std::vector<std::unique_ptr<EarlyList>> vecEarly;
        vecEarly.emplace_back(new EarlyList);
        vecEarly.back()->strName = "_fileinfstr";
        if (!_PathPool(vecEarly.back()->vecPlain, nullptr))
        {
            return;
        }
        std::vector<ListFile> vecTree;
        if (!_AddDirTreeFile(vecTree, pcszDir, 0))
        {
            return;
        }
        vecEarly.emplace_back(new EarlyList);
        vecEarly.back()->strName = "_dirtree";
        vecEarly.back()->vecPlain = std::move(vecTree.back().vecPlain);
        if (_INVALID_VER == uPrevVer)
        {
            // A first build stores every file anew.
            const std::string strText = NSCorvaneReader::JoinTextLines(m_setsElementPath);
            vecEarly.emplace_back(new EarlyList);
            vecEarly.back()->strName = "_diffile";
            vecEarly.back()->vecPlain.assign(strText.begin(), strText.end());
        }
        m_vecEarly = std::move(vecEarly);
    }
    catch (const std::bad_alloc&)
    {
        m_vecEarly.clear();
        return; // nothing early: Output encodes everything itself
    }
    const std::string strDir = pcszDir;
    m_bEarlyStop = false;
    try
    {
        m_thEarly = std::thread(
            [this, strDir, uPrevVer]()
            {
                CorvanePlatform::SetCurrentThreadName("PemCorvaneLists");
                CorvanePlatform::LowerCurrentThreadPriority();
                for (const std::unique_ptr<EarlyList>& pEarly : m_vecEarly)
                {
                    int nPending = kEarlyPending;
                    if (m_bEarlyStop.load() || !pEarly->nState.compare_exchange_strong(nPending, kEarlyTaken))
                    {
                        continue;
                    }
                    try
                    {
                        pEarly->bEncoded =
                            (_INVALID_VER != uPrevVer &&
                             _ReusePreviousEncoding(
                                 CorvaneUtil::PathJoin(strDir, NSCorvaneReader::VersionFilePath(
                                                                   uPrevVer, pEarly->strName.c_str())),
                                 pEarly->vecPlain, pEarly->vecEncoded)) ||
                            NSCorvaneReader::EncodeCompressedBinary(
                                pEarly->vecPlain.data(), static_cast<uint32_t>(pEarly->vecPlain.size()),
                                pEarly->vecEncoded);
                    }
                    catch (...)
                    {
                        pEarly->bEncoded = false; // Output encodes it itself
                    }
                    {
                        std::lock_guard<std::mutex> lock(m_mtxEarly);
                        pEarly->nState = kEarlyDone;
                    }
                    m_cvEarly.notify_all();
                }
            });
    }
    catch (const std::system_error&)
    {
        m_vecEarly.clear();
    }
}

void PemCorvaneIdxBuilder::_StopEarlyLists()
{
    m_bEarlyStop = true;
    if (m_thEarly.joinable())
    {
        m_thEarly.join();
    }
}

bool PemCorvaneIdxBuilder::_IsEarlyList(const std::string& strName) const
{
    for (const std::unique_ptr<EarlyList>& pEarly : m_vecEarly)
    {
        if (pEarly->strName == strName)
        {
            return true;
        }
    }
    return false;
}

bool PemCorvaneIdxBuilder::_TakeEarlyEncoding(ListFile& list)
{
    for (const std::unique_ptr<EarlyList>& pEarly : m_vecEarly)
    {
        if (pEarly->strName != list.strName)
        {
            continue;
        }
        // Not started yet: encoding it here beats waiting for a thread of low priority.
        int nPending = kEarlyPending;
        if (pEarly->nState.compare_exchange_strong(nPending, kEarlyTaken))
        {
            return false;
        }
        std::unique_lock<std::mutex> lock(m_mtxEarly);
        m_cvEarly.wait(lock, [&]() { return kEarlyDone == pEarly->nState.load(); });
        lock.unlock();
        if (pEarly->bEncoded && pEarly->vecPlain == list.vecPlain)
        {
            list.vecEncoded = std::move(pEarly->vecEncoded);
            return true;
        }
        return false;
    }
    return false;
}

bool PemCorvaneIdxBuilder::_ReusePreviousEncoding(const std::string& strPrevPath,
                                                  const std::vector<uint8_t>& vecPlain,
                                                  std::vector<uint8_t>& vecEncoded)
{
    std::vector<uint8_t> vecPrev;
    // A previous file that is missing or fails its checks is simply not used.
    if (ReadWholeResult::Ok != ReadWholeFile(strPrevPath, vecPrev, UINT32_MAX))
    {
        return false;
    }
    std::vector<uint8_t> vecDecoded;
    if (!NSCorvaneReader::DecodeCompressedBinary(vecPrev.data(), vecPrev.size(), vecDecoded) ||
        vecDecoded != vecPlain)
    {
        return false;
    }
    vecEncoded = std::move(vecPrev);
    return true;
}

bool PemCorvaneIdxBuilder::_EncodeList(const char* pcszExportDir, ListFile& list)
{
    CORVANE_CHECK(list.vecPlain.size() <= UINT32_MAX);
    if (_TakeEarlyEncoding(list))
    {
        return true;
    }
    const uint32_t uPrevVer = GetWorkVersion();
    if (_INVALID_VER != uPrevVer &&
        _ReusePreviousEncoding(CorvaneUtil::PathJoin(pcszExportDir, NSCorvaneReader::VersionFilePath(
                                                                        uPrevVer, list.strName.c_str())),
                               list.vecPlain, list.vecEncoded))
    {
        return true;
    }
    CORVANE_CHECK(NSCorvaneReader::EncodeCompressedBinary(
        list.vecPlain.data(), static_cast<uint32_t>(list.vecPlain.size()), list.vecEncoded));
    return true;
}

} // namespace NSCorvane
