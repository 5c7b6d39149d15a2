// SPDX-License-Identifier: MIT
// A file held in memory: every decompressed file the reader returns.
#pragma once

#include "fs/PemMemoryReaderImpl.h"

#include <Corvane/CorvaneStream.h>

namespace NSCorvane
{

class PemStreamBufferFile final : public IFile
{
public:
    // Takes ownership of pReader (may be null: an empty file without content).
    explicit PemStreamBufferFile(PemMemoryReaderImpl* pReader);

    // A buffer file holding a copy of [pData, pData + uSize); null on allocation failure.
    static PemStreamBufferFile* CreateCopy(const void* pData, uint32_t uSize);

    int32_t Read(void* pBuffer, uint32_t uSize) override;
    int32_t Write(const void* pBuffer, uint32_t uSize) override;
    const void* GetBuffer() override;
    int32_t Seek(int32_t nOffset, int32_t nOrigin) override;
    int32_t Tell() override;
    uint32_t Size() override;
    int32_t Reserved0() override { return 0; }
    int32_t Reserved1() override { return 0; }
    int32_t Reserved2() override { return 0; }
    int32_t Reserved3() override { return 0; }
    int32_t Reserved4() override { return 0; }
    void Close() override;
    void Release() override;

protected:
    ~PemStreamBufferFile() override;

private:
    PemMemoryReaderImpl* m_pReader;
};

} // namespace NSCorvane
