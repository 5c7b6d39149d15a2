// SPDX-License-Identifier: MIT
// Writing the files of a store version. Every file is replaced atomically
// (temporary name, then rename), so a reader never sees a torn file.
#pragma once

#include "reader/PemCorvaneReader.h"

#include <Corvane/CorvaneRecords.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemCorvaneWriter : public PemCorvaneReader
{
public:
    using PemCorvaneReader::PemCorvaneReader;

    // A hashed + compressed file holding [pData, pData + uSize).
    static bool WriteCompressedContentFile(const std::string& strFile, const uint8_t* pData, uint32_t uSize);
    // Each string followed by "\r\n", as a hashed + compressed file.
    static bool WriteCompressedTextLines(const std::string& strFile, const std::set<std::string>& setLines);
    // idx/_lastver below rootDir: the 20-byte marker, replaced atomically.
    static bool WriteLastVersion(const char* pcszRootDir, uint32_t uVer);
    // The plain bytes of an index file: the count, then the elements.
    static bool MakeIdxElementBytes(const std::vector<CORVANE_IDX_ELEMENT>& vecElement,
                                    std::vector<uint8_t>& vecOut);
    // dat/vV/_index below rootDir; vecElement sorted by uNameHash.
    static bool WriteIdxElement(const std::vector<CORVANE_IDX_ELEMENT>& vecElement, const char* pcszRootDir,
                                uint32_t uVer);
};

} // namespace NSCorvane
