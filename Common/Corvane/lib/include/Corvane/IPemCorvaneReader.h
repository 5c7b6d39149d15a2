// SPDX-License-Identifier: MIT
// The store reader and the string list it returns. Slot order is binding.
#pragma once

#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>

#include <cstdint>

namespace NSCorvane
{

// Size and stored path of one file of a version. pszPath points into the
// reader's string pool: valid until the reader is released.
struct CorvaneFileInfo
{
    uint32_t uFileSize;
    const char* pszPath;
};

// A list of strings owned by the caller, who calls Release.
class IStringList
{
public:
    virtual ~IStringList() = default;
    virtual void Release() = 0;
    virtual uint32_t Count() = 0;
    // Null when uIndex >= Count(); valid while the list lives.
    virtual const char* Get(uint32_t uIndex) = 0;
    // Appends a copy.
    virtual void Add(const char* pcszValue) = 0;
};

// One version of a package store. Paths are the normalised store paths (lower
// case, '/' separators, no leading '/'); the reader does not normalise them.
// OpenFile, HasFile, GetFileHash, GetFileInfo, ReadPakInfo and the list reads of
// _pkglst/_diffile/_diffpkg may run on many threads at once; the two
// OpenFileList calls rebuild the directory cache and must not overlap on one
// reader. Objects it returns are released by the caller and may outlive it.
class IPemCorvaneReader
{
public:
    virtual ~IPemCorvaneReader() = default;
    // Releases the file systems and deletes the reader.
    virtual bool Release() = 0;
    virtual uint32_t GetWorkVersion() = 0;
    // 0 read, 1 unusable, 2 absent. The record is zeroed first.
    virtual int ReadPakInfo(CORVANE_PAK_INFO* pInfo) = 0;
    virtual bool HasFile(const char* pcszPath) = 0;
    // Decompressed content as an in-memory file at position 0; null when absent
    // or unreadable. nOption < 0: the reader's default routing.
    virtual IFile* OpenFile(const char* pcszPath, int nOption) = 0;
    // uContextHash of the file, 0 when absent.
    virtual uint64_t GetFileHash(const char* pcszPath) = 0;
    virtual bool GetFileInfo(const char* pcszPath, CorvaneFileInfo* pInfo) = 0;
    // Files of a directory (all below it when bRecursive); empty list when the
    // directory is unknown, null when the tree cannot be read.
    virtual IStringList* OpenFileList(const char* pcszDir, bool bRecursive) = 0;
    // Every file of the version; null when the tree cannot be read.
    virtual IStringList* OpenFileList() = 0;
    virtual IStringList* OpenDataList() = 0;
    virtual IStringList* OpenPatchFileList() = 0;
    virtual IStringList* OpenPatchDataList() = 0;
    // Makes a verified local copy of one data package.
    virtual bool SyncDownloadDataFile(const char* pcszDatPath) = 0;
    virtual uint64_t GetDownloadSpeed() = 0;
    // Bytes per second, 0 = unlimited.
    virtual bool SetLimitSpeed(uint64_t uBytesPerSecond) = 0;
    virtual bool CancelDownloads() = 0;
    virtual uint64_t CalcContextHash(const void* pData, uint32_t uSize) = 0;
};

} // namespace NSCorvane
