// SPDX-License-Identifier: MIT
#include "builder/PemCorvaneWriter.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "fs/CorvaneFiles.h"

#include <cstring>
#include <new>

namespace NSCorvane
{

bool PemCorvaneWriter::WriteCompressedContentFile(const std::string& strFile, const uint8_t* pData,
                                                  uint32_t uSize)
{
    CORVANE_CHECK(strFile.size());
    std::vector<uint8_t> vecFile;
    CORVANE_CHECK(NSCorvaneReader::EncodeCompressedBinary(pData, uSize, vecFile));
    CORVANE_CHECK(CorvaneUtil::DiskWriteBytes(vecFile.data(), vecFile.size(), strFile.c_str()));
    return true;
}

bool PemCorvaneWriter::WriteCompressedTextLines(const std::string& strFile,
                                                const std::set<std::string>& setLines)
{
    std::string strText;
    try
    {
        strText = NSCorvaneReader::JoinTextLines(setLines);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("JoinTextLines(setLines)");
        return false;
    }
    CORVANE_CHECK(strText.size() <= UINT32_MAX);
    return WriteCompressedContentFile(strFile, reinterpret_cast<const uint8_t*>(strText.data()),
                                      static_cast<uint32_t>(strText.size()));
}

bool PemCorvaneWriter::WriteLastVersion(const char* pcszRootDir, uint32_t uVer)
{
    CORVANE_CHECK(pcszRootDir && *pcszRootDir);
    const std::string strLastFile = CorvaneUtil::PathJoin(pcszRootDir, NSCorvaneReader::LastVersionPath());
    const std::vector<uint8_t> vecMarker = NSCorvaneReader::EncodeLastVersion(uVer);
    // Replaced whole, never rewritten in place: a crash while publishing must not
    // leave a torn marker that makes every version unreadable.
    CORVANE_CHECK(CorvaneUtil::DiskWriteBytes(vecMarker.data(), vecMarker.size(), strLastFile.c_str()));
    return true;
}

bool PemCorvaneWriter::MakeIdxElementBytes(const std::vector<CORVANE_IDX_ELEMENT>& vecElement,
                                           std::vector<uint8_t>& vecBuffer)
{
    const uint64_t uBytes =
        sizeof(uint32_t) + static_cast<uint64_t>(vecElement.size()) * sizeof(CORVANE_IDX_ELEMENT);
    CORVANE_CHECK(uBytes <= UINT32_MAX);
    try
    {
        vecBuffer.resize(static_cast<size_t>(uBytes));
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("vecBuffer.resize(uBytes)");
        return false;
    }
    const uint32_t uCount = static_cast<uint32_t>(vecElement.size());
    std::memcpy(vecBuffer.data(), &uCount, sizeof(uCount));
    if (uCount)
    {
        std::memcpy(vecBuffer.data() + sizeof(uCount), vecElement.data(),
                    uCount * sizeof(CORVANE_IDX_ELEMENT));
    }
    return true;
}

bool PemCorvaneWriter::WriteIdxElement(const std::vector<CORVANE_IDX_ELEMENT>& vecElement,
                                       const char* pcszRootDir, uint32_t uVer)
{
    CORVANE_CHECK(pcszRootDir && *pcszRootDir);
    std::vector<uint8_t> vecBuffer;
    CORVANE_CHECK(MakeIdxElementBytes(vecElement, vecBuffer));
    const std::string strFile =
        CorvaneUtil::PathJoin(pcszRootDir, NSCorvaneReader::VersionFilePath(uVer, "_index"));
    CORVANE_CHECK(
        WriteCompressedContentFile(strFile, vecBuffer.data(), static_cast<uint32_t>(vecBuffer.size())));
    return true;
}

} // namespace NSCorvane
