// SPDX-License-Identifier: MIT
// An in-memory file over a downloaded body that several files may share: the
// owner of a flight and everyone who joined it, or the records of one fetched
// range, read the same bytes without a copy each. Behaves exactly like
// PemStreamBufferFile (all-or-nothing reads, seeks clamped to [0, size]); the
// body is read-only and freed with the last file.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <memory>
#include <string>

namespace NSCorvane
{

class PemSharedBodyFile final : public IFile
{
public:
    // Null when out of memory or when the body does not fit a 32-bit size.
    static PemSharedBodyFile* Create(std::shared_ptr<const std::string> spBody);
    // uSize bytes at spData, which keeps their owner alive (an aliasing pointer).
    static PemSharedBodyFile* Create(std::shared_ptr<const char> spData, uint64_t uSize);

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

private:
    PemSharedBodyFile(std::shared_ptr<const char> spData, uint32_t uSize);
    ~PemSharedBodyFile() override = default;

    std::shared_ptr<const char> m_spData; // null once closed
    uint32_t m_uSize = 0;
    uint32_t m_uPos = 0;
};

} // namespace NSCorvane
