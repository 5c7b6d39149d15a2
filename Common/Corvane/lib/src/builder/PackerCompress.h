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
                PemCorvaneIdxBuilder* pkIdxBuilder, PemQueueTaskPool* pTaskPool);

} // namespace NSCorvane
