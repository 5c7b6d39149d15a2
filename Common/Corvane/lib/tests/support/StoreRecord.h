// SPDX-License-Identifier: MIT
// One file record (225-byte header + zstd envelope) as the builder writes it.
// Header-only and free of the test framework, so fuzz targets use it too.
#pragma once

#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"

#include <Corvane/CorvaneRecords.h>

#include <cstring>
#include <string>

namespace CorvaneTest
{

// False when the content cannot be compressed; *pstrRecord is then unchanged.
inline bool MakeFileRecord(const std::string& strPath, const std::string& strContent, int nLevel,
                           std::string* pstrRecord)
{
    using namespace NSCorvane;
    CORVANE_FILE_HEADER header{};
    header.nMagic = CORVANE_MAGIC;
    std::strncpy(header.szFilePath, strPath.c_str(), sizeof(header.szFilePath) - 1);
    header.hashContext =
        NSCorvaneReader::CalcContextHash(strContent.data(), static_cast<uint32_t>(strContent.size()));
    header.nOriContexLength = static_cast<uint32_t>(strContent.size());
    header.nCompressType = STCT_ZSTD;
    header.nHeadOffset = sizeof(CORVANE_FILE_HEADER);
    uint8_t* pOut = nullptr;
    uint32_t uOut = 0;
    if (!CorvaneCompress::CompressContent(reinterpret_cast<const uint8_t*>(strContent.data()),
                                          static_cast<uint32_t>(strContent.size()), &pOut, &uOut, STCT_ZSTD,
                                          nLevel))
    {
        return false;
    }
    header.nEncodeSize = uOut;
    pstrRecord->assign(reinterpret_cast<const char*>(&header), sizeof(header));
    pstrRecord->append(reinterpret_cast<const char*>(pOut), uOut);
    CorvaneUtil::MemoryFree(pOut);
    return true;
}

} // namespace CorvaneTest
