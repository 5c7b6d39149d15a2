// SPDX-License-Identifier: MIT
#include "format/CorvanePackageCheck.h"

#include "common/CorvaneLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace NSCorvaneReader
{

void PackageStreamCheck::Feed(const void* pData, size_t uSize)
{
    const auto* pbyData = static_cast<const uint8_t*>(pData);
    const uint64_t uHeader = sizeof(m_header);
    if (m_uFed < uHeader)
    {
        const size_t uTake = static_cast<size_t>(std::min<uint64_t>(uHeader - m_uFed, uSize));
        std::memcpy(reinterpret_cast<uint8_t*>(&m_header) + m_uFed, pbyData, uTake);
        m_uFed += uTake;
        pbyData += uTake;
        uSize -= uTake;
    }
    // The data region starts at the header's offset (28 in every package
    // written so far); bytes between are not hashed.
    while (uSize > 0)
    {
        const uint64_t uRegion = m_header.nHeadOffset;
        size_t uSkip =
            m_uFed < uRegion ? static_cast<size_t>(std::min<uint64_t>(uRegion - m_uFed, uSize)) : 0;
        m_uFed += uSkip;
        pbyData += uSkip;
        uSize -= uSkip;
        const uint32_t uPiece = static_cast<uint32_t>(std::min<size_t>(uSize, UINT32_MAX));
        m_hash.Feed(pbyData, uPiece);
        m_uFed += uPiece;
        pbyData += uPiece;
        uSize -= uPiece;
    }
}

bool PackageStreamCheck::Passed() const
{
    if (m_uFed < sizeof(m_header) || m_header.nMagic != NSCorvane::CORVANE_MAGIC ||
        m_header.nHeadOffset < sizeof(m_header) || m_uFed < m_header.nHeadOffset)
    {
        return false;
    }
    char szLine[256];
    if (m_uFed - m_header.nHeadOffset != m_header.nContextLength)
    {
        std::snprintf(
            szLine, sizeof(szLine),
            "_StreamDatFileChecker length failed. file_size=%llu head_offset=%u header_context_len=%u "
            "package_id=%u",
            static_cast<unsigned long long>(m_uFed), m_header.nHeadOffset, m_header.nContextLength,
            m_header.nPackageId);
        CorvaneUtil::WriteLogLine(szLine);
        return false;
    }
    if (m_hash.Value() != m_header.hashContext)
    {
        std::snprintf(
            szLine, sizeof(szLine),
            "_StreamDatFileChecker hash failed. file_size=%llu package_id=%u expected=%llu actual=%llu",
            static_cast<unsigned long long>(m_uFed), m_header.nPackageId,
            static_cast<unsigned long long>(m_header.hashContext),
            static_cast<unsigned long long>(m_hash.Value()));
        CorvaneUtil::WriteLogLine(szLine);
        return false;
    }
    return true;
}

} // namespace NSCorvaneReader
