// SPDX-License-Identifier: MIT
#include "fs/PemStreamBufferFile.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace NSCorvane
{

PemStreamBufferFile::PemStreamBufferFile(PemMemoryReaderImpl* pReader) : m_pReader(pReader) {}

PemStreamBufferFile::~PemStreamBufferFile()
{
    delete m_pReader;
}

PemStreamBufferFile* PemStreamBufferFile::CreateCopy(const void* pData, uint32_t uSize)
{
    if (uSize > 0 && !pData)
    {
        return nullptr;
    }
    PemMemoryReaderImpl* pReader = new (std::nothrow) PemMemoryReaderImpl;
    if (!pReader)
    {
        return nullptr;
    }
    if (!pReader->Create(uSize))
    {
        delete pReader;
        return nullptr;
    }
    if (uSize > 0)
    {
        std::memcpy(pReader->Buffer(), pData, uSize);
    }
    PemStreamBufferFile* pFile = new (std::nothrow) PemStreamBufferFile(pReader);
    if (!pFile)
    {
        delete pReader;
    }
    return pFile;
}

int32_t PemStreamBufferFile::Read(void* pBuffer, uint32_t uSize)
{
    // All or nothing: a short read returns 0 and leaves the position alone.
    if (!m_pReader || !m_pReader->Buffer() || !pBuffer || uSize == 0 || uSize > INT32_MAX)
    {
        return 0;
    }
    const uint32_t uPos = m_pReader->Position();
    if (uPos > m_pReader->Size() || m_pReader->Size() - uPos < uSize)
    {
        return 0;
    }
    std::memcpy(pBuffer, m_pReader->Buffer() + uPos, uSize);
    m_pReader->SetPosition(uPos + uSize);
    return static_cast<int32_t>(uSize);
}

int32_t PemStreamBufferFile::Write(const void*, uint32_t)
{
    return 0;
}

const void* PemStreamBufferFile::GetBuffer()
{
    return m_pReader ? m_pReader->Buffer() : nullptr;
}

int32_t PemStreamBufferFile::Seek(int32_t nOffset, int32_t nOrigin)
{
    if (!m_pReader || !m_pReader->Buffer())
    {
        return -1;
    }
    const int64_t nSize = m_pReader->Size();
    int64_t nTarget;
    switch (nOrigin)
    {
    case 0:
        nTarget = nOffset;
        break;
    case 1:
        nTarget = static_cast<int64_t>(m_pReader->Position()) + nOffset;
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
    const uint32_t uNew = static_cast<uint32_t>(uTarget < static_cast<uint64_t>(nSize) ? uTarget : nSize);
    m_pReader->SetPosition(uNew);
    return static_cast<int32_t>(uNew);
}

int32_t PemStreamBufferFile::Tell()
{
    return m_pReader ? static_cast<int32_t>(m_pReader->Position()) : 0;
}

uint32_t PemStreamBufferFile::Size()
{
    return m_pReader ? m_pReader->Size() : 0;
}

void PemStreamBufferFile::Close()
{
    if (m_pReader)
    {
        m_pReader->Destroy();
    }
}

void PemStreamBufferFile::Release()
{
    delete this;
}

} // namespace NSCorvane
