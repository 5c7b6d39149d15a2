// SPDX-License-Identifier: MIT
// Process-wide options and the library's memory entry points.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <cstdint>

namespace CorvaneUtil
{

struct CorvaneOption
{
    NSCorvane::IStreamMemory* piMemory = nullptr;   // null: the built-in allocator
    NSCorvane::IStreamFileSys* piFileSys = nullptr; // file system of downloaders' caches
};

// One per process, created on first use.
CorvaneOption& gOption();

// The built-in allocator: every block has a 16-byte header (tag, size).
NSCorvane::IStreamMemory& BuiltinMemory();

// Alloc/Free of gOption().piMemory, or of the built-in allocator when none is set.
void* MemoryAlloc(uint64_t uSize);
void MemoryFree(void* p);

} // namespace CorvaneUtil
