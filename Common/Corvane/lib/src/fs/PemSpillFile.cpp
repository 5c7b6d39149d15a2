// SPDX-License-Identifier: MIT
#include "fs/PemSpillFile.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformFile.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace NSCorvane
{

namespace
{

class SpillReadFile final : public IFile
{
public:
    SpillReadFile(std::shared_ptr<PemSpillFile> spSpill, int nFile)
        : m_spSpill(std::move(spSpill)), m_nFile(nFile)
    {
    }

    int32_t Read(void* pBuffer, uint32_t uSize) override
    {
        if (m_nFile < 0)
        {
            return -1;
        }
        const int64_t nRead = CorvanePlatform::FileRead(
            m_nFile, pBuffer, std::min<uint32_t>(uSize, static_cast<uint32_t>(INT32_MAX)));
        return static_cast<int32_t>(nRead);
    }
    int32_t Write(const void*, uint32_t) override { return 0; }
    const void* GetBuffer() override { return nullptr; }
    int32_t Seek(int32_t nOffset, int32_t nOrigin) override
    {
        const int64_t nAt = m_nFile < 0 ? -1 : CorvanePlatform::FileSeek(m_nFile, nOffset, nOrigin);
        return nAt >= 0 && nAt <= INT32_MAX ? static_cast<int32_t>(nAt) : -1;
    }
    int32_t Tell() override { return Seek(0, SEEK_CUR); }
    uint32_t Size() override { return static_cast<uint32_t>(m_spSpill->Size()); }
    int32_t Reserved0() override { return 0; }
    int32_t Reserved1() override { return 0; }
    int32_t Reserved2() override { return 0; }
    int32_t Reserved3() override { return 0; }
    int32_t Reserved4() override { return 0; }
    void Close() override
    {
        if (m_nFile >= 0)
        {
            CorvanePlatform::FileClose(m_nFile);
            m_nFile = -1;
        }
    }
    void Release() override { delete this; }

private:
    ~SpillReadFile() override { Close(); }

    std::shared_ptr<PemSpillFile> m_spSpill; // the temporary goes with its last reader
    int m_nFile;
};

} // namespace

PemSpillFile::PemSpillFile(std::string strPath, int nFile, uint64_t uSize)
    : m_strPath(std::move(strPath)), m_nWrite(nFile), m_uSize(uSize)
{
}

std::shared_ptr<PemSpillFile> PemSpillFile::Create(const std::string& strBeside, uint64_t uSize)
{
    CORVANE_CHECK_RET(uSize <= UINT32_MAX, nullptr);
    std::string strTemp;
    const int nFile = CorvaneUtil::CreateTempBeside(strBeside, strTemp);
    if (nFile < 0)
    {
        return nullptr;
    }
    std::shared_ptr<PemSpillFile> spSpill(new (std::nothrow) PemSpillFile(strTemp, nFile, uSize));
    if (!spSpill)
    {
        CorvanePlatform::FileClose(nFile);
        CorvanePlatform::RemoveFile(strTemp.c_str());
    }
    return spSpill;
}

PemSpillFile::~PemSpillFile()
{
    if (m_nWrite >= 0)
    {
        CorvanePlatform::FileClose(m_nWrite);
    }
    CorvanePlatform::RemoveFile(m_strPath.c_str());
}

bool PemSpillFile::WriteAt(uint64_t uOffset, const void* pData, size_t uSize)
{
    CORVANE_CHECK(m_nWrite >= 0 && uOffset + uSize <= m_uSize);
    if (CorvanePlatform::FileSeek(m_nWrite, static_cast<int64_t>(uOffset), SEEK_SET) !=
            static_cast<int64_t>(uOffset) ||
        CorvanePlatform::FileWriteAll(m_nWrite, pData, uSize) != uSize)
    {
        CorvaneUtil::NoteLastSystemFailure("write", m_strPath);
        return false;
    }
    return true;
}

bool PemSpillFile::EndWriting()
{
    CORVANE_CHECK(m_nWrite >= 0);
    const bool bClosed = CorvanePlatform::FileClose(m_nWrite);
    m_nWrite = -1;
    if (!bClosed)
    {
        CorvaneUtil::NoteLastSystemFailure("close", m_strPath);
    }
    return bClosed;
}

IFile* PemSpillFile::OpenRead()
{
    CORVANE_CHECK_NULL(m_nWrite < 0);
    const int nFile = CorvanePlatform::FileOpen(m_strPath.c_str(), CorvanePlatform::FileMode::ReadShared);
    if (nFile < 0)
    {
        CorvaneUtil::NoteLastSystemFailure("open", m_strPath);
        return nullptr;
    }
    IFile* pFile = new (std::nothrow) SpillReadFile(shared_from_this(), nFile);
    if (!pFile)
    {
        CorvanePlatform::FileClose(nFile);
    }
    return pFile;
}

} // namespace NSCorvane
