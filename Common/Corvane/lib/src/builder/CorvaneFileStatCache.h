// SPDX-License-Identifier: MIT
// The file stat cache "_tmp/packer_filestat": one line per source file of the
// last build, "<name hash> <size> <last write time>" in decimal, ending "\r\n".
// A build whose file still has the cached size and write time skips reading it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace NSCorvane
{

struct CorvaneFileStat
{
    uint64_t uFileSize = 0;
    uint64_t uLastWriteTime = 0;
};

// Lines of three numbers with a non-zero name hash; anything else is skipped. A
// name already in the map keeps its first entry. Lines may end "\r\n" or "\n".
void ParseFileStatCache(std::string_view svText, std::map<uint64_t, CorvaneFileStat>& mapOut);
// One line for a name.
void AppendFileStatLine(std::string& strOut, uint64_t uNameHash, const CorvaneFileStat& stat);

} // namespace NSCorvane
