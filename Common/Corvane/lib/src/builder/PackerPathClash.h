// SPDX-License-Identifier: MIT
// Source files that would share one store path: store paths are normalised
// (lower case), so names that differ only in case, which a case-sensitive file
// system holds side by side, cannot both be stored.
#pragma once

#include "builder/PackerFileCollect.h"

#include <string>
#include <vector>

namespace NSCorvane
{

// A plain file, links followed: no directory, pipe, device or socket.
bool IsRegularFile(const std::string& strPath);

// Checks the lists as GetFiles makes them (each sorted by store path, lists of
// one directory's files next to each other); the list of single files is
// de-duplicated by its maker. Writes one error-log record per clash naming both
// files as the tree spells them, below strRootReal; false when there is any.
bool CheckStorePathClashes(const std::vector<std::vector<PackerFile>>& vecLists,
                           const std::string& strRootReal);

} // namespace NSCorvane
