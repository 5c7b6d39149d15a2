// SPDX-License-Identifier: MIT
// What makes a directory the same directory, whichever link leads to it.
#pragma once

#include <cstddef>
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
    bool operator==(const FileIdentity& o) const { return uDevice == o.uDevice && uNode == o.uNode; }
};

// For hashed sets: a walk checks one identity per directory of the tree.
struct FileIdentityHash
{
    size_t operator()(const FileIdentity& id) const
    {
        return static_cast<size_t>((id.uNode * 0x9E3779B97F4A7C15ull) ^ id.uDevice);
    }
};

// Identity of the file or directory at the path, following links. False when it cannot be read.
bool GetFileIdentity(const char* pcszPath, FileIdentity* pId);

} // namespace CorvanePlatform
