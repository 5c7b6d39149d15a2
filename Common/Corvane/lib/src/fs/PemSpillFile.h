// SPDX-License-Identifier: MIT
// A large record's bytes on disk while a task needs them, not in memory: a
// temporary beside its package in the cache, written at offsets as the parts
// of its range arrive (on one thread), then read through the files taken
// from it, and removed when the last of them is released. One left by a
// killed process is removed as any dead writer's temporary.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <memory>
#include <string>

namespace NSCorvane
{

class PemSpillFile : public std::enable_shared_from_this<PemSpillFile>
{
public:
    // A temporary of uSize bytes beside strBeside; null (reason noted) when
    // it cannot be made.
    static std::shared_ptr<PemSpillFile> Create(const std::string& strBeside, uint64_t uSize);
    ~PemSpillFile();
    PemSpillFile(const PemSpillFile&) = delete;
    PemSpillFile& operator=(const PemSpillFile&) = delete;

    // Before EndWriting only.
    bool WriteAt(uint64_t uOffset, const void* pData, size_t uSize);
    bool EndWriting();
    // A file reading the bytes from the start (GetBuffer is null), which
    // keeps this alive; null when it cannot be opened.
    IFile* OpenRead();
    uint64_t Size() const { return m_uSize; }

private:
    PemSpillFile(std::string strPath, int nFile, uint64_t uSize);

    const std::string m_strPath;
    int m_nWrite;
    const uint64_t m_uSize;
};

} // namespace NSCorvane
