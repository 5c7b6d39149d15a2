// SPDX-License-Identifier: MIT
#pragma once

#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// Every target runs in a scratch directory of its own, so that the library's log
// and any file a target writes stay out of the way.
#define CORVANE_FUZZ_INIT()                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                       \
    {                                                                                                        \
        std::string strDir = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();      \
        if (::mkdtemp(strDir.data()) && ::chdir(strDir.c_str()) == 0)                                        \
        {                                                                                                    \
            CorvaneFuzz::QuietLibrary();                                                                     \
        }                                                                                                    \
        return 0;                                                                                            \
    }
