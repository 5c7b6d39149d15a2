// SPDX-License-Identifier: MIT
// The file stat cache "_tmp/packer_filestat": one line per source file of the
// last build, "<name hash> <size> <write time> <change time> <device> <node>"
// in decimal, ending "\r\n". A build whose file still has every one of them
// skips reading it. Size and write time alone do not do: archives, `cp -p` and
// reproducible builds give a changed file the old ones.
#pragma once

#include "platform/PlatformFile.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace NSCorvane
{

struct CorvaneFileStat
{
    uint64_t uFileSize = 0;
    uint64_t uLastWriteTime = 0; // ns since the epoch
    uint64_t uChangeTime = 0;    // ns since the epoch
    uint64_t uDevice = 0;
    uint64_t uNode = 0;
    bool operator==(const CorvaneFileStat& o) const
    {
        return uFileSize == o.uFileSize && uLastWriteTime == o.uLastWriteTime &&
               uChangeTime == o.uChangeTime && uDevice == o.uDevice && uNode == o.uNode;
    }
};

// Lines of six numbers with a non-zero name hash; anything else is skipped, so
// a cache of the older three-number form vouches for nothing. A
// name already in the map keeps its first entry. Lines may end "\r\n" or "\n".
void ParseFileStatCache(std::string_view svText, std::map<uint64_t, CorvaneFileStat>& mapOut);
// What the cache keeps of a file's stat.
CorvaneFileStat ToCachedStat(const CorvanePlatform::FileStat& st);
// One line for a name.
void AppendFileStatLine(std::string& strOut, uint64_t uNameHash, const CorvaneFileStat& stat);

} // namespace NSCorvane
