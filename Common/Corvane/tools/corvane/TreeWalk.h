// SPDX-License-Identifier: MIT
// The files of a source tree under the store paths pack gives them, for
// comparing a tree with a published version.
#pragma once

#include "platform/ToolTreeFiles.h"

#include <cstdint>
#include <string>
#include <vector>

struct TreeFile
{
    std::string strStore; // the store path: relative, '/', ASCII lower case
    std::string strRel;   // the same as the tree spells it
    std::string strFull;  // where to read it
    uint64_t uSize = 0;
    bool bLink = false; // a symbolic link to a file
};

struct TreeWalk
{
    std::vector<TreeFile> vecFiles;     // by store path, then as the tree spells it
    std::vector<std::string> vecNotes;  // what was passed over, and why
    std::vector<std::string> vecErrors; // directories that could not be listed
};

// Walks strRoot as pack does: level by level, names in store-path order, links
// to directories followed, each real directory walked once under the first
// path that reaches it (so a link to an ancestor ends there). Unlike pack, a
// link to a file counts as a file with that file's content, and everything
// passed over (pipes, devices, dangling links, directories reached twice,
// directories in vecLeaveOut) is named in vecNotes. False when strRoot itself
// cannot be listed (the reason in vecErrors).
bool WalkTree(const std::string& strRoot, const std::vector<CorvaneToolPlatform::TreeDirId>& vecLeaveOut,
              TreeWalk& walk);
