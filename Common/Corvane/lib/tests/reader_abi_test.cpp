// SPDX-License-Identifier: MIT
// The shared library as its callers see it: loaded at run time, reached only
// through the exported functions and the interface slots.
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

std::string LibraryPath()
{
    const char* pszBin = std::getenv("CORVANE_BIN_DIR");
    return std::string(pszBin ? pszBin : CORVANE_TEST_BIN_DIR) + "/libPemCorvaneX64.so";
}

std::set<std::string> ExportedSymbols(const std::string& strLib)
{
    std::set<std::string> setNames;
    FILE* pipe = ::popen(("nm -D --defined-only " + strLib).c_str(), "r");
    if (!pipe)
    {
        return setNames;
    }
    char szLine[1024];
    while (std::fgets(szLine, sizeof(szLine), pipe))
    {
        std::string strLine(szLine);
        const size_t uSpace = strLine.find_last_of(' ');
        std::string strName = strLine.substr(uSpace + 1);
        strName.erase(strName.find_last_not_of("\r\n") + 1);
        setNames.insert(strName);
    }
    ::pclose(pipe);
    return setNames;
}

TEST(LibraryAbi, ExportsExactlyTheEntryPoints)
{
    std::set<std::string> setNames = ExportedSymbols(LibraryPath());
    ASSERT_FALSE(setNames.empty()) << "nm could not read " << LibraryPath();
    for (const char* pcszLinkerSymbol : {"_init", "_fini", "_edata", "_end", "__bss_start"})
    {
        setNames.erase(pcszLinkerSymbol);
    }
    EXPECT_EQ(setNames,
              (std::set<std::string>{"g_InitCorvaneManager", "g_UnInitCorvaneManager", "g_NewCorvaneReader",
                                     "g_NewCorvaneReaderByConfig", "g_NewCorvanePacker", "g_SetCorvaneLogPath",
                                     "g_GetCorvaneLastFailure"}));
}

TEST(LibraryAbi, ReaderThroughLoadedLibrary)
{
    TempDir store;
    TestStoreVersion v;
    v.mapFiles = {{"bin/tool.exe", std::string(70000, 'x')}, {"readme.txt", "hello"}};
    ASSERT_TRUE(WriteTestStoreVersion(store.Path(), v, nullptr));

    void* hLib = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hLib, nullptr) << ::dlerror();
    auto pfnInit = reinterpret_cast<PFN_g_InitCorvaneManager>(::dlsym(hLib, "g_InitCorvaneManager"));
    auto pfnUnInit = reinterpret_cast<PFN_g_UnInitCorvaneManager>(::dlsym(hLib, "g_UnInitCorvaneManager"));
    auto pfnNewReader = reinterpret_cast<PFN_g_NewCorvaneReader>(::dlsym(hLib, "g_NewCorvaneReader"));
    ASSERT_TRUE(pfnInit && pfnUnInit && pfnNewReader);

    TempDir cwd; // the library's log goes to the current directory
    ASSERT_EQ(::chdir(cwd.Path().c_str()), 0);
    ASSERT_TRUE(pfnInit(nullptr, nullptr));
    EXPECT_TRUE(FileExists(cwd / "PemCorvane.log"));

    IPemCorvaneReader* pReader = nullptr;
    ASSERT_TRUE(pfnNewReader(&pReader, store.Path().c_str(), _INVALID_VER));
    EXPECT_EQ(pReader->GetWorkVersion(), 1u);
    IFile* pif = pReader->OpenFile("readme.txt", -1);
    ASSERT_NE(pif, nullptr);
    char szBuf[6] = {};
    EXPECT_EQ(pif->Size(), 5u);
    EXPECT_EQ(pif->Read(szBuf, 5), 5);
    EXPECT_STREQ(szBuf, "hello");
    EXPECT_EQ(pif->Seek(-2, 2), 3);
    pif->Release();

    IStringList* pList = pReader->OpenFileList();
    ASSERT_NE(pList, nullptr);
    ASSERT_EQ(pList->Count(), 2u);
    EXPECT_STREQ(pList->Get(0), "bin/tool.exe");
    pList->Release();
    CorvaneFileInfo info{};
    EXPECT_TRUE(pReader->GetFileInfo("bin/tool.exe", &info));
    EXPECT_EQ(info.uFileSize, 70000u);
    CORVANE_PAK_INFO pak{};
    EXPECT_EQ(pReader->ReadPakInfo(&pak), 0);
    EXPECT_EQ(pReader->CalcContextHash("", 0), CORVANE_EMPTY_CONTEXT_HASH);
    EXPECT_TRUE(pReader->SyncDownloadDataFile("dat/v1/0/0.dat"));
    EXPECT_EQ(pReader->GetDownloadSpeed(), 0u);
    EXPECT_TRUE(pReader->Release());
    // Local reads never load libcurl: only the first HTTP request pays for it.
    EXPECT_EQ(nullptr, ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_NOLOAD));

    // A failed creation leaves the out pointer and writes its reason to the log.
    IPemCorvaneReader* pNone = nullptr;
    EXPECT_FALSE(pfnNewReader(&pNone, (store.Path() + "/missing").c_str(), 7));
    EXPECT_EQ(pNone, nullptr);
    const std::vector<unsigned char> vecLog = ReadFileBytes(cwd / "PemCorvane.log");
    EXPECT_NE(std::string(vecLog.begin(), vecLog.end()).find("PROCESS_ERROR failed. function="),
              std::string::npos);
    EXPECT_TRUE(pfnUnInit());
    // The library is never unloaded by its callers; neither do we.
}

} // namespace
