// SPDX-License-Identifier: MIT
// Entries of a source tree that are not plain files: links to files are packed
// as their target's content when the target is a file of the tree itself;
// everything else (pipes, sockets, devices, dangling links, links that leave
// the tree) fails the build, or is left out with a note when the caller asked
// for that. Nothing is ever left out unsaid.
#pragma once

#include "builder/PackerFileCollect.h"

#include <string>
#include <vector>

namespace NSCorvane
{

// An entry left out, or the reason a build fails.
struct PackerRefusal
{
    std::string strRel;
    std::string strFull;
    std::string strReason;
};

// Moves every link in vecLists whose target is not a file inside one of the
// walked directories to vecRefused, with every odd entry of the walk. Lists
// emptied by that are dropped. *puLinks counts the links that stay.
bool ScreenSpecialEntries(std::vector<std::vector<PackerFile>>& vecLists, const PackerWalkExtras& extras,
                          std::vector<PackerRefusal>& vecRefused, uint32_t* puLinks);

} // namespace NSCorvane
