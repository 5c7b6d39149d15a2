// SPDX-License-Identifier: MIT
#include "net/PemSharedBodyFile.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace NSCorvane
{

PemSharedBodyFile::PemSharedBodyFile(std::shared_ptr<const std::string> spBody) : m_spBody(std::move(spBody))
{
}

PemSharedBodyFile* PemSharedBodyFile::Create(std::shared_ptr<const std::string> spBody)
{
    if (!spBody || spBody->size() > UINT32_MAX)
    {
        return nullptr;
    }
    return new (std::nothrow) PemSharedBodyFile(std::move(spBody));
}

int32_t PemSharedBodyFile::Read(void* pBuffer, uint32_t uSize)
{
    // All or nothing: a short read returns 0 and leaves the position alone.
    if (!m_spBody || !pBuffer || uSize == 0 || uSize > INT32_MAX)
    {
        return 0;
    }
    const uint32_t uTotal = Size();
    if (m_uPos > uTotal || uTotal - m_uPos < uSize)
    {
        return 0;
    }
    std::memcpy(pBuffer, m_spBody->data() + m_uPos, uSize);
    m_uPos += uSize;
    return static_cast<int32_t>(uSize);
}

int32_t PemSharedBodyFile::Write(const void*, uint32_t)
{
    return 0;
}

const void* PemSharedBodyFile::GetBuffer()
{
    return m_spBody ? m_spBody->data() : nullptr;
}

int32_t PemSharedBodyFile::Seek(int32_t nOffset, int32_t nOrigin)
{
    if (!m_spBody)
    {
        return -1;
    }
    const int64_t nSize = Size();
    int64_t nTarget;
    switch (nOrigin)
    {
    case 0:
        nTarget = nOffset;
        break;
    case 1:
        nTarget = static_cast<int64_t>(m_uPos) + nOffset;
        break;
    case 2:
        nTarget = nSize + nOffset;
        break;
    default:
        nTarget = nSize;
        break;
    }
    // Taken as unsigned, a target before the start is huge and so lands at the end.
    const uint64_t uTarget = static_cast<uint64_t>(nTarget);
    m_uPos = static_cast<uint32_t>(uTarget < static_cast<uint64_t>(nSize) ? uTarget : nSize);
    return static_cast<int32_t>(m_uPos);
}

int32_t PemSharedBodyFile::Tell()
{
    return static_cast<int32_t>(m_uPos);
}

uint32_t PemSharedBodyFile::Size()
{
    return m_spBody ? static_cast<uint32_t>(m_spBody->size()) : 0;
}

void PemSharedBodyFile::Close()
{
    m_spBody.reset();
    m_uPos = 0;
}

void PemSharedBodyFile::Release()
{
    delete this;
}

} // namespace NSCorvane
