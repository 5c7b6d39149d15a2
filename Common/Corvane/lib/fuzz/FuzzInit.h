// SPDX-License-Identifier: MIT
#pragma once

#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace CorvaneFuzz
{
// The scratch directory goes when the run ends, so repeated runs leave no litter.
inline std::filesystem::path& ScratchDir()
{
    static std::filesystem::path s_dir;
    return s_dir;
}
inline void RemoveScratchDir()
{
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(ec), ec);
    std::filesystem::remove_all(ScratchDir(), ec);
}
} // namespace CorvaneFuzz

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
                CorvaneFuzz::ScratchDir() = dir;                                                             \
                std::atexit(CorvaneFuzz::RemoveScratchDir);                                                  \
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
