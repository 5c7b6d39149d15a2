// SPDX-License-Identifier: MIT
// Files, file systems and the allocator that PemCorvaneX64 hands to its callers.
// The order of the virtual operations is binding: callers reach them by slot
// across the library boundary. Never reorder, insert or remove a slot.
#pragma once

#include <cstdint>

namespace NSCorvane
{

// An open file on disk or in memory. One object is used by one thread at a time.
// Positions and sizes are 32-bit. Delete only through Release().
class IFile
{
public:
    // Bytes read; 0 at the end or when nothing can be read; -1 on a read error of a disk file.
    virtual int32_t Read(void* pBuffer, uint32_t uSize) = 0;
    // Writing is not supported by the library's files: returns 0.
    virtual int32_t Write(const void* pBuffer, uint32_t uSize) = 0;
    // The whole content, or null. Valid until Close/Release.
    virtual const void* GetBuffer() = 0;
    // Origin 0 set, 1 current, 2 end. New position, or -1 on failure.
    virtual int32_t Seek(int32_t nOffset, int32_t nOrigin) = 0;
    virtual int32_t Tell() = 0;
    virtual uint32_t Size() = 0;
    virtual int32_t Reserved0() = 0;
    virtual int32_t Reserved1() = 0;
    virtual int32_t Reserved2() = 0;
    virtual int32_t Reserved3() = 0;
    virtual int32_t Reserved4() = 0;
    // Releases the content and the handle; the object stays alive.
    virtual void Close() = 0;
    // Deletes the object.
    virtual void Release() = 0;

protected:
    virtual ~IFile() = default;
};

// A file system that opens files by path. Open/Exists may be called from many
// threads at once. Delete only through Release().
class IStreamFileSys
{
public:
    virtual ~IStreamFileSys() = default;
    virtual void Release() = 0;
    // A new file the caller releases, or null.
    virtual IFile* Open(const char* pcszPath, int nOption) = 0;
    virtual bool Exists(const char* pcszPath, int nOption) = 0;
    // Root directory of the file system; never null.
    virtual const char* GetRootDir() = 0;
};

// An allocator. Thread-safe. Delete only through Release().
class IStreamMemory
{
public:
    virtual void Release() = 0;
    virtual void* Alloc(uint64_t uSize) = 0;
    // Ignores null and blocks it did not hand out.
    virtual void Free(void* p) = 0;

protected:
    virtual ~IStreamMemory() = default;
};

} // namespace NSCorvane
