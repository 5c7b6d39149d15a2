// SPDX-License-Identifier: MIT
#include "format/CorvaneEnvelope.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

using namespace NSCorvane;

namespace NSCorvaneReader
{

namespace
{

// Frees a library-memory buffer on every path.
struct LibraryBuffer
{
    uint8_t* p = nullptr;
    ~LibraryBuffer() { CorvaneUtil::MemoryFree(p); }
};

} // namespace

bool IdxValue_2_Path(std::string& strOut, uint32_t uElemIdx, uint32_t uVer)
{
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "%s/v%u/%u/%u.%s", "dat", uVer, uElemIdx / 10, uElemIdx, "dat");
    strOut = szPath;
    return true;
}

std::string LastVersionPath()
{
    return std::string("idx") + "/_lastver";
}

std::string VersionFilePath(uint32_t uVer, const char* pcszName)
{
    return "dat/v" + std::to_string(uVer) + "/" + (pcszName ? pcszName : "");
}

bool DecodeCompressedBinary(const void* pData, uint64_t uSize, std::vector<uint8_t>& vecOut)
{
    CORVANE_CHECK(pData || uSize == 0);
    CORVANE_CHECK(uSize >= sizeof(CORVANE_HASH_HEADER));
    CORVANE_HASH_HEADER header;
    std::memcpy(&header, pData, sizeof(header));
    CORVANE_CHECK(header.nMagic == CORVANE_MAGIC);
    CORVANE_CHECK(header.nDatLength == uSize - sizeof(CORVANE_HASH_HEADER));
    const uint8_t* pbyData = static_cast<const uint8_t*>(pData) + sizeof(CORVANE_HASH_HEADER);
    const uint64_t hashContext = CalcContextHash(pbyData, header.nDatLength);
    CORVANE_CHECK(hashContext == header.hashContext);

    LibraryBuffer decoded;
    uint32_t uDecodeSize = 0;
    // Index and list files carry no type field: they are always zstd frames.
    CORVANE_CHECK(
        CorvaneCompress::UnCompressContent(pbyData, header.nDatLength, &decoded.p, &uDecodeSize, STCT_ZSTD));
    try
    {
        vecOut.assign(decoded.p, decoded.p + uDecodeSize);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("vecOut.assign(decoded)");
        return false;
    }
    return true;
}

void SplitTextLines(const uint8_t* pData, size_t uSize, std::vector<std::string>& vecLines)
{
    vecLines.clear();
    size_t uStart = 0;
    for (size_t i = 0; i + 1 < uSize; ++i)
    {
        if (pData[i] == '\r' && pData[i + 1] == '\n')
        {
            vecLines.emplace_back(reinterpret_cast<const char*>(pData + uStart), i - uStart);
            uStart = i + 2;
            ++i;
        }
    }
}

bool EncodeCompressedBinary(const void* pData, uint32_t uSize, std::vector<uint8_t>& vecOut)
{
    LibraryBuffer encoded;
    uint32_t uEncodeSize = 0;
    CORVANE_CHECK(CorvaneCompress::CompressContent(static_cast<const uint8_t*>(pData), uSize, &encoded.p,
                                                   &uEncodeSize, STCT_ZSTD,
                                                   CorvaneCompress::kListCompressLevel));
    CORVANE_HASH_HEADER header;
    header.nMagic = CORVANE_MAGIC;
    header.hashContext = CalcContextHash(encoded.p, uEncodeSize);
    header.nDatLength = uEncodeSize;
    try
    {
        vecOut.resize(sizeof(header) + uEncodeSize);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("vecOut.resize(sizeof(header) + uEncodeSize)");
        return false;
    }
    std::memcpy(vecOut.data(), &header, sizeof(header));
    if (uEncodeSize)
    {
        std::memcpy(vecOut.data() + sizeof(header), encoded.p, uEncodeSize);
    }
    return true;
}

std::string JoinTextLines(const std::set<std::string>& setLines)
{
    std::string strOut;
    for (const std::string& strLine : setLines)
    {
        strOut += strLine;
        strOut += "\r\n";
    }
    return strOut;
}

std::vector<uint8_t> EncodeLastVersion(uint32_t uVer)
{
    CORVANE_HASH_HEADER header;
    header.nMagic = CORVANE_MAGIC;
    header.hashContext = CalcContextHash(&uVer, sizeof(uVer));
    header.nDatLength = sizeof(uVer);
    std::vector<uint8_t> vecOut(sizeof(header) + sizeof(uVer));
    std::memcpy(vecOut.data(), &header, sizeof(header));
    std::memcpy(vecOut.data() + sizeof(header), &uVer, sizeof(uVer));
    return vecOut;
}

bool DecodeLastVersion(const void* pData, uint64_t uSize, uint32_t* puVer)
{
    CORVANE_CHECK(puVer);
    CORVANE_CHECK(pData && uSize >= sizeof(CORVANE_HASH_HEADER));
    CORVANE_HASH_HEADER header;
    std::memcpy(&header, pData, sizeof(header));
    CORVANE_CHECK(header.nMagic == CORVANE_MAGIC);
    uint32_t uVerRead = 0;
    CORVANE_CHECK(sizeof(uVerRead) == header.nDatLength);
    CORVANE_CHECK(uSize == sizeof(header) + sizeof(uVerRead));
    std::memcpy(&uVerRead, static_cast<const uint8_t*>(pData) + sizeof(header), sizeof(uVerRead));
    const uint64_t hashContext = CalcContextHash(&uVerRead, sizeof(uVerRead));
    CORVANE_CHECK(hashContext == header.hashContext);
    *puVer = uVerRead;
    return true;
}

bool CheckStreamDatFile(IFile* pifData)
{
    CORVANE_CHECK(pifData);
    return CheckStreamDatBytes(static_cast<const uint8_t*>(pifData->GetBuffer()), pifData->Size());
}

bool CheckStreamDatBytes(const uint8_t* pbyData, uint32_t uSize)
{
    if (!pbyData || uSize < sizeof(CORVANE_DISK_PACKAGE_HEADER))
    {
        return false;
    }
    CORVANE_DISK_PACKAGE_HEADER header;
    std::memcpy(&header, pbyData, sizeof(header));
    if (header.nMagic != CORVANE_MAGIC || uSize < header.nHeadOffset)
    {
        return false;
    }
    char szLine[256];
    const uint32_t uLength = uSize - header.nHeadOffset;
    if (uLength != header.nContextLength)
    {
        std::snprintf(szLine, sizeof(szLine),
                      "_StreamDatFileChecker length failed. file_size=%u head_offset=%u context_len=%u "
                      "header_context_len=%u package_id=%u",
                      uSize, header.nHeadOffset, uLength, header.nContextLength, header.nPackageId);
        CorvaneUtil::WriteLogLine(szLine);
        return false;
    }
    const uint64_t uActual = CalcContextHash(pbyData + header.nHeadOffset, uLength);
    if (uActual != header.hashContext)
    {
        std::snprintf(
            szLine, sizeof(szLine),
            "_StreamDatFileChecker hash failed. file_size=%u head_offset=%u context_len=%u package_id=%u "
            "expected=%llu actual=%llu",
            uSize, header.nHeadOffset, uLength, header.nPackageId,
            static_cast<unsigned long long>(header.hashContext), static_cast<unsigned long long>(uActual));
        CorvaneUtil::WriteLogLine(szLine);
        return false;
    }
    return true;
}

} // namespace NSCorvaneReader
