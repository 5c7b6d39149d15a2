// SPDX-License-Identifier: MIT
// Export and visibility macros of PemCorvaneX64. This header is the public face of
// the platform layer: the only place in the public ABI that knows the toolchain.
#pragma once

#if defined(_WIN32)
#if defined(CORVANE_BUILDING_LIBRARY)
#define CORVANE_API __declspec(dllexport)
#else
#define CORVANE_API __declspec(dllimport)
#endif
#else
#define CORVANE_API __attribute__((visibility("default")))
#endif
