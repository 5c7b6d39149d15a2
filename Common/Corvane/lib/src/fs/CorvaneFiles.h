// SPDX-License-Identifier: MIT
// Files on disk: existence, opening under the in-process read lock, deletion and
// atomic replacement.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <memory>
#include <string>

namespace CorvaneUtil
{

class PemFileLockObj;

bool SysExisted(const char* pcszFileName);

// Read-only descriptor, or -1. On success *ppLockObj holds the file's read lock,
// which the caller keeps while the descriptor is open.
int SysOpen(const char* pcszFileName, std::shared_ptr<PemFileLockObj>* ppLockObj);

// True when the file was deleted or did not exist.
bool SysDelete(const char* pcszFileName);
inline bool DiskDelete(const char* pcszFileName)
{
    return SysDelete(pcszFileName);
}

// Creates every missing directory of the parent of strPath.
bool CreateParentDirectories(const std::string& strPath);

// Replaces pcszFileName with the whole content of pif, atomically, under the
// path's write lock: a failure leaves the target as it was and no temporary.
bool DiskWrite(NSCorvane::IFile* pif, const char* pcszFileName);
// The same for a byte range.
bool DiskWriteBytes(const void* pData, uint64_t uSize, const char* pcszFileName);
// The same for a file of the local cache: atomic for readers, so the final name
// never holds a partial file while the system runs, but not flushed to the
// device. Every cached file is checked when it is read (a package by its record
// hashes, index and lists by their frame checksums), so one torn by a crash
// costs a new download, never a wrong file; a flush per file cost half the
// fetch speed on a disk.
bool CacheWriteBytes(const void* pData, uint64_t uSize, const char* pcszFileName);

// A new temporary beside strPath (its directories made), named so that it is
// removed as a dead writer's if this process dies: a descriptor open for
// writing and its name in strTemp, or -1 with the system's reason noted.
int CreateTempBeside(const std::string& strPath, std::string& strTemp);

// A file of the local cache written as its bytes arrive (a download), with
// CacheWriteBytes' guarantees: the bytes go to a unique temporary beside the
// file, and Commit moves it over the file; a writer destroyed without a
// successful Commit leaves no temporary and the file as it was. One thread.
class CacheStreamWriter
{
public:
    explicit CacheStreamWriter(std::string strPath) : m_strPath(std::move(strPath)) {}
    ~CacheStreamWriter();
    CacheStreamWriter(const CacheStreamWriter&) = delete;
    CacheStreamWriter& operator=(const CacheStreamWriter&) = delete;

    // The next bytes; the temporary is made by the first call. False (with
    // the system's reason noted) when it cannot be made or written.
    bool Write(const void* pData, size_t uSize);
    bool Commit();

private:
    bool OpenTemp();

    const std::string m_strPath;
    std::string m_strTemp;
    int m_nFile = -1;
    bool m_bCommitted = false;
};

// Open/Exists of gOption().piFileSys; null/false when none is set.
NSCorvane::IFile* DiskOpen(const char* pcszFileName);
bool DiskExisted(const char* pcszFileName);

} // namespace CorvaneUtil
