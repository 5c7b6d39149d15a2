// SPDX-License-Identifier: MIT
#include "builder/PemCorvaneIdxBuilder.h"

#include "builder/BuilderFileIo.h"
#include "builder/BuilderJobs.h"
#include "builder/BuilderStage.h"
#include "builder/KeyOrder.h"
#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformRandom.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

namespace NSCorvane
{

namespace
{

bool ResetPackageStageRoot(const char* pcszExportDir)
{
    CORVANE_CHECK(pcszExportDir && *pcszExportDir);
    std::error_code err;
    std::filesystem::remove_all(std::filesystem::u8path(GetPackageStageRootPath(pcszExportDir)), err);
    if (err)
    {
        CorvaneUtil::NoteSystemFailure(err.value(), "clear", GetPackageStageRootPath(pcszExportDir));
    }
    CORVANE_CHECK(!err);
    return true;
}

// A random (version 4) GUID in the release identifier's upper-case form.
bool CreateReleaseGuid(std::string& strOut)
{
    uint8_t by[16];
    CORVANE_CHECK(CorvanePlatform::FillRandomBytes(by, sizeof(by)));
    by[6] = static_cast<uint8_t>((by[6] & 0x0F) | 0x40);
    by[8] = static_cast<uint8_t>((by[8] & 0x3F) | 0x80);
    const uint32_t uData1 =
        (uint32_t{by[0]} << 24) | (uint32_t{by[1]} << 16) | (uint32_t{by[2]} << 8) | by[3];
    const unsigned uData2 = (unsigned{by[4]} << 8) | by[5];
    const unsigned uData3 = (unsigned{by[6]} << 8) | by[7];
    char szGuid[40] = {};
    const int nLen =
        std::snprintf(szGuid, sizeof(szGuid), "%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      uData1, uData2, uData3, by[8], by[9], by[10], by[11], by[12], by[13], by[14], by[15]);
    CORVANE_CHECK(36 == nLen);
    strOut = szGuid;
    return true;
}

CORVANE_IDX_ELEMENT DefaultElement(uint64_t hsName)
{
    CORVANE_IDX_ELEMENT element;
    element.uNameHash = hsName;
    element.uContextHash = 0;
    element.uVer = _INVALID_VER;
    element.uElemIdx = _INVALID_IDX;
    element.uElemOfs = _INVALID_IDX;
    element.uElemLen = _INVALID_IDX;
    return element;
}

const CORVANE_IDX_ELEMENT* FindByHash(const std::vector<CORVANE_IDX_ELEMENT>& vecSorted, uint64_t hsName)
{
    auto it = std::lower_bound(vecSorted.begin(), vecSorted.end(), hsName,
                               [](const CORVANE_IDX_ELEMENT& e, uint64_t h) { return e.uNameHash < h; });
    return (it != vecSorted.end() && it->uNameHash == hsName) ? &*it : nullptr;
}

} // namespace

PemCorvaneIdxBuilder::PemCorvaneIdxBuilder()
    : PemCorvaneWriter(SHO_LocalOnly), m_pDiskAlloc(new PemCorvaneDiskAlloc())
{
}

PemCorvaneIdxBuilder::~PemCorvaneIdxBuilder()
{
    _StopEarlyLists();
    if (m_pDiskAlloc)
    {
        m_pDiskAlloc->Stop();
    }
}

bool PemCorvaneIdxBuilder::_OpenBuildEnv(const char* pcszExportDir, const CORVANE_PAK_OPTION& opt)
{
    if (!SetupByDir(pcszExportDir, _INVALID_VER))
    {
        // No store yet: this is the first build. A marker that is there but
        // unreadable is no first build: building over it could overwrite the
        // packages of versions that readers still use.
        const std::string strMarker =
            CorvaneUtil::PathJoin(pcszExportDir, NSCorvaneReader::LastVersionPath());
        CORVANE_CHECK(!CorvanePlatform::PathExists(strMarker.c_str()));
        m_nWorkVersion = _INVALID_VER;
        m_vecElement.clear();
    }
    CORVANE_CHECK(ResetPackageStageRoot(pcszExportDir));
    const uint32_t uLastVer = m_nWorkVersion;
    if (_INVALID_VER != uLastVer)
    {
        CORVANE_CHECK(uLastVer < opt.nToVersion);
        const std::string strIdxFile =
            CorvaneUtil::PathJoin(pcszExportDir, NSCorvaneReader::VersionFilePath(uLastVer, "_index"));
        CORVANE_CHECK(strIdxFile.size());
        CORVANE_CHECK(CorvanePlatform::PathExists(strIdxFile.c_str()));
    }
    // The version number also names the staged packages; the invalid marker value cannot be built.
    CORVANE_CHECK(_INVALID_VER != opt.nToVersion);
    m_pakOpt = opt;
    m_pakOpt.szReleaseText[sizeof(m_pakOpt.szReleaseText) - 1] = '\0';
    CORVANE_CHECK(CreateReleaseGuid(m_strReleaseGuid));
    CORVANE_CHECK(m_pDiskAlloc);
    CORVANE_CHECK(m_pDiskAlloc->BuildEnv(m_pakOpt));
    return true;
}

bool PemCorvaneIdxBuilder::BuildEnv(const char* pcszExportDir, const CORVANE_PAK_OPTION& opt)
{
    CORVANE_CHECK(pcszExportDir && *pcszExportDir);
    // The stat cache is read while the previous version is opened; without a
    // previous version it is dropped below. A missing or unreadable cache only
    // costs reading every file once more.
    std::vector<uint8_t> vecStatText;
    std::map<uint64_t, CorvaneFileStat> mapStat;
    uint64_t uCacheTime = 0;
    const auto fnReadCache = [&]() -> bool
    {
        const std::string strCache = GetFileStatCachePath(pcszExportDir);
        CorvanePlatform::FileStat cacheStat;
        if (m_bIgnoreStatCache || !CorvanePlatform::PathStat(strCache.c_str(), &cacheStat) ||
            ReadWholeResult::Ok != ReadWholeFile(strCache, vecStatText, UINT32_MAX))
        {
            vecStatText.clear();
            return true;
        }
        uCacheTime = static_cast<uint64_t>(cacheStat.nWriteTimeNs);
        ParseFileStatCache(
            std::string_view(reinterpret_cast<const char*>(vecStatText.data()), vecStatText.size()), mapStat);
        return true;
    };
    if (!RunJobs(2, std::max<uint32_t>(1, opt.nTreadCount),
                 [&](size_t uJob) { return 0 == uJob ? _OpenBuildEnv(pcszExportDir, opt) : fnReadCache(); }))
    {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mtxElement);
    m_mapHash2FileStat.clear();
    m_vecFileStatText.clear();
    if (_INVALID_VER != m_nWorkVersion)
    {
        m_mapHash2FileStat.swap(mapStat);
        m_vecFileStatText.swap(vecStatText);
        m_uStatCacheTime = uCacheTime;
    }
    return true;
}

bool PemCorvaneIdxBuilder::ResetRun()
{
    _StopEarlyLists();
    m_vecEarly.clear();
    CORVANE_CHECK(m_pDiskAlloc);
    CORVANE_CHECK(m_pDiskAlloc->ResetFailure());
    {
        std::lock_guard<std::mutex> lock(m_mtxElement);
        m_mapHash2Element.clear();
        m_setsElementPath.clear();
        m_setDirFileRelation.clear();
        m_uFromWorkVersion = 0;
        m_setPatchFiles.clear();
        m_setPatchData.clear();
    }
    std::lock_guard<std::mutex> lock(m_mtxAlloc);
    m_vecPackage.clear();
    m_uFirstOpenPackage = 0;
    return true;
}

namespace
{

std::vector<const std::string*> PathPointers(const std::vector<std::string>& lstPath)
{
    std::vector<const std::string*> vecPath;
    vecPath.reserve(lstPath.size());
    for (const std::string& strPath : lstPath)
    {
        vecPath.push_back(&strPath);
    }
    return vecPath;
}

} // namespace

bool PemCorvaneIdxBuilder::InsertList(const std::vector<std::string>& lstPath)
{
    return InsertPaths(PathPointers(lstPath), _INVALID_VER, nullptr);
}

bool PemCorvaneIdxBuilder::InsertList(const std::vector<std::string>& lstPath, uint32_t uVer)
{
    return InsertPaths(PathPointers(lstPath), uVer, nullptr);
}

bool PemCorvaneIdxBuilder::InsertPaths(const std::vector<const std::string*>& vecPath, uint32_t uVer,
                                       HashOrder* pvecHashOrder)
{
    if (_INVALID_VER == uVer)
    {
        return _InsertList(vecPath, nullptr, pvecHashOrder);
    }
    // The work version's index is already loaded; other versions are read.
    if (uVer == m_nWorkVersion)
    {
        return _InsertList(vecPath, &m_vecElement, pvecHashOrder);
    }
    std::vector<CORVANE_IDX_ELEMENT> vec;
    CORVANE_CHECK(ReadIdxElement(vec, uVer));
    return _InsertList(vecPath, &vec, pvecHashOrder);
}

bool PemCorvaneIdxBuilder::_InsertList(const std::vector<const std::string*>& lstPath,
                                       const std::vector<CORVANE_IDX_ELEMENT>* pvecBase,
                                       HashOrder* pvecHashOrder)
{
    std::map<uint64_t, CORVANE_IDX_ELEMENT> map;
    std::set<std::string> set;
    std::map<uint64_t, std::set<std::string>> mapRelation;
    size_t uFromWorkVersion = 0;
    // The relations (with the check of every name), the elements and the path
    // set do not depend on each other: made side by side on the build's threads.
    const auto fnRelations = [&]() -> bool
    {
        // Files come grouped by directory: the directory's relation entry is
        // looked up once per group, not once per file.
        std::string strLastDir;
        std::set<std::string>* pLastDirEntries = nullptr;
        for (const std::string* pPath : lstPath)
        {
            const std::string& strPath = *pPath;
            // Names come from the source tree; one that could leave the store is refused.
            if (!CorvaneUtil::IsSafeRelativePath(strPath))
            {
                CORVANE_REPORT(("unsafe relative path: " + strPath).c_str());
                return false;
            }
            const size_t uFileSlash = strPath.rfind('/');
            const size_t uDirLen = (uFileSlash == std::string::npos) ? 0 : uFileSlash;
            const size_t uNameAt = (uFileSlash == std::string::npos) ? 0 : uFileSlash + 1;
            // A directory's files come in name order: each goes in at the end.
            std::string strEntry;
            strEntry.reserve(2 + strPath.size() - uNameAt);
            strEntry.append("F:").append(strPath, uNameAt, std::string::npos);
            if (pLastDirEntries && strLastDir.size() == uDirLen &&
                0 == strPath.compare(0, uDirLen, strLastDir))
            {
                pLastDirEntries->emplace_hint(pLastDirEntries->end(), std::move(strEntry));
                continue;
            }
            strLastDir.assign(strPath, 0, uDirLen);
            pLastDirEntries = &mapRelation[NSCorvaneReader::CalcNormalizedNameHash(strLastDir.c_str())];
            pLastDirEntries->emplace_hint(pLastDirEntries->end(), std::move(strEntry));
            // Enter the directory in its parents, up to one that has it already:
            // that one's own parents were entered with it.
            std::string strRest = strLastDir;
            while (!strRest.empty())
            {
                const size_t uSlash = strRest.rfind('/');
                const std::string strDir =
                    (uSlash == std::string::npos) ? std::string() : strRest.substr(0, uSlash);
                const std::string strName =
                    (uSlash == std::string::npos) ? strRest : strRest.substr(uSlash + 1);
                if (!mapRelation[NSCorvaneReader::CalcNormalizedNameHash(strDir.c_str())]
                         .insert("D:" + strName)
                         .second)
                {
                    break;
                }
                strRest = strDir;
            }
        }
        return true;
    };
    const auto fnElements = [&]() -> bool
    {
        std::vector<CORVANE_IDX_ELEMENT> vecElement;
        vecElement.reserve(lstPath.size());
        for (const std::string* pPath : lstPath)
        {
            const uint64_t hsName = NSCorvaneReader::CalcNameHash(pPath->c_str());
            vecElement.push_back(DefaultElement(hsName));
            if (pvecBase)
            {
                if (const CORVANE_IDX_ELEMENT* pBase = FindByHash(*pvecBase, hsName))
                {
                    vecElement.back() = *pBase;
                    ++uFromWorkVersion;
                }
            }
        }
        // In key order, each with the end as hint: no search per insertion.
        // Among equal hashes, list order.
        HashOrder vecOrder(vecElement.size());
        for (size_t i = 0; i < vecElement.size(); ++i)
        {
            vecOrder[i] = {vecElement[i].uNameHash, i};
        }
        std::sort(vecOrder.begin(), vecOrder.end());
        for (size_t i = 0; i < vecOrder.size(); ++i)
        {
            if (i > 0 && vecOrder[i].first == vecOrder[i - 1].first)
            {
                // Two names that differ only in case normalise to the same store path.
                CORVANE_REPORT(
                    ("duplicate store path or name hash: " + *lstPath[vecOrder[i].second]).c_str());
                continue;
            }
            map.emplace_hint(map.end(), vecOrder[i].first, vecElement[vecOrder[i].second]);
        }
        if (pvecHashOrder)
        {
            *pvecHashOrder = std::move(vecOrder);
        }
        return true;
    };
    const auto fnPaths = [&]() -> bool
    {
        std::vector<const std::string*> vecSorted = lstPath;
        std::sort(vecSorted.begin(), vecSorted.end(),
                  [](const std::string* a, const std::string* b) { return *a < *b; });
        for (const std::string* pPath : vecSorted)
        {
            set.emplace_hint(set.end(), *pPath);
        }
        return true;
    };
    const bool bMade = RunJobs(3, std::max<uint32_t>(1, m_pakOpt.nTreadCount),
                               [&](size_t uJob) {
                                   return 0 == uJob ? fnRelations() : 1 == uJob ? fnElements() : fnPaths();
                               });
    if (!bMade)
    {
        return false;
    }
    CORVANE_CHECK(map.size() == lstPath.size());
    CORVANE_CHECK(set.size() == lstPath.size());
    std::lock_guard<std::mutex> lock(m_mtxElement);
    if (pvecBase == &m_vecElement)
    {
        m_uFromWorkVersion += uFromWorkVersion;
    }
    if (m_mapHash2Element.empty() && m_setsElementPath.empty() && m_setDirFileRelation.empty())
    {
        // The first list of a run (usually the only one): taken whole, not copied node by node.
        m_mapHash2Element.swap(map);
        m_setsElementPath.swap(set);
        m_setDirFileRelation.swap(mapRelation);
    }
    else
    {
        m_mapHash2Element.insert(map.begin(), map.end());
        m_setsElementPath.insert(set.begin(), set.end());
        for (auto& it : mapRelation)
        {
            m_setDirFileRelation[it.first].insert(it.second.begin(), it.second.end());
        }
    }
    CORVANE_CHECK(m_mapHash2Element.size() == m_setsElementPath.size());
    return true;
}

bool PemCorvaneIdxBuilder::GetFileElement(uint64_t hsName, CORVANE_IDX_ELEMENT* pElement)
{
    CorvaneFileStat cached;
    bool bHasCached = false;
    return GetFileElement(hsName, pElement, &cached, &bHasCached);
}

bool PemCorvaneIdxBuilder::GetFileElement(uint64_t hsName, CORVANE_IDX_ELEMENT* pElement,
                                          CorvaneFileStat* pCached, bool* pbHasCached)
{
    CORVANE_CHECK(pElement && pCached && pbHasCached);
    std::lock_guard<std::mutex> lock(m_mtxElement);
    auto it = m_mapHash2Element.find(hsName);
    if (it == m_mapHash2Element.end())
    {
        return false;
    }
    *pElement = it->second;
    auto itStat = m_mapHash2FileStat.find(hsName);
    *pbHasCached = itStat != m_mapHash2FileStat.end();
    if (*pbHasCached)
    {
        *pCached = itStat->second;
    }
    return true;
}

bool PemCorvaneIdxBuilder::StoredCopyStands(const CORVANE_IDX_ELEMENT& element, const CorvaneFileStat& cached,
                                            const CorvaneFileStat& stat)
{
    if (_INVALID_VER == element.uVer || !element.uContextHash || !(cached == stat))
    {
        return false;
    }
    // Times before the epoch wrap to large values: racy too, which is safe.
    if (stat.uLastWriteTime >= m_uStatCacheTime)
    {
        m_bRacySeen = true;
        return false;
    }
    return true;
}

void PemCorvaneIdxBuilder::FindUnchanged(std::vector<StatQuery>& vecQuery)
{
    std::lock_guard<std::mutex> lock(m_mtxElement);
    // Both maps along the sorted queries: each node is touched once, in order,
    // instead of a search from the root per file.
    auto it = m_mapHash2Element.begin();
    auto itStat = m_mapHash2FileStat.begin();
    for (StatQuery& query : vecQuery)
    {
        it = SkipBelowKey(it, m_mapHash2Element.end(), query.hsName);
        itStat = SkipBelowKey(itStat, m_mapHash2FileStat.end(), query.hsName);
        if (it != m_mapHash2Element.end() && it->first == query.hsName &&
            itStat != m_mapHash2FileStat.end() && itStat->first == query.hsName &&
            StoredCopyStands(it->second, itStat->second, query.stat))
        {
            query.hsContext = it->second.uContextHash;
            query.bUnchanged = true;
        }
    }
}

bool PemCorvaneIdxBuilder::SetFileElement(uint64_t hsName, uint64_t hsContext, uint32_t uVer)
{
    std::lock_guard<std::mutex> lock(m_mtxElement);
    auto it = m_mapHash2Element.find(hsName);
    CORVANE_CHECK(it != m_mapHash2Element.end());
    it->second.uContextHash = hsContext;
    it->second.uVer = uVer;
    return true;
}

bool PemCorvaneIdxBuilder::SetCachedFileStat(uint64_t hsName, const CorvaneFileStat& stat)
{
    CORVANE_CHECK(hsName);
    std::lock_guard<std::mutex> lock(m_mtxElement);
    m_mapHash2FileStat[hsName] = stat;
    return true;
}

void PemCorvaneIdxBuilder::DropCachedFileStat(uint64_t hsName)
{
    std::lock_guard<std::mutex> lock(m_mtxElement);
    m_mapHash2FileStat.erase(hsName);
}

bool PemCorvaneIdxBuilder::_SetElementPlace(uint64_t hsName, uint32_t uFileIdx, uint32_t uFileOfs,
                                            uint32_t uRequestSize)
{
    std::lock_guard<std::mutex> lock(m_mtxElement);
    auto it = m_mapHash2Element.find(hsName);
    if (it == m_mapHash2Element.end())
    {
        return false;
    }
    it->second.uElemIdx = uFileIdx;
    it->second.uElemOfs = uFileOfs;
    it->second.uElemLen = uRequestSize;
    return true;
}

bool PemCorvaneIdxBuilder::AllocDiskSpace(const char* pcszExportDir, uint64_t hsName,
                                          const CORVANE_FILE_HEADER& fHeader, void* pvData,
                                          uint32_t uDataLength, bool* pbDataPassed)
{
    CORVANE_CHECK(pbDataPassed);
    *pbDataPassed = false;
    CORVANE_CHECK(pcszExportDir && *pcszExportDir);
    std::lock_guard<std::mutex> lock(m_mtxAlloc);
    CORVANE_CHECK(m_pDiskAlloc);
    CORVANE_CHECK(!m_pDiskAlloc->HasFailed());
    const uint64_t uRequestSize = uint64_t{kFileHeaderSize} + uDataLength;
    // Offsets and lengths of a package are 32-bit: a record must fit one package file.
    CORVANE_CHECK(kPackageHeadOffset + uRequestSize <= UINT32_MAX);
    const uint64_t uLimit = m_pakOpt.nPackageSizeLimit;
    const uint64_t uCeiling = uLimit + uLimit / 5;
    uint32_t uFileIdx = _INVALID_IDX;
    for (size_t i = m_uFirstOpenPackage; i < m_vecPackage.size(); ++i)
    {
        const uint64_t uUsed = m_vecPackage[i].nContextLength;
        if (i == m_uFirstOpenPackage && uUsed >= uLimit)
        {
            ++m_uFirstOpenPackage;
            continue;
        }
        if (uUsed < uLimit && uUsed + uRequestSize <= uCeiling &&
            kPackageHeadOffset + uUsed + uRequestSize <= UINT32_MAX)
        {
            uFileIdx = static_cast<uint32_t>(i);
            break;
        }
    }
    if (_INVALID_IDX == uFileIdx)
    {
        CORVANE_CHECK(m_vecPackage.size() < _INVALID_IDX);
        CORVANE_DISK_PACKAGE_HEADER header{};
        header.nMagic = CORVANE_MAGIC;
        header.nPackageId = static_cast<uint32_t>(m_vecPackage.size());
        header.nFileCount = 0;
        header.hashContext = 0;
        header.nContextLength = 0;
        header.nHeadOffset = kPackageHeadOffset;
        m_vecPackage.push_back(header);
        uFileIdx = header.nPackageId;
    }
    CORVANE_DISK_PACKAGE_HEADER& package = m_vecPackage[uFileIdx];
    const uint32_t uFileOfs = package.nHeadOffset + package.nContextLength;
    const uint32_t uRequest = static_cast<uint32_t>(uRequestSize);
    CORVANE_CHECK(_SetElementPlace(hsName, uFileIdx, uFileOfs, uRequest));
    package.nContextLength += uRequest;
    package.nFileCount += 1;
    *pbDataPassed = true;
    CORVANE_CHECK(m_pDiskAlloc->PushWriteRequest(GetPackageStageRootPath(pcszExportDir).c_str(), uFileIdx,
                                                 uFileOfs, fHeader, pvData, uDataLength));
    return true;
}

bool PemCorvaneIdxBuilder::AddPatchFile(uint64_t hsName, const char* pcszPath)
{
    CORVANE_CHECK(pcszPath && *pcszPath);
    std::lock_guard<std::mutex> lock(m_mtxElement);
    auto iter = m_mapHash2Element.find(hsName);
    CORVANE_CHECK(iter != m_mapHash2Element.end());
    CORVANE_CHECK(_INVALID_IDX != iter->second.uElemIdx);
    CORVANE_CHECK(_INVALID_VER != iter->second.uVer);
    std::string strDataPath;
    NSCorvaneReader::IdxValue_2_Path(strDataPath, iter->second.uElemIdx, iter->second.uVer);
    m_setPatchFiles.insert(pcszPath);
    m_setPatchData.insert(strDataPath);
    return true;
}

bool PemCorvaneIdxBuilder::RemoveFileElement(const char* pcszPath)
{
    CORVANE_CHECK(pcszPath);
    const std::string strPath = pcszPath;
    const uint64_t hsName = NSCorvaneReader::CalcNameHash(pcszPath);
    std::lock_guard<std::mutex> lock(m_mtxElement);
    m_mapHash2Element.erase(hsName);
    m_setsElementPath.erase(strPath);
    m_mapHash2FileStat.erase(hsName);
    const size_t uSlash = strPath.rfind('/');
    const std::string strDir = (uSlash == std::string::npos) ? std::string() : strPath.substr(0, uSlash);
    const std::string strName = (uSlash == std::string::npos) ? strPath : strPath.substr(uSlash + 1);
    auto it = m_setDirFileRelation.find(NSCorvaneReader::CalcNormalizedNameHash(strDir.c_str()));
    if (it != m_setDirFileRelation.end())
    {
        it->second.erase("F:" + strName);
    }
    CORVANE_CHECK(m_mapHash2Element.size() == m_setsElementPath.size());
    return true;
}

uint32_t PemCorvaneIdxBuilder::RemovedFiles(std::vector<std::string>* pvecPaths)
{
    uint32_t uRemoved = 0;
    {
        std::lock_guard<std::mutex> lock(m_mtxElement);
        for (const CORVANE_IDX_ELEMENT& element : m_vecElement)
        {
            uRemoved += m_mapHash2Element.count(element.uNameHash) ? 0 : 1;
        }
    }
    if (pvecPaths && uRemoved)
    {
        IStringList* pList = OpenFileList();
        for (uint32_t i = 0; pList && i < pList->Count(); ++i)
        {
            const char* pcszPath = pList->Get(i);
            std::lock_guard<std::mutex> lock(m_mtxElement);
            if (pcszPath && !m_mapHash2Element.count(NSCorvaneReader::CalcNameHash(pcszPath)))
            {
                pvecPaths->emplace_back(pcszPath);
            }
        }
        if (pList)
        {
            pList->Release();
        }
    }
    return uRemoved;
}

uint32_t PemCorvaneIdxBuilder::PackageCount()
{
    std::lock_guard<std::mutex> lock(m_mtxAlloc);
    return static_cast<uint32_t>(m_vecPackage.size());
}

bool PemCorvaneIdxBuilder::GetDiskFileStat(const char* pcszPath, CorvaneFileStat* pStat)
{
    CORVANE_CHECK(pcszPath && *pcszPath && pStat);
    CorvanePlatform::FileStat st;
    CORVANE_CHECK(CorvanePlatform::PathStat(pcszPath, &st));
    CORVANE_CHECK(!st.bDirectory);
    *pStat = ToCachedStat(st);
    return true;
}

} // namespace NSCorvane
