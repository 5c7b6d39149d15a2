// SPDX-License-Identifier: MIT
#include "fs/PemStreamBufferFile.h"

#include "fs/CorvaneMemoryCursor.h"

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
    if (!m_pReader)
    {
        return 0;
    }
    uint32_t uPos = m_pReader->Position();
    const int32_t nRead = CorvaneUtil::MemoryReadAll(m_pReader->Buffer(), m_pReader->Size(), &uPos, pBuffer, uSize);
    m_pReader->SetPosition(uPos);
    return nRead;
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
    const uint32_t uNew = CorvaneUtil::MemorySeekTarget(m_pReader->Position(), m_pReader->Size(), nOffset, nOrigin);
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
