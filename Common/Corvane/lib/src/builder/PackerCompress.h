// SPDX-License-Identifier: MIT
// Hashing and compressing the source files of a build on the task pool, and
// committing the results to the index builder strictly in task order, so the
// store does not depend on thread timing.
#pragma once

#include "builder/PackerFileCollect.h"

#include <Corvane/IPemCorvanePacker.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace NSCorvane
{

class PemCorvaneIdxBuilder;
class PemQueueTaskPool;

// How a file of the new version came to be, for the build's summary.
enum class PackOrigin : uint8_t
{
    Added,      // no such path in the previous version
    Changed,    // stored anew
    SameByStat, // not read: the stat cache vouched for it
    SameByHash, // read, and its content hash was the stored copy's
};

struct PackTally
{
    uint32_t auCount[4] = {};  // by PackOrigin
    uint64_t uBytesStored = 0; // record bytes placed in new packages
    bool bKeepPaths = false;   // fill vecPaths with every file not vouched for by its stat
    std::vector<std::pair<PackOrigin, std::string>> vecPaths;
};

struct CompressTask
{
    uint32_t uSeq = 0;                 // commit order, dense from 0
    const PackerFile* pFile = nullptr; // lives as long as the collection
};

// Runs every task; false on the first compression, placement or write failure,
// after the workers have stopped and the elements of uncommitted results were
// removed. Files that cannot be opened are left out with a record.
// vecHashOrder holds each task's name hash with its index, in hash order, as
// the index builder's InsertPaths gives it for the tasks' paths.
bool DoCompress(const std::string& strExportDir, const std::vector<CompressTask>& vecTasks,
                const std::vector<std::pair<uint64_t, size_t>>& vecHashOrder, const CORVANE_PAK_OPTION& opt,
                PemCorvaneIdxBuilder* pkIdxBuilder, PemQueueTaskPool* pTaskPool, PackTally& tally);

} // namespace NSCorvane
