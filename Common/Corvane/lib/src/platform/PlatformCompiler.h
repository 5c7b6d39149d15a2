// SPDX-License-Identifier: MIT
// Compiler differences that the rest of the library must not see.
#pragma once

#if defined(_MSC_VER)
#define CORVANE_FUNCSIG __FUNCSIG__
#else
#define CORVANE_FUNCSIG __PRETTY_FUNCTION__
#endif
