// SPDX-License-Identifier: MIT
// The byte buffer behind an in-memory file. Always allocates from the built-in
// allocator, whatever the global options say.
#pragma once

#include <cstdint>

namespace NSCorvane
{

class PemMemoryReaderImpl
{
public:
    PemMemoryReaderImpl() = default;
    ~PemMemoryReaderImpl();
    PemMemoryReaderImpl(const PemMemoryReaderImpl&) = delete;
    PemMemoryReaderImpl& operator=(const PemMemoryReaderImpl&) = delete;

    // Allocates max(uSize, 1) uninitialised bytes; callers Destroy before creating again.
    bool Create(uint32_t uSize);
    void Destroy();

    uint8_t* Buffer() const { return m_pBuf; }
    uint32_t Size() const { return m_uSize; }
    uint32_t Position() const { return m_uPos; }
    void SetPosition(uint32_t uPos) { m_uPos = uPos; }

private:
    uint8_t* m_pBuf = nullptr;
    uint32_t m_uSize = 0;
    uint32_t m_uPos = 0;
};

} // namespace NSCorvane
