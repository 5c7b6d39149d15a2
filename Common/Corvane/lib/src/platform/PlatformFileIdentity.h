// SPDX-License-Identifier: MIT
// What makes a directory the same directory, whichever link leads to it.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

struct FileIdentity
{
    uint64_t uDevice = 0;
    uint64_t uNode = 0;
    bool operator<(const FileIdentity& o) const
    {
        return uDevice != o.uDevice ? uDevice < o.uDevice : uNode < o.uNode;
    }
};

// Identity of the file or directory at the path, following links. False when it cannot be read.
bool GetFileIdentity(const char* pcszPath, FileIdentity* pId);

} // namespace CorvanePlatform
