// SPDX-License-Identifier: MIT
// Shared pieces of the fuzz targets: a store held in memory behind a file
// system, and a reader that reads it.
#pragma once

#include "reader/PemCorvaneReader.h"

#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <map>
#include <string>

namespace CorvaneFuzz
{

// Files by store path, served as in-memory files. Not thread-safe; fuzzing is single-threaded.
class MemoryFileSys final : public NSCorvane::IStreamFileSys
{
public:
    std::map<std::string, std::string> m_mapFiles;

    void Release() override { delete this; }
    NSCorvane::IFile* Open(const char* pcszPath, int nOption) override;
    bool Exists(const char* pcszPath, int nOption) override;
    const char* GetRootDir() override { return ""; }
};

// A reader whose only source is a MemoryFileSys.
class MemoryStoreReader final : public NSCorvane::PemCorvaneReader
{
public:
    MemoryStoreReader();
    ~MemoryStoreReader() override;
    MemoryFileSys& Files() { return *m_pFiles; }
    bool Load(uint32_t uVersion) { return LoadVersion(uVersion); }

private:
    MemoryFileSys* m_pFiles;
};

// A hashed + compressed file of content, as the store keeps index and list files.
std::string Wrap(const std::string& strContent);

// A valid one-version store (version 1): three files in two directories.
void AddSampleStore(MemoryFileSys& files);

// Exercises every read operation of a set-up reader.
void ReadEverything(NSCorvane::PemCorvaneReader& reader);

// Silences the error log (checks still run) and creates nothing on disk.
void QuietLibrary();

} // namespace CorvaneFuzz
