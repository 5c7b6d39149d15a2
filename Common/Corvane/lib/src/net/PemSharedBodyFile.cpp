// SPDX-License-Identifier: MIT
#include "net/PemSharedBodyFile.h"

#include "fs/CorvaneMemoryCursor.h"

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
    if (!m_spBody)
    {
        return 0;
    }
    return CorvaneUtil::MemoryReadAll(reinterpret_cast<const uint8_t*>(m_spBody->data()), Size(), &m_uPos, pBuffer,
                                      uSize);
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
    m_uPos = CorvaneUtil::MemorySeekTarget(m_uPos, Size(), nOffset, nOrigin);
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
