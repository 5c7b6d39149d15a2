// SPDX-License-Identifier: MIT
// Memory for large buffers that live long and are filled again and again (read
// buffers, compression work memory). Where the system offers huge pages they
// are asked for, so filling such a buffer costs a few page faults instead of
// one per 4 KiB; on a virtual machine each fault is expensive.
#pragma once

#include <cstddef>

namespace CorvanePlatform
{

// Null on failure. The memory is not cleared. Free it with the same size.
void* AllocLargeBlock(size_t uSize);
void FreeLargeBlock(void* p, size_t uSize);

} // namespace CorvanePlatform
