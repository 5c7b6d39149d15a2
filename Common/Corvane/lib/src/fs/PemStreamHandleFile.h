// SPDX-License-Identifier: MIT
// A file on disk read through a descriptor, under the path's in-process read lock
// (held while the descriptor is open). The whole content is loaded on the first
// GetBuffer and does not follow later changes of the file.
#pragma once

#include "fs/PemMemoryReaderImpl.h"

#include <Corvane/CorvaneStream.h>

#include <memory>

namespace CorvaneUtil
{
class PemFileLockObj;
}

namespace NSCorvane
{

class PemStreamHandleFile final : public IFile
{
public:
    PemStreamHandleFile() = default;

    // Opens pcszFullPath read-only under its read lock. False (logged) on failure.
    bool Open(const char* pcszFullPath);

    int32_t Read(void* pBuffer, uint32_t uSize) override;
    // Not supported: logged, returns 0.
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
    ~PemStreamHandleFile() override;

private:
    PemMemoryReaderImpl* LoadWholeFile();

    int m_winHandle = -1;
    PemMemoryReaderImpl* m_pContent = nullptr;
    std::shared_ptr<CorvaneUtil::PemFileLockObj> m_spLockObj;
};

} // namespace NSCorvane
