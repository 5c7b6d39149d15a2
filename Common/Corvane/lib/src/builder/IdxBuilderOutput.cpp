// SPDX-License-Identifier: MIT
// Writing a finished version: packages first, then the index and every list,
// the last-version marker last, so a failure anywhere leaves readers on the
// previous version.
#include "builder/BuilderFileIo.h"
#include "builder/BuilderJobs.h"
#include "builder/BuilderStage.h"
#include "builder/KeyOrder.h"
#include "builder/PackagePublish.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "fs/CorvaneFiles.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace NSCorvane
{

namespace
{

std::string ListPath(const char* pcszDir, uint32_t uVer, const char* pcszName)
{
    return CorvaneUtil::PathJoin(pcszDir, NSCorvaneReader::VersionFilePath(uVer, pcszName));
}

} // namespace

bool PemCorvaneIdxBuilder::Output(const char* pcszDir)
{
    CORVANE_CHECK(pcszDir && *pcszDir);
    // Same order as AllocDiskHeader: allocation, then elements. Everything below runs under both.
    std::lock_guard<std::mutex> lockAlloc(m_mtxAlloc);
    std::lock_guard<std::mutex> lockElement(m_mtxElement);
    std::vector<CORVANE_IDX_ELEMENT> vec;
    std::string strStatText;
    bool bStatTextKept = false;
    try
    {
        vec.reserve(m_mapHash2Element.size());
        for (const auto& it : m_mapHash2Element)
        {
            CORVANE_CHECK(it.second.uContextHash);
            CORVANE_CHECK(it.second.uNameHash);
            CORVANE_CHECK(_INVALID_IDX != it.second.uVer);
            CORVANE_CHECK(_INVALID_IDX != it.second.uElemIdx);
            CORVANE_CHECK(_INVALID_IDX != it.second.uElemOfs);
            CORVANE_CHECK(_INVALID_IDX != it.second.uElemLen);
            vec.push_back(it.second);
        }
        const uint32_t uVer = m_pakOpt.nToVersion;
        CORVANE_CHECK(m_pDiskAlloc);
        CORVANE_CHECK(m_pDiskAlloc->WaitFinish());
        // The lists only depend on the elements and the package sizes, which
        // are final now; the package hashes are not in them. They and the stat
        // cache's text are made side by side on the build's threads, longest
        // first, then put in a fixed order.
        std::vector<ListFile> vecPart[5];
        static const size_t kLongestFirst[6] = {3, 1, 5, 0, 2, 4};
        const auto fnMake = [&](size_t uJob) -> bool
        {
            const size_t uPart = kLongestFirst[uJob];
            std::vector<ListFile>& vecOut = vecPart[uPart < 5 ? uPart : 0];
            switch (uPart)
            {
            case 0:
                vecOut.emplace_back();
                vecOut.back().strName = "_index";
                vecOut.back().strPath = ListPath(pcszDir, uVer, "_index");
                return PemCorvaneWriter::MakeIdxElementBytes(vec, vecOut.back().vecPlain);
            case 1:
                return _AddDirTreeFile(vecOut, pcszDir, uVer);
            case 2:
                return _AddPkgLists(vecOut, pcszDir, uVer) && _AddPakInfo(vecOut, pcszDir, uVer);
            case 3:
                return _AddFileInfo(vecOut, pcszDir, uVer);
            case 4:
                _AddTextLines(vecOut, pcszDir, uVer, "_diffile", m_setPatchFiles);
                _AddTextLines(vecOut, pcszDir, uVer, "_diffpkg", m_setPatchData);
                return true;
            default:
                strStatText = _FileStatCacheText();
                return true;
            }
        };
        CORVANE_CHECK(RunJobs(6, m_pakOpt.nTreadCount, fnMake));
        std::vector<ListFile> vecLists;
        for (std::vector<ListFile>& vecOne : vecPart)
        {
            for (ListFile& list : vecOne)
            {
                vecLists.push_back(std::move(list));
            }
        }
        CORVANE_CHECK(_FinishPackagesAndLists(pcszDir, vecLists));
        // Packages first, then the index and every list, each file replaced
        // atomically: readers only follow the marker written last.
        CORVANE_CHECK(PublishPackages(pcszDir));
        // Each is written and synced on its own; none is read before the marker.
        const auto fnWriteList = [&vecLists](size_t uList) -> bool
        {
            const ListFile& list = vecLists[uList];
            CORVANE_CHECK(list.strPath.size());
            return CorvaneUtil::DiskWriteBytes(list.vecEncoded.data(), list.vecEncoded.size(),
                                               list.strPath.c_str());
        };
        CORVANE_CHECK(RunJobs(vecLists.size(), m_pakOpt.nTreadCount, fnWriteList));

        // The old cache describes the previous version's files: it must not
        // vouch for the new version if writing the new cache fails below.
        // When it already says exactly what the new one would, it stays.
        bStatTextKept = !m_bRacySeen && !m_vecFileStatText.empty() &&
                        strStatText.size() == m_vecFileStatText.size() &&
                        0 == std::memcmp(strStatText.data(), m_vecFileStatText.data(), strStatText.size());
        if (!bStatTextKept)
        {
            CORVANE_CHECK(CorvaneUtil::SysDelete(GetFileStatCachePath(pcszDir).c_str()));
        }
        CORVANE_CHECK(PemCorvaneWriter::WriteLastVersion(pcszDir, uVer));
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
    if (!bStatTextKept)
    {
        _WriteFileStatCache(pcszDir, strStatText); // only costs speed on the next build when it fails
    }

    std::error_code err;
    std::filesystem::remove_all(std::filesystem::u8path(GetPackageStageRootPath(pcszDir)), err);
    return true;
}

bool PemCorvaneIdxBuilder::_FinishPackagesAndLists(const char* pcszExportDir, std::vector<ListFile>& vecLists)
{
    const std::string strStageRootDir = GetPackageStageRootPath(pcszExportDir);
    const size_t uPackages = m_vecPackage.size();
    // Finishing a package is mostly flushing, encoding a list is zstd at its
    // highest levels: on the build's threads they overlap instead of running
    // one after the other on this one. Lists to encode here come first,
    // largest first, so the longest jobs start early; then the packages; last
    // the lists the early thread may still be encoding, so that any waiting
    // for it comes as late as possible.
    std::vector<size_t> vecOrder(vecLists.size());
    for (size_t i = 0; i < vecOrder.size(); ++i)
    {
        vecOrder[i] = i;
    }
    std::stable_sort(vecOrder.begin(), vecOrder.end(),
                     [&](size_t a, size_t b)
                     {
                         const bool bEarlyA = _IsEarlyList(vecLists[a].strName);
                         const bool bEarlyB = _IsEarlyList(vecLists[b].strName);
                         if (bEarlyA != bEarlyB)
                         {
                             return bEarlyB;
                         }
                         return vecLists[a].vecPlain.size() > vecLists[b].vecPlain.size();
                     });
    size_t uOwnLists = 0;
    while (uOwnLists < vecOrder.size() && !_IsEarlyList(vecLists[vecOrder[uOwnLists]].strName))
    {
        ++uOwnLists;
    }
    const auto fnJob = [&](size_t uJob) -> bool
    {
        if (uJob >= uOwnLists && uJob < uOwnLists + uPackages)
        {
            CORVANE_DISK_PACKAGE_HEADER& header = m_vecPackage[uJob - uOwnLists];
            uint64_t uWrittenHash = 0;
            const bool bHashed =
                m_pDiskAlloc->GetWrittenHash(header.nPackageId, header.nContextLength, &uWrittenHash);
            CORVANE_CHECK(ApplyHeader(strStageRootDir.c_str(), m_pakOpt.nToVersion, header,
                                      bHashed ? &uWrittenHash : nullptr));
            return true;
        }
        const size_t uList = uJob < uOwnLists ? uJob : uJob - uPackages;
        return _EncodeList(pcszExportDir, vecLists[vecOrder[uList]]);
    };
    CORVANE_CHECK(RunJobs(uPackages + vecLists.size(), m_pakOpt.nTreadCount, fnJob));
    return true;
}

bool PemCorvaneIdxBuilder::PublishPackages(const char* pcszExportDir)
{
    const std::string strStageRootDir = GetPackageStageRootPath(pcszExportDir);
    for (const CORVANE_DISK_PACKAGE_HEADER& header : m_vecPackage)
    {
        CORVANE_CHECK(PublishPackage(strStageRootDir.c_str(), pcszExportDir, m_pakOpt.nToVersion, header));
    }
    return true;
}

bool PemCorvaneIdxBuilder::_AddDirTreeFile(std::vector<ListFile>& vecLists, const char* pcszDir,
                                           uint32_t uVer)
{
    CORVANE_CHECK(m_mapHash2Element.size());
    CORVANE_CHECK(m_setDirFileRelation.size());
    // Straight into the list's bytes: no second copy of the whole text.
    std::vector<uint8_t> vecBuff;
    const auto Append = [&vecBuff](const char* p, size_t uSize)
    {
        vecBuff.insert(vecBuff.end(), reinterpret_cast<const uint8_t*>(p),
                       reinterpret_cast<const uint8_t*>(p) + uSize);
    };
    for (const auto& it : m_setDirFileRelation)
    {
        char szKey[24];
        const char* pKeyEnd = std::to_chars(szKey, szKey + sizeof(szKey), it.first).ptr;
        Append(szKey, static_cast<size_t>(pKeyEnd - szKey));
        for (const std::string& strEntry : it.second)
        {
            vecBuff.push_back('\t');
            Append(strEntry.data(), strEntry.size());
        }
        Append("\r\n", 2);
    }
    CORVANE_CHECK(vecBuff.size());
    CORVANE_CHECK(vecBuff.size() <= UINT32_MAX);
    vecLists.emplace_back();
    vecLists.back().strName = "_dirtree";
    vecLists.back().strPath = ListPath(pcszDir, uVer, "_dirtree");
    vecLists.back().vecPlain = std::move(vecBuff);
    return true;
}

bool PemCorvaneIdxBuilder::_AddPkgLists(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer)
{
    CORVANE_CHECK(m_mapHash2Element.size());
    // Few packages hold many files: name each package once, not once per file.
    std::set<std::pair<uint32_t, uint32_t>> setPackage;
    for (const auto& it : m_mapHash2Element)
    {
        CORVANE_CHECK(_INVALID_IDX != it.second.uElemIdx);
        CORVANE_CHECK(_INVALID_VER != it.second.uVer);
        setPackage.emplace(it.second.uVer, it.second.uElemIdx);
    }
    std::set<std::string> setPkgPath;
    for (const auto& package : setPackage)
    {
        std::string strPath;
        NSCorvaneReader::IdxValue_2_Path(strPath, package.second, package.first);
        setPkgPath.insert(strPath);
    }
    CORVANE_CHECK(setPkgPath.size());
    _AddTextLines(vecLists, pcszDir, uVer, "_pkglst", setPkgPath);
    return true;
}

bool PemCorvaneIdxBuilder::_AddPakInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer)
{
    CORVANE_PAK_INFO info;
    std::memset(&info, 0, sizeof(info));
    info.uInfoVersion = 0;
    info.uStoreVersion = uVer;
    info.uPackageCount = static_cast<uint32_t>(m_vecPackage.size());
    for (const CORVANE_DISK_PACKAGE_HEADER& header : m_vecPackage)
    {
        info.uFileCount += header.nFileCount;
        info.uTotalDataSize += header.nContextLength;
    }
    info.uOptionValue = m_pakOpt.nOptionValue;
    CORVANE_CHECK(36 == m_strReleaseGuid.size());
    std::memcpy(info.szReleaseGuid, m_strReleaseGuid.c_str(), m_strReleaseGuid.size() + 1);
    std::memcpy(info.szReleaseText, m_pakOpt.szReleaseText, sizeof(info.szReleaseText));
    info.szReleaseText[sizeof(info.szReleaseText) - 1] = '\0';
    const uint8_t* pbyInfo = reinterpret_cast<const uint8_t*>(&info);
    vecLists.emplace_back();
    vecLists.back().strName = "_pkginf";
    vecLists.back().strPath = ListPath(pcszDir, uVer, "_pkginf");
    vecLists.back().vecPlain.assign(pbyInfo, pbyInfo + sizeof(info));
    return true;
}

bool PemCorvaneIdxBuilder::_PathPool(std::vector<uint8_t>& vecPool, std::vector<uint32_t>* pvecOffsets)
{
    // Paths by name hash, so the pool follows the element order.
    std::vector<std::pair<uint64_t, const std::string*>> vecPath;
    vecPath.reserve(m_setsElementPath.size());
    for (const std::string& strPath : m_setsElementPath)
    {
        vecPath.emplace_back(NSCorvaneReader::CalcNameHash(strPath.c_str()), &strPath);
    }
    std::sort(vecPath.begin(), vecPath.end());
    vecPool.clear();
    // Both in hash order: one pass over each.
    auto itPath = vecPath.begin();
    for (const auto& it : m_mapHash2Element)
    {
        itPath = SkipBelowKey(itPath, vecPath.end(), it.first);
        CORVANE_CHECK(itPath != vecPath.end() && itPath->first == it.first);
        CORVANE_CHECK(vecPool.size() <= UINT32_MAX);
        if (pvecOffsets)
        {
            pvecOffsets->push_back(static_cast<uint32_t>(vecPool.size()));
        }
        vecPool.insert(vecPool.end(), itPath->second->begin(), itPath->second->end());
        vecPool.push_back(0);
    }
    CORVANE_CHECK(vecPool.size() <= UINT32_MAX);
    return true;
}

bool PemCorvaneIdxBuilder::_AddFileInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer)
{
    std::vector<uint8_t> vecStringPool;
    std::vector<uint32_t> vecOffsets;
    CORVANE_CHECK(_PathPool(vecStringPool, &vecOffsets));
    std::vector<uint8_t> vecRecord(sizeof(FileInfoHeader));
    uint32_t uCount = 0;
    // Both maps in hash order: one pass over each.
    auto itStat = m_mapHash2FileStat.begin();
    for (const auto& it : m_mapHash2Element)
    {
        itStat = SkipBelowKey(itStat, m_mapHash2FileStat.end(), it.first);
        CORVANE_CHECK(itStat != m_mapHash2FileStat.end() && itStat->first == it.first);
        CORVANE_CHECK(itStat->second.uFileSize <= UINT32_MAX);
        FileInfoElement record;
        record.uNameHash = it.first;
        record.uFileSize = static_cast<uint32_t>(itStat->second.uFileSize);
        record.uPathOffset = vecOffsets[uCount];
        const uint8_t* pbyRecord = reinterpret_cast<const uint8_t*>(&record);
        vecRecord.insert(vecRecord.end(), pbyRecord, pbyRecord + sizeof(record));
        ++uCount;
    }
    FileInfoHeader header;
    header.uVersion = FILE_INFO_VERSION;
    header.uHeaderSize = sizeof(FileInfoHeader);
    header.uElemSize = sizeof(FileInfoElement);
    header.uElemCount = uCount;
    std::memcpy(vecRecord.data(), &header, sizeof(header));
    CORVANE_CHECK(vecRecord.size() <= UINT32_MAX);
    vecLists.emplace_back();
    vecLists.back().strName = "_fileinf";
    vecLists.back().strPath = ListPath(pcszDir, uVer, "_fileinf");
    vecLists.back().vecPlain = std::move(vecRecord);
    vecLists.emplace_back();
    vecLists.back().strName = "_fileinfstr";
    vecLists.back().strPath = ListPath(pcszDir, uVer, "_fileinfstr");
    vecLists.back().vecPlain = std::move(vecStringPool);
    return true;
}

