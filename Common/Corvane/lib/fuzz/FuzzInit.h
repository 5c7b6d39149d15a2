// SPDX-License-Identifier: MIT
#pragma once

#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace CorvaneFuzz
{
// The scratch directory goes when the run ends, so repeated runs leave no litter.
inline std::string& ScratchDir()
{
    static std::string s_strDir;
    return s_strDir;
}
inline void RemoveScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
}
} // namespace CorvaneFuzz

// Every target runs in a scratch directory of its own, so that the library's log
// and any file a target writes stay out of the way.
#define CORVANE_FUZZ_INIT()                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                       \
    {                                                                                                        \
        std::string strDir = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();      \
        if (::mkdtemp(strDir.data()) && ::chdir(strDir.c_str()) == 0)                                        \
        {                                                                                                    \
            CorvaneFuzz::ScratchDir() = strDir;                                                              \
            std::atexit(CorvaneFuzz::RemoveScratchDir);                                                      \
            CorvaneFuzz::QuietLibrary();                                                                     \
        }                                                                                                    \
        return 0;                                                                                            \
    }
