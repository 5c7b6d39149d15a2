// SPDX-License-Identifier: MIT
// Short parallel stretches of a build (walking the source tree, finishing the
// packages and lists) that run on threads of their own, not on the task pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace NSCorvane
{

// Runs jobs 0..uJobs-1 once each on up to uRunners threads, the caller's among
// them; no new job starts after one failed or threw. False when any did.
bool RunJobs(size_t uJobs, uint32_t uRunners, const std::function<bool(size_t)>& fnJob);

} // namespace NSCorvane
