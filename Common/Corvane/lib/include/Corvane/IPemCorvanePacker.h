// SPDX-License-Identifier: MIT
// The store builder as callers see it: packing options and the packer interface.
// Slot order is binding: callers reach the operations by slot across the library
// boundary. Never reorder, insert or remove a slot or a field.
#pragma once

#include <Corvane/CorvaneRecords.h>

#include <cstdint>

namespace NSCorvane
{

// Options of one build. A plain structure, passed by pointer and copied.
struct CORVANE_PAK_OPTION
{
    uint32_t nToVersion = 0;               // must be greater than the store's last version
    uint32_t nCompressType = STCT_ZSTD;    // CORVANE_COMPRESS_TYPE of file contents
    int32_t nCompressLevel = 9;            // 0..10, mapped to the codec's levels
    uint32_t nTreadCount = 16;             // compression workers and write lanes; 0 is taken as 1
    uint32_t nPackageSizeLimit = 0xA00000; // target data size of a package (10 MiB)
    uint32_t nOptionValue = 0;             // copied into the package information
    char szReleaseText[256] = {};          // NUL-terminated UTF-8, copied into the package information
};
static_assert(sizeof(CORVANE_PAK_OPTION) == 280, "packing options");

// Builds one new version of a store from a directory tree.
// Calling order: SetEnv once; Push, PushFile and Block any number of times; Do
// once; Release. Every operation returns false after writing one error-log
// record. Not thread-safe: one thread drives a packer.
class IPemCorvanePacker
{
public:
    virtual ~IPemCorvanePacker() = default;
    // Deletes the packer, stopping its threads.
    virtual void Release() = 0;
    // Absolute source root and store directory. A second call fails.
    virtual bool SetEnv(const char* pcszRootDir, const char* pcszExportDir,
                        const CORVANE_PAK_OPTION* pOpt) = 0;
    // A directory below the root whose whole subtree belongs to the version.
    virtual bool Push(const char* pcszDir) = 0;
    // One existing file below the root.
    virtual bool PushFile(const char* pcszFile) = 0;
    // A subtree of a pushed directory that stays out; needs a Push first.
    virtual bool Block(const char* pcszDir) = 0;
    // Collects, compresses and writes the version; the last-version marker is
    // written last, so a failed build leaves readers on the previous version.
    virtual bool Do() = 0;
};

} // namespace NSCorvane
