// SPDX-License-Identifier: MIT
// Reading a source tree the way pack walks it: one directory's entries with
// links followed, the identity of a directory (so each is walked once), and
// the whole content of a file. Paths are narrow UTF-8 strings. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CorvaneToolPlatform
{

enum class TreeItemKind
{
    kFile,      // a regular file, or a link to one
    kDirectory, // a directory, or a link to one
    kOther,     // a pipe, socket or device, or a link to nothing
};

struct TreeItem
{
    std::string strName;
    TreeItemKind kind = TreeItemKind::kOther;
    bool bLink = false; // a symbolic link (or junction), followed for kind and size
    uint64_t uSize = 0; // files only
};

// Which directory a path leads to, whatever the way there.
struct TreeDirId
{
    uint64_t uDevice = 0;
    uint64_t uNode = 0;
    bool operator<(const TreeDirId& other) const
    {
        return uDevice != other.uDevice ? uDevice < other.uDevice : uNode < other.uNode;
    }
};

// The entries of strDir ("." and ".." left out), in the file system's order,
// and its identity. False with the system's reason when it cannot be listed.
bool ListTreeDirectory(const std::string& strDir, std::vector<TreeItem>& vecItems, TreeDirId& id,
                       std::string& strError);

// The whole content of the file at strPath, links followed. False with the
// system's reason when it cannot be opened or read.
bool ReadWholeFile(const std::string& strPath, std::vector<unsigned char>& vecData, std::string& strError);

} // namespace CorvaneToolPlatform
