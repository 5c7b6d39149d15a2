// SPDX-License-Identifier: MIT
// Files on disk through descriptors. Paths are narrow UTF-8 strings; the Windows
// implementation converts them to UTF-16 (falling back to the ANSI code page).
// Every function is thread-safe and throws nothing.
#pragma once

#include "platform/PlatformFileIdentity.h"

#include <cstdint>
#include <string>

namespace CorvanePlatform
{

enum class FileMode
{
    ReadShared,     // read-only, binary; writers denied where the OS can; directories refused
    WriteExclusive, // write-only, binary, must not exist yet (a fresh temporary file)
    WriteTruncate,  // write-only, binary, created or truncated
    WriteAppend,    // write-only, binary, created, every write appended, shared with everyone
    WritePrivate,   // as WriteExclusive, readable by the owner only where the system has modes (a secret key)
    WriteTruncateShared, // as WriteTruncate, other writers allowed (writers of disjoint parts of one file)
};

// A descriptor, or -1.
int FileOpen(const char* pcszPath, FileMode eMode);
bool FileClose(int nFile);
// Bytes read (at most uSize), 0 at the end, -1 on error.
int64_t FileRead(int nFile, void* pBuffer, uint32_t uSize);
// Writes all uSize bytes, retrying short writes; the count written before a failure.
uint64_t FileWriteAll(int nFile, const void* pBuffer, uint64_t uSize);
// nOrigin 0 set, 1 current, 2 end. New position, or -1.
int64_t FileSeek(int nFile, int64_t nOffset, int nOrigin);
// Length of an open file, or -1.
int64_t FileLength(int nFile);
// Flushes the file's data to the device.
bool FileSync(int nFile);
// Starts writing the file's data to the device without waiting for it, so a
// later FileSync finds less to do. Does nothing where the system cannot; it
// never replaces FileSync.
void FileStartWriteBack(int nFile);

struct FileStat
{
    uint64_t uSize = 0;
    int64_t nWriteTimeNs = 0; // since the epoch
    // What no extractor or copier can carry over to another file: the time of
    // the last change of the file or its metadata (POSIX st_ctime, Windows
    // ChangeTime) and the file's identity. Only for regular files.
    int64_t nChangeTimeNs = 0;
    FileIdentity id;
    bool bDirectory = false;
    bool bLink = false;    // the path itself is a symbolic link (not followed)
    bool bRegular = false; // a plain file (a link is followed): no device, pipe or socket
};
bool PathStat(const char* pcszPath, FileStat* pStat);
// True when a file or directory exists at the path.
bool PathExists(const char* pcszPath);
// Deletes a file (not a directory).
bool RemoveFile(const char* pcszPath);
// Creates the directory and every missing parent; true when it exists afterwards.
// On failure *pstrFailed (when given) names the directory that could not be
// made, and LastErrorCode() tells why (a file in its place: "exists").
bool CreateDirectories(const std::string& strDir, std::string* pstrFailed = nullptr);

// Moves strFrom over strTo, replacing it, so that after a crash strTo is either the
// old or the new file, and the move itself is on the device when this returns.
bool ReplaceFile(const char* pcszFrom, const char* pcszTo);
// Moves strFrom over strTo in one step for every reader (each sees the old or
// the new file) but waits for no device: after a crash strTo may be old, new or
// torn. Only for files that are checked whenever they are read.
bool ReplaceFileUnflushed(const char* pcszFrom, const char* pcszTo);

// The system's temporary directory, without trailing separator.
std::string TempDirectory();

} // namespace CorvanePlatform
