// SPDX-License-Identifier: MIT
#pragma once

#include "FuzzSupport.h"

#include <filesystem>
#include <random>
#include <string>

// Every target runs in a scratch directory of its own, so that the library's log
// and any file a target writes stay out of the way.
#define CORVANE_FUZZ_INIT()                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                       \
    {                                                                                                        \
        namespace fs = std::filesystem;                                                                      \
        std::error_code ec;                                                                                  \
        const fs::path base = fs::temp_directory_path(ec);                                                   \
        std::random_device random;                                                                           \
        for (int nTry = 0; nTry < 100; ++nTry)                                                               \
        {                                                                                                    \
            const fs::path dir = base / ("corvane-fuzz-" + std::to_string(random()));                        \
            if (fs::create_directory(dir, ec))                                                               \
            {                                                                                                \
                fs::current_path(dir, ec);                                                                   \
                if (!ec)                                                                                     \
                {                                                                                            \
                    CorvaneFuzz::QuietLibrary();                                                             \
                }                                                                                            \
                break;                                                                                       \
            }                                                                                                \
        }                                                                                                    \
        return 0;                                                                                            \
    }
