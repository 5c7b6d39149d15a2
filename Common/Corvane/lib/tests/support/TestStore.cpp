// SPDX-License-Identifier: MIT
#include "support/TestStore.h"

#include "builder/PemCorvaneWriter.h"
#include "common/CorvaneMemory.h"
#include "common/CorvanePath.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "support/StoreRecord.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

using namespace NSCorvane;

namespace CorvaneTest
{

std::string BuildDirTreeText(const std::vector<std::string>& vecPaths)
{
    std::map<std::string, std::set<std::string>> mapDirTokens;
    mapDirTokens[""];
    for (const std::string& strPath : vecPaths)
    {
        std::string strDir = CorvaneUtil::ParentPath(strPath);
        std::string strName = strPath.substr(strDir.empty() ? 0 : strDir.size() + 1);
        mapDirTokens[strDir].insert("F:" + strName);
        while (!strDir.empty())
        {
            const std::string strParent = CorvaneUtil::ParentPath(strDir);
            const std::string strSub = strDir.substr(strParent.empty() ? 0 : strParent.size() + 1);
            mapDirTokens[strParent].insert("D:" + strSub);
            strDir = strParent;
        }
    }
    std::map<uint64_t, std::string> mapLines;
    for (const auto& [strDir, setTokens] : mapDirTokens)
    {
        std::string strLine = std::to_string(NSCorvaneReader::CalcNormalizedNameHash(strDir.c_str()));
        for (const std::string& strToken : setTokens)
        {
            strLine += "\t" + strToken;
        }
        mapLines[NSCorvaneReader::CalcNormalizedNameHash(strDir.c_str())] = strLine;
    }
    std::string strText;
    for (const auto& entry : mapLines)
    {
        strText += entry.second + "\r\n";
    }
    return strText;
}

bool WriteCompressedFile(const std::string& strRoot, const std::string& strRel, const std::string& strContent)
{
    const bool bOk = PemCorvaneWriter::WriteCompressedContentFile(
        strRoot + "/" + strRel, reinterpret_cast<const uint8_t*>(strContent.data()),
        static_cast<uint32_t>(strContent.size()));
    EXPECT_TRUE(bOk) << strRel;
    return bOk;
}

bool WriteHashedRaw(const std::string& strPath, const std::string& strData)
{
    CORVANE_HASH_HEADER header{
        CORVANE_MAGIC,
        NSCorvaneReader::CalcContextHash(strData.data(), static_cast<uint32_t>(strData.size())),
        static_cast<uint32_t>(strData.size())};
    std::string strFile(reinterpret_cast<const char*>(&header), sizeof(header));
    strFile += strData;
    return WriteFileText(strPath, strFile);
}

bool WriteTestStoreVersion(const std::string& strRoot, const TestStoreVersion& version,
                           TestStoreResult* pResult)
{
    TestStoreResult result;
    const uint32_t uVer = version.uVersion;
    std::set<std::string> setPkgList, setDiffFile, setDiffPkg;
    uint32_t uPackage = 0;
    uint32_t uTotalFiles = 0;
    uint64_t uTotalData = 0;

    // Packages of this version: uFilesPerPackage records each, in path order.
    auto it = version.mapFiles.begin();
    while (it != version.mapFiles.end())
    {
        std::string strData;
        uint32_t uCount = 0;
        for (; it != version.mapFiles.end() && uCount < version.uFilesPerPackage; ++it, ++uCount)
        {
            std::string strRecord;
            EXPECT_TRUE(MakeFileRecord(it->first, it->second, version.nCompressLevel, &strRecord))
                << it->first;
            CORVANE_IDX_ELEMENT element{};
            element.uNameHash = NSCorvaneReader::CalcNameHash(it->first.c_str());
            element.uContextHash =
                NSCorvaneReader::CalcContextHash(it->second.data(), static_cast<uint32_t>(it->second.size()));
            element.uVer = uVer;
            element.uElemIdx = uPackage;
            element.uElemOfs = static_cast<uint32_t>(sizeof(CORVANE_DISK_PACKAGE_HEADER) + strData.size());
            element.uElemLen = static_cast<uint32_t>(strRecord.size());
            strData += strRecord;
            result.mapElement[it->first] = element;
            setDiffFile.insert(it->first);
        }
        CORVANE_DISK_PACKAGE_HEADER header{};
        header.nMagic = CORVANE_MAGIC;
        header.nPackageId = uPackage;
        header.nFileCount = uCount;
        header.hashContext =
            NSCorvaneReader::CalcContextHash(strData.data(), static_cast<uint32_t>(strData.size()));
        header.nContextLength = static_cast<uint32_t>(strData.size());
        header.nHeadOffset = sizeof(header);
        std::string strPath;
        NSCorvaneReader::IdxValue_2_Path(strPath, uPackage, uVer);
        if (!WriteFileText(strRoot + "/" + strPath,
                           std::string(reinterpret_cast<const char*>(&header), sizeof(header)) + strData))
        {
            return false;
        }
        result.vecPackage.push_back(strPath);
        setDiffPkg.insert(strPath);
        uTotalFiles += uCount;
        uTotalData += strData.size();
        ++uPackage;
    }
    for (const auto& [strPath, element] : version.mapKept)
    {
        result.mapElement[strPath] = element;
    }

    std::vector<std::string> vecPaths;
    for (const auto& [strPath, element] : result.mapElement)
    {
        vecPaths.push_back(strPath);
        result.vecElement.push_back(element);
        std::string strPkg;
        NSCorvaneReader::IdxValue_2_Path(strPkg, element.uElemIdx, element.uVer);
        setPkgList.insert(strPkg);
    }
    std::sort(result.vecElement.begin(), result.vecElement.end(),
              [](const CORVANE_IDX_ELEMENT& a, const CORVANE_IDX_ELEMENT& b)
              { return a.uNameHash < b.uNameHash; });
    bool bOk = PemCorvaneWriter::WriteIdxElement(result.vecElement, strRoot.c_str(), uVer);
    bOk = bOk && WriteCompressedFile(strRoot, NSCorvaneReader::VersionFilePath(uVer, "_dirtree"),
                                     BuildDirTreeText(vecPaths));
    const std::string strDir = strRoot + "/" + NSCorvaneReader::VersionFilePath(uVer, "");
    bOk = bOk && PemCorvaneWriter::WriteCompressedTextLines(strDir + "_pkglst", setPkgList);
    bOk = bOk && PemCorvaneWriter::WriteCompressedTextLines(strDir + "_diffile", setDiffFile);
    bOk = bOk && PemCorvaneWriter::WriteCompressedTextLines(strDir + "_diffpkg", setDiffPkg);

    CORVANE_PAK_INFO info{};
    info.uStoreVersion = uVer;
    info.uFileCount = uTotalFiles;
    info.uPackageCount = uPackage;
    info.uTotalDataSize = uTotalData;
    std::strncpy(info.szReleaseGuid, "01234567-89AB-CDEF-0123-456789ABCDEF", sizeof(info.szReleaseGuid) - 1);
    std::strncpy(info.szReleaseText, version.strReleaseText.c_str(), sizeof(info.szReleaseText) - 1);
    bOk = bOk && WriteCompressedFile(strRoot, NSCorvaneReader::VersionFilePath(uVer, "_pkginf"),
                                     std::string(reinterpret_cast<const char*>(&info), sizeof(info)));

    // File information: sorted records, pool in path order.
    std::string strPool;
    std::vector<FileInfoElement> vecInfo;
    for (const auto& [strPath, element] : result.mapElement)
    {
        FileInfoElement info2{};
        info2.uNameHash = element.uNameHash;
        auto itFile = version.mapFiles.find(strPath);
        info2.uFileSize = itFile != version.mapFiles.end() ? static_cast<uint32_t>(itFile->second.size()) : 0;
        info2.uPathOffset = static_cast<uint32_t>(strPool.size());
        strPool += strPath;
        strPool.push_back('\0');
        vecInfo.push_back(info2);
    }
    std::sort(vecInfo.begin(), vecInfo.end(),
              [](const FileInfoElement& a, const FileInfoElement& b) { return a.uNameHash < b.uNameHash; });
    FileInfoHeader fih{FILE_INFO_VERSION, sizeof(FileInfoHeader), sizeof(FileInfoElement),
                       static_cast<uint32_t>(vecInfo.size())};
    std::string strInfo(reinterpret_cast<const char*>(&fih), sizeof(fih));
    strInfo.append(reinterpret_cast<const char*>(vecInfo.data()), vecInfo.size() * sizeof(FileInfoElement));
    bOk = bOk && WriteCompressedFile(strRoot, NSCorvaneReader::VersionFilePath(uVer, "_fileinf"), strInfo);
    bOk = bOk && WriteCompressedFile(strRoot, NSCorvaneReader::VersionFilePath(uVer, "_fileinfstr"), strPool);
    if (version.bWriteLastVersion)
    {
        bOk = bOk && PemCorvaneWriter::WriteLastVersion(strRoot.c_str(), uVer);
    }
    EXPECT_TRUE(bOk);
    if (pResult)
    {
        *pResult = std::move(result);
    }
    return bOk;
}

std::vector<std::string> Lines(NSCorvane::IStringList* pList)
{
    std::vector<std::string> vec;
    if (pList)
    {
        for (uint32_t i = 0; i < pList->Count(); ++i)
        {
            vec.emplace_back(pList->Get(i));
        }
        EXPECT_EQ(pList->Get(pList->Count()), nullptr);
        pList->Release();
    }
    return vec;
}

} // namespace CorvaneTest
