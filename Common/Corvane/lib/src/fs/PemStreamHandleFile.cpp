// SPDX-License-Identifier: MIT
#include "fs/PemStreamHandleFile.h"

#include "common/CorvaneCheck.h"
#include "fs/CorvaneFiles.h"
#include "fs/PemMultiProcessFileLock.h"
#include "platform/PlatformFile.h"

#include <cstdint>
#include <new>

namespace NSCorvane
{

PemStreamHandleFile::~PemStreamHandleFile()
{
    Close();
}

bool PemStreamHandleFile::Open(const char* pcszFullPath)
{
    Close();
    std::shared_ptr<CorvaneUtil::PemFileLockObj> spLockObj;
    int nFile = CorvaneUtil::SysOpen(pcszFullPath, &spLockObj);
    if (nFile < 0)
    {
        return false;
    }
    if (!spLockObj.get())
    {
        CorvanePlatform::FileClose(nFile);
        CORVANE_CHECK(spLockObj.get());
    }
    m_winHandle = nFile;
    m_spLockObj = std::move(spLockObj);
    return true;
}

int32_t PemStreamHandleFile::Read(void* pBuffer, uint32_t uSize)
{
    if (m_winHandle < 0)
    {
        return 0;
    }
    // The result is 32-bit signed; never ask for more than it can report.
    if (uSize > INT32_MAX)
    {
        uSize = INT32_MAX;
    }
    return static_cast<int32_t>(CorvanePlatform::FileRead(m_winHandle, pBuffer, uSize));
}

int32_t PemStreamHandleFile::Write(const void*, uint32_t)
{
    CORVANE_REPORT("FALSE");
    return 0;
}

int32_t PemStreamHandleFile::Seek(int32_t nOffset, int32_t nOrigin)
{
    if (m_winHandle < 0)
    {
        return -1;
    }
    int64_t nPos = CorvanePlatform::FileSeek(m_winHandle, nOffset, nOrigin);
    return (nPos < 0 || nPos > INT32_MAX) ? -1 : static_cast<int32_t>(nPos);
}

int32_t PemStreamHandleFile::Tell()
{
    return Seek(0, 1);
}

uint32_t PemStreamHandleFile::Size()
{
    if (m_winHandle < 0)
    {
        return 0;
    }
    int64_t nLen = CorvanePlatform::FileLength(m_winHandle);
    CORVANE_CHECK_RET(nLen >= 0 && nLen <= UINT32_MAX, 0);
    return static_cast<uint32_t>(nLen);
}

const void* PemStreamHandleFile::GetBuffer()
{
    if (!m_pContent && m_winHandle >= 0)
    {
        const int64_t nCurr = CorvanePlatform::FileSeek(m_winHandle, 0, 1);
        CORVANE_CHECK_NULL(nCurr >= 0);
        m_pContent = LoadWholeFile();
        // Later Read/Seek calls go on from where the caller was.
        CorvanePlatform::FileSeek(m_winHandle, nCurr, 0);
    }
    return m_pContent ? m_pContent->Buffer() : nullptr;
}

PemMemoryReaderImpl* PemStreamHandleFile::LoadWholeFile()
{
    CORVANE_CHECK_NULL(CorvanePlatform::FileSeek(m_winHandle, 0, 2) >= 0);
    const int64_t nLen = CorvanePlatform::FileLength(m_winHandle);
    CORVANE_CHECK_NULL(nLen >= 0 && nLen <= UINT32_MAX);
    CORVANE_CHECK_NULL(CorvanePlatform::FileSeek(m_winHandle, 0, 0) >= 0);
    std::unique_ptr<PemMemoryReaderImpl> pRead(new (std::nothrow) PemMemoryReaderImpl);
    CORVANE_CHECK_NULL(pRead);
    CORVANE_CHECK_NULL(pRead->Create(static_cast<uint32_t>(nLen)));
    CORVANE_CHECK_NULL(pRead->Buffer());
    uint32_t uDone = 0;
    while (uDone < pRead->Size())
    {
        const int64_t nRead =
            CorvanePlatform::FileRead(m_winHandle, pRead->Buffer() + uDone, pRead->Size() - uDone);
        CORVANE_CHECK_NULL(nRead > 0);
        uDone += static_cast<uint32_t>(nRead);
    }
    return pRead.release();
}

void PemStreamHandleFile::Close()
{
    if (m_winHandle >= 0)
    {
        CorvanePlatform::FileClose(m_winHandle);
        m_winHandle = -1;
    }
    m_spLockObj.reset();
    delete m_pContent;
    m_pContent = nullptr;
}

void PemStreamHandleFile::Release()
{
    delete this;
}

} // namespace NSCorvane
