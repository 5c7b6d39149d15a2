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
              (std::set<std::string>{
                  "g_InitCorvaneManager",          "g_UnInitCorvaneManager",     "g_NewCorvaneReader",
                  "g_NewCorvaneReaderByConfig",    "g_NewCorvanePacker",         "g_SetCorvanePackerFlags",
                  "g_SetCorvanePackerNotes",       "g_GetCorvanePackSummary",    "g_SetCorvaneLogPath",
                  "g_GetCorvaneLastFailure",       "g_GetCorvaneTransferCounts", "g_PlanCorvaneFetch",
                  "g_GetCorvaneFetchProgress",     "g_EndCorvaneFetch",          "g_ResetCorvaneSources",
                  "g_FeedCorvaneContextHash",      "g_CreateCorvaneKey",         "g_SignCorvaneVersion",
                  "g_NewCorvaneReaderTrusted",     "g_GetCorvaneTrustState",     "g_NextCorvaneFetchArrival",
                  "g_NewCorvaneListReaderByConfig"}));
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
    ASSERT_TRUE(WriteFileText(cwd / "PemCorvane.log", "an earlier run's line\r\n"));
    ASSERT_TRUE(pfnInit(nullptr, nullptr));
    // The earlier run's log is gone, and this run's starts with its first line.
    EXPECT_FALSE(FileExists(cwd / "PemCorvane.log"));

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
    EXPECT_FALSE(FileExists(cwd / "PemCorvane.log")) << "a run without failures leaves no log";
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

// A caller places the log, and learns why the system refused a write.
TEST(LibraryAbi, LogPathAndLastSystemFailure)
{
    void* hLib = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hLib, nullptr) << ::dlerror();
    auto pfnInit = reinterpret_cast<PFN_g_InitCorvaneManager>(::dlsym(hLib, "g_InitCorvaneManager"));
    auto pfnNewPacker = reinterpret_cast<PFN_g_NewCorvanePacker>(::dlsym(hLib, "g_NewCorvanePacker"));
    auto pfnSetLogPath = reinterpret_cast<PFN_g_SetCorvaneLogPath>(::dlsym(hLib, "g_SetCorvaneLogPath"));
    auto pfnLastFailure =
        reinterpret_cast<PFN_g_GetCorvaneLastFailure>(::dlsym(hLib, "g_GetCorvaneLastFailure"));
    ASSERT_TRUE(pfnInit && pfnNewPacker && pfnSetLogPath && pfnLastFailure);

    TempDir work;
    const std::string strLog = work / "state/deep/run.log";
    ASSERT_TRUE(WriteFileText(strLog, "stale\r\n"));
    ASSERT_TRUE(pfnSetLogPath(strLog.c_str()));
    ASSERT_TRUE(pfnInit(nullptr, nullptr));
    EXPECT_FALSE(FileExists(strLog));
    char szLine[256] = "untouched";
    EXPECT_FALSE(pfnLastFailure(szLine, sizeof(szLine)));
    EXPECT_STREQ(szLine, "");

    // A plain file where the packages' directory must go: the system says why.
    ASSERT_TRUE(WriteFileText(work / "src/a.txt", "a"));
    const std::string strStore = work / "store";
    const std::string strBlocker = strStore + "/dat";
    ASSERT_TRUE(WriteFileText(strBlocker, "a file where a directory must go"));
    IPemCorvanePacker* pPacker = nullptr;
    ASSERT_TRUE(pfnNewPacker(&pPacker));
    CORVANE_PAK_OPTION option;
    option.nToVersion = 1;
    option.nTreadCount = 2;
    const std::string strSrc = work / "src";
    const bool bBuilt = pPacker->SetEnv(strSrc.c_str(), strStore.c_str(), &option) &&
                        pPacker->Push(strSrc.c_str()) && pPacker->Do();
    pPacker->Release();
    EXPECT_FALSE(bBuilt);
    ASSERT_TRUE(pfnLastFailure(szLine, sizeof(szLine))) << ReadFileText(strLog);
    EXPECT_STREQ(szLine, ("cannot create " + strBlocker + ": File exists").c_str());
    // Read once: the record is gone; a null buffer only clears.
    EXPECT_FALSE(pfnLastFailure(szLine, sizeof(szLine)));
    EXPECT_FALSE(pfnLastFailure(nullptr, 0));

    // The log was made where it was sent, with the reason and the records.
    const std::vector<unsigned char> vecLog = ReadFileBytes(strLog);
    const std::string strText(vecLog.begin(), vecLog.end());
    EXPECT_NE(strText.find("system error: cannot create " + strBlocker + ": File exists\r\n"),
              std::string::npos)
        << strText;
    EXPECT_NE(strText.find("PROCESS_ERROR failed. function="), std::string::npos) << strText;
    EXPECT_TRUE(pfnSetLogPath(nullptr));
}

} // namespace
