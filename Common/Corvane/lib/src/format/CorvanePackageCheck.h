// SPDX-License-Identifier: MIT
// The check of CheckStreamDatBytes over a data package that arrives piece by
// piece (a download written to the cache as it comes), so that its bytes
// need not be read back to be checked. One thread.
#pragma once

#include "format/CorvaneHash.h"

#include <Corvane/CorvaneRecords.h>

#include <cstddef>
#include <cstdint>

namespace NSCorvaneReader
{

class PackageStreamCheck
{
public:
    void Feed(const void* pData, size_t uSize);
    // True when everything fed is one whole package whose data region
    // matches its header; a failure is written to the log as a plain line.
    bool Passed() const;

private:
    NSCorvane::CORVANE_DISK_PACKAGE_HEADER m_header{};
    uint64_t m_uFed = 0;
    ContextHashStream m_hash;
};

} // namespace NSCorvaneReader
