// SPDX-License-Identifier: MIT
#include "FuzzSupport.h"

#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "fs/PemStreamBufferFile.h"
#include "support/StoreRecord.h"

#include <cstring>
#include <vector>

using namespace NSCorvane;

namespace CorvaneFuzz
{

IFile* MemoryFileSys::Open(const char* pcszPath, int)
{
    auto it = m_mapFiles.find(pcszPath ? pcszPath : "");
    if (it == m_mapFiles.end())
    {
        return nullptr;
    }
    return PemStreamBufferFile::CreateCopy(it->second.data(), static_cast<uint32_t>(it->second.size()));
}

bool MemoryFileSys::Exists(const char* pcszPath, int)
{
    return m_mapFiles.count(pcszPath ? pcszPath : "") != 0;
}

MemoryStoreReader::MemoryStoreReader() : PemCorvaneReader(0), m_pFiles(new MemoryFileSys)
{
    Factory().AddRemote(m_pFiles);
}

MemoryStoreReader::~MemoryStoreReader()
{
    Factory().Release();
}

std::string Wrap(const std::string& strContent)
{
    std::vector<uint8_t> vec;
    NSCorvaneReader::EncodeCompressedBinary(strContent.data(), static_cast<uint32_t>(strContent.size()), vec);
    return std::string(vec.begin(), vec.end());
}

void AddSampleStore(MemoryFileSys& files)
{
    const std::map<std::string, std::string> mapContent = {
        {"a.txt", "alpha"}, {"d/b.txt", std::string(300, 'b')}, {"d/e/c.bin", ""}};
    std::string strData;
    std::vector<CORVANE_IDX_ELEMENT> vecElement;
    for (const auto& [strPath, strContent] : mapContent)
    {
        std::string strRecord;
        CorvaneTest::MakeFileRecord(strPath, strContent, 1, &strRecord);
        CORVANE_IDX_ELEMENT element{
            NSCorvaneReader::CalcNameHash(strPath.c_str()),
            NSCorvaneReader::CalcContextHash(strContent.data(), static_cast<uint32_t>(strContent.size())),
            1,
            0,
            static_cast<uint32_t>(sizeof(CORVANE_DISK_PACKAGE_HEADER) + strData.size()),
            static_cast<uint32_t>(strRecord.size())};
        vecElement.push_back(element);
        strData += strRecord;
    }
    std::sort(vecElement.begin(), vecElement.end(),
              [](const CORVANE_IDX_ELEMENT& a, const CORVANE_IDX_ELEMENT& b)
              { return a.uNameHash < b.uNameHash; });
    CORVANE_DISK_PACKAGE_HEADER header{
        CORVANE_MAGIC,
        0,
        static_cast<uint32_t>(mapContent.size()),
        NSCorvaneReader::CalcContextHash(strData.data(), static_cast<uint32_t>(strData.size())),
        static_cast<uint32_t>(strData.size()),
        sizeof(CORVANE_DISK_PACKAGE_HEADER)};
    files.m_mapFiles["dat/v1/0/0.dat"] =
        std::string(reinterpret_cast<const char*>(&header), sizeof(header)) + strData;

    const uint32_t uCount = static_cast<uint32_t>(vecElement.size());
    std::string strIndex(reinterpret_cast<const char*>(&uCount), sizeof(uCount));
    strIndex.append(reinterpret_cast<const char*>(vecElement.data()),
                    vecElement.size() * sizeof(CORVANE_IDX_ELEMENT));
    files.m_mapFiles["dat/v1/_index"] = Wrap(strIndex);

    std::map<uint64_t, std::string> mapTree = {
        {NSCorvaneReader::CalcNormalizedNameHash(""), "\tD:d\tF:a.txt"},
        {NSCorvaneReader::CalcNormalizedNameHash("d"), "\tD:e\tF:b.txt"},
        {NSCorvaneReader::CalcNormalizedNameHash("d/e"), "\tF:c.bin"}};
    std::string strTree;
    for (const auto& [uKey, strRest] : mapTree)
    {
        strTree += std::to_string(uKey) + strRest + "\r\n";
    }
    files.m_mapFiles["dat/v1/_dirtree"] = Wrap(strTree);
    files.m_mapFiles["dat/v1/_pkglst"] = Wrap("dat/v1/0/0.dat\r\n");
    files.m_mapFiles["dat/v1/_diffile"] = Wrap("a.txt\r\nd/b.txt\r\nd/e/c.bin\r\n");
    files.m_mapFiles["dat/v1/_diffpkg"] = Wrap("dat/v1/0/0.dat\r\n");
    CORVANE_PAK_INFO info{};
    info.uStoreVersion = 1;
    files.m_mapFiles["dat/v1/_pkginf"] =
        Wrap(std::string(reinterpret_cast<const char*>(&info), sizeof(info)));
    const std::vector<uint8_t> vecMarker = NSCorvaneReader::EncodeLastVersion(1);
    files.m_mapFiles["idx/_lastver"] = std::string(vecMarker.begin(), vecMarker.end());
}

void ReadEverything(PemCorvaneReader& reader)
{
    CORVANE_PAK_INFO info;
    reader.ReadPakInfo(&info);
    for (IStringList* pList :
         {reader.OpenFileList(), reader.OpenFileList("d", false), reader.OpenFileList("D", true),
          reader.OpenDataList(), reader.OpenPatchFileList(), reader.OpenPatchDataList()})
    {
        if (pList)
        {
            for (uint32_t i = 0; i < pList->Count(); ++i)
            {
                const char* pcszPath = pList->Get(i);
                CorvaneFileInfo fileInfo;
                reader.GetFileInfo(pcszPath, &fileInfo);
                if (IFile* pif = reader.OpenFile(pcszPath, -1))
                {
                    pif->Release();
                }
            }
            pList->Release();
        }
    }
    for (const CORVANE_IDX_ELEMENT& element : reader.Elements())
    {
        std::string strPackage;
        NSCorvaneReader::IdxValue_2_Path(strPackage, element.uElemIdx, element.uVer);
        if (IFile* pif = reader.Factory().Open(strPackage.c_str(), 0))
        {
            NSCorvaneReader::CheckStreamDatFile(pif);
            pif->Release();
        }
    }
}

void QuietLibrary()
{
    CorvaneUtil::SetErrorLogHook(nullptr);
}

} // namespace CorvaneFuzz
