// SPDX-License-Identifier: MIT
// Shared libraries opened at run time.
#include "platform/PlatformLibrary.h"
#include "platform/PlatformNames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

using CorvanePlatform::LibraryLastError;
using CorvanePlatform::LibraryOpen;
using CorvanePlatform::LibrarySymbol;
using CorvanePlatform::SharedLibrary;

namespace
{

// libcurl, as the library loads it: a system library here, the DLL beside
// the programs on Windows.
const char* const kSystemLibrary = CorvanePlatform::kCurlLibraryNames[0];

} // namespace

TEST(PlatformLibrary, OpensASystemLibraryAndFindsItsFunctions)
{
    SharedLibrary* pLibrary = LibraryOpen(kSystemLibrary);
    ASSERT_NE(nullptr, pLibrary) << LibraryLastError();
    EXPECT_EQ(pLibrary, LibraryOpen(kSystemLibrary));
    void* pSymbol = LibrarySymbol(pLibrary, "curl_version");
    ASSERT_NE(nullptr, pSymbol) << LibraryLastError();
    // The address is the function itself: calling it gives libcurl's version text.
    const char* pcszVersion = reinterpret_cast<const char* (*)()>(pSymbol)();
    ASSERT_NE(nullptr, pcszVersion);
    EXPECT_EQ(0, std::strncmp(pcszVersion, "libcurl/", 8)) << pcszVersion;
}

TEST(PlatformLibrary, MissingLibrariesAndSymbolsFailWithTheLoadersText)
{
    EXPECT_EQ(nullptr, LibraryOpen("libcorvane-no-such-library.so"));
    EXPECT_NE(nullptr, std::strstr(LibraryLastError(), "libcorvane-no-such-library.so"))
        << LibraryLastError();
    // An empty name would give the main program on POSIX.
    EXPECT_EQ(nullptr, LibraryOpen(""));
    EXPECT_EQ(nullptr, LibraryOpen(nullptr));
    EXPECT_STRNE("", LibraryLastError());

    SharedLibrary* pLibrary = LibraryOpen(kSystemLibrary);
    ASSERT_NE(nullptr, pLibrary) << LibraryLastError();
    EXPECT_EQ(nullptr, LibrarySymbol(pLibrary, "corvane_no_such_symbol"));
    const std::string strError = LibraryLastError();
    EXPECT_NE(std::string::npos, strError.find("corvane_no_such_symbol")) << strError;
    EXPECT_EQ(nullptr, LibrarySymbol(nullptr, "curl_version"));

    // Each thread keeps its own text: a failure elsewhere does not overwrite it.
    std::thread([] { EXPECT_EQ(nullptr, LibraryOpen("libcorvane-other-thread.so")); }).join();
    EXPECT_STREQ("no library or no symbol name", LibraryLastError());
}
