// SPDX-License-Identifier: MIT
// A task's fetch plan: its paths turned into the records (or packages) that
// are not cached yet, handed to the scheduler.
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "net/PemHttpDownloader.h"

#include <algorithm>
#include <map>
#include <unordered_set>

namespace NSCorvane
{

bool PemCorvaneReader::PlanFetch(const char* const* ppszPaths, uint32_t uCount, uint32_t uFlags)
{
    m_fetch.End();
    CORVANE_CHECK(ppszPaths || uCount == 0);
    CORVANE_CHECK((uFlags & ~uint32_t{CORVANE_FETCH_WHOLE_PACKAGES}) == 0);
    std::vector<PemHttpDownloader*> vecSource;
    for (IDownloadControl* piControl : m_fileFactory.Downloaders())
    {
        if (auto* pSource = dynamic_cast<PemHttpDownloader*>(piControl))
        {
            vecSource.push_back(pSource);
        }
    }
    if (vecSource.empty())
    {
        return false; // a local store: nothing to fetch
    }
    const bool bPackages = (uFlags & CORVANE_FETCH_WHOLE_PACKAGES) != 0;
    if (!bPackages && std::all_of(vecSource.begin(), vecSource.end(),
                                  [](const PemHttpDownloader* pSource) { return pSource->RangeOff(); }))
    {
        return false; // no source reads ranges
    }
    try
    {
        if (bPackages)
        {
            // The index tells how far each package's records reach: the size
            // to expect, for progress, until the server says.
            std::map<std::string, uint64_t> mapReach;
            std::string strDat;
            for (const CORVANE_IDX_ELEMENT& element : m_vecElement)
            {
                if (NSCorvaneReader::IdxValue_2_Path(strDat, element.uElemIdx, element.uVer))
                {
                    uint64_t& uReach = mapReach[strDat];
                    uReach = std::max<uint64_t>(uReach, uint64_t{element.uElemOfs} + element.uElemLen);
                }
            }
            std::vector<std::string> vecPackage;
            std::vector<uint64_t> vecHint;
            std::unordered_set<std::string> setSeen;
            for (uint32_t i = 0; i < uCount; ++i)
            {
                CORVANE_CHECK(ppszPaths[i]);
                // A file of the version stands for the package holding it.
                std::string strPackage = ppszPaths[i];
                if (const CORVANE_IDX_ELEMENT* pElement = FindElement(ppszPaths[i]))
                {
                    if (pElement->uElemLen < sizeof(CORVANE_FILE_HEADER))
                    {
                        continue; // an empty file: no package
                    }
                    CORVANE_CHECK(
                        NSCorvaneReader::IdxValue_2_Path(strPackage, pElement->uElemIdx, pElement->uVer));
                }
                CORVANE_CHECK(CorvaneUtil::IsSafeRelativePath(strPackage.c_str()));
                if (!setSeen.insert(strPackage).second ||
                    m_fileFactory.Exists(strPackage.c_str(), SHO_LocalOnly))
                {
                    continue; // cached already (checked when it is synced)
                }
                auto it = mapReach.find(strPackage);
                vecPackage.push_back(std::move(strPackage));
                vecHint.push_back(it != mapReach.end() ? it->second : 0);
            }
            return m_fetch.StartPackages(std::move(vecPackage), std::move(vecHint), vecSource);
        }
        std::vector<FetchRecord> vecRecord;
        std::vector<uint64_t> vecKey;
        std::vector<uint32_t> vecToldAtOnce; // paths the plan does not fetch
        std::unordered_set<uint64_t> setSeen;
        std::map<std::string, bool> mapCached;
        for (uint32_t i = 0; i < uCount; ++i)
        {
            CORVANE_CHECK(ppszPaths[i]);
            const CORVANE_IDX_ELEMENT* pElement = FindElement(ppszPaths[i]);
            if (!pElement || pElement->uElemLen < sizeof(CORVANE_FILE_HEADER) ||
                !setSeen.insert(pElement->uNameHash).second)
            {
                vecToldAtOnce.push_back(i);
                continue; // not in the store (its open says so), or planned already
            }
            FetchRecord record;
            CORVANE_CHECK(
                NSCorvaneReader::IdxValue_2_Path(record.strDat, pElement->uElemIdx, pElement->uVer));
            auto itCached = mapCached.find(record.strDat);
            if (itCached == mapCached.end())
            {
                const bool bCached = !m_fileFactory.WouldFetch(record.strDat.c_str(), m_nDefaultOption) ||
                                     m_fileFactory.Exists(record.strDat.c_str(), SHO_LocalOnly);
                itCached = mapCached.emplace(record.strDat, bCached).first;
            }
            if (itCached->second)
            {
                vecToldAtOnce.push_back(i);
                continue; // its package is cached: read there
            }
            record.uOffset = pElement->uElemOfs;
            record.uLength = pElement->uElemLen;
            record.uOrder = i;
            vecRecord.push_back(std::move(record));
            vecKey.push_back(pElement->uNameHash);
        }
        return m_fetch.StartRecords(std::move(vecRecord), std::move(vecKey), vecSource,
                                    std::move(vecToldAtOnce));
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        m_fetch.End();
        return false;
    }
}

} // namespace NSCorvane
