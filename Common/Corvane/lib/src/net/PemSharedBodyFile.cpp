// SPDX-License-Identifier: MIT
#include "net/PemSharedBodyFile.h"

#include "fs/CorvaneMemoryCursor.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace NSCorvane
{

PemSharedBodyFile::PemSharedBodyFile(std::shared_ptr<const char> spData, uint32_t uSize)
    : m_spData(std::move(spData)), m_uSize(uSize)
{
}

PemSharedBodyFile* PemSharedBodyFile::Create(std::shared_ptr<const std::string> spBody)
{
    if (!spBody)
    {
        return nullptr;
    }
    const uint64_t uSize = spBody->size();
    const char* pData = spBody->data();
    return Create(std::shared_ptr<const char>(std::move(spBody), pData), uSize);
}

PemSharedBodyFile* PemSharedBodyFile::Create(std::shared_ptr<const char> spData, uint64_t uSize)
{
    if (!spData || uSize > UINT32_MAX)
    {
        return nullptr;
    }
    return new (std::nothrow) PemSharedBodyFile(std::move(spData), static_cast<uint32_t>(uSize));
}

int32_t PemSharedBodyFile::Read(void* pBuffer, uint32_t uSize)
{
    if (!m_spData)
    {
        return 0;
    }
    return CorvaneUtil::MemoryReadAll(reinterpret_cast<const uint8_t*>(m_spData.get()), m_uSize, &m_uPos,
                                      pBuffer, uSize);
}

int32_t PemSharedBodyFile::Write(const void*, uint32_t)
{
    return 0;
}

const void* PemSharedBodyFile::GetBuffer()
{
    return m_spData.get();
}

int32_t PemSharedBodyFile::Seek(int32_t nOffset, int32_t nOrigin)
{
    if (!m_spData)
    {
        return -1;
    }
    m_uPos = CorvaneUtil::MemorySeekTarget(m_uPos, Size(), nOffset, nOrigin);
    return static_cast<int32_t>(m_uPos);
}

int32_t PemSharedBodyFile::Tell()
{
    return static_cast<int32_t>(m_uPos);
}

uint32_t PemSharedBodyFile::Size()
{
    return m_spData ? m_uSize : 0;
}

void PemSharedBodyFile::Close()
{
    m_spData.reset();
    m_uSize = 0;
    m_uPos = 0;
}

void PemSharedBodyFile::Release()
{
    delete this;
}

} // namespace NSCorvane
