// SPDX-License-Identifier: MIT
// Kernels of the content hash. Both recurrences (h1 = h1*33 + b, h2 = h2*131 + b,
// mod 2^32) are linear, so a run of n bytes moves a state h to
// h * P^n + sum b[i] * P^(n-1-i). The kernels form that sum with independent
// multiplies by precomputed powers instead of one serial multiply per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace NSCorvaneReader
{
namespace ContextHashKernel
{

struct State
{
    uint32_t uH1; // *33 hash
    uint32_t uH2; // *131 hash
};

// Feeds the first (uSize & ~7) bytes of pData into state and returns how many
// bytes it consumed; the caller feeds the rest byte by byte.
using PFN_Kernel = size_t (*)(const uint8_t* pData, size_t uSize, State& state);

struct Kernel
{
    const char* pcszName;
    PFN_Kernel pfnKernel;
};

// The fastest kernel this CPU runs; chosen once, thread-safe.
PFN_Kernel Selected();
// Every kernel this CPU can run, slowest first (so tests cover each of them).
std::vector<Kernel> Available();

// P^e mod 2^32.
uint32_t PowMod32(uint32_t uBase, uint64_t uExp);

} // namespace ContextHashKernel
} // namespace NSCorvaneReader
