// SPDX-License-Identifier: MIT
#include "fs/PemMemoryReaderImpl.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneMemory.h"

namespace NSCorvane
{

PemMemoryReaderImpl::~PemMemoryReaderImpl()
{
    Destroy();
}

bool PemMemoryReaderImpl::Create(uint32_t uSize)
{
    // At least one byte, so that an empty file still has a valid buffer pointer.
    m_pBuf = static_cast<uint8_t*>(CorvaneUtil::BuiltinMemory().Alloc(uSize ? uSize : 1));
    CORVANE_CHECK(m_pBuf);
    m_uSize = uSize;
    m_uPos = 0;
    return true;
}

void PemMemoryReaderImpl::Destroy()
{
    if (m_pBuf)
    {
        CorvaneUtil::BuiltinMemory().Free(m_pBuf);
    }
    m_pBuf = nullptr;
    m_uSize = 0;
    m_uPos = 0;
}

} // namespace NSCorvane