void PemCorvaneIdxBuilder::_AddTextLines(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer,
                                         const char* pcszName, const std::set<std::string>& setLines)
{
    const std::string strText = NSCorvaneReader::JoinTextLines(setLines);
    vecLists.emplace_back();
    vecLists.back().strName = pcszName;
    vecLists.back().strPath = ListPath(pcszDir, uVer, pcszName);
    vecLists.back().vecPlain.assign(reinterpret_cast<const uint8_t*>(strText.data()),
                                    reinterpret_cast<const uint8_t*>(strText.data()) + strText.size());
}

std::string PemCorvaneIdxBuilder::_FileStatCacheText()
{
    std::string strText;
    strText.reserve(m_mapHash2Element.size() * 48);
    // Both maps are ordered by name hash: one pass over each.
    auto itStat = m_mapHash2FileStat.begin();
    for (const auto& it : m_mapHash2Element)
    {
        itStat = SkipBelowKey(itStat, m_mapHash2FileStat.end(), it.first);
        if (itStat != m_mapHash2FileStat.end() && itStat->first == it.first)
        {
            AppendFileStatLine(strText, it.first, itStat->second);
        }
    }
    return strText;
}

bool PemCorvaneIdxBuilder::_WriteFileStatCache(const char* pcszDir, const std::string& strText)
{
    const std::string strFile = GetFileStatCachePath(pcszDir);
    CORVANE_CHECK(CorvaneUtil::CreateParentDirectories(strFile));
    CORVANE_CHECK(CorvaneUtil::DiskWriteBytes(strText.data(), strText.size(), strFile.c_str()));
    return true;
}

} // namespace NSCorvane
