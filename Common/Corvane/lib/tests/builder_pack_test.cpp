// SPDX-License-Identifier: MIT
// Building store versions with the packer and reading them back with the reader.
#include "builder/PemCorvaneIdxBuilder.h"
#include "builder/PemCorvanePacker.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"
#include "reader/PemCorvaneReader.h"
#include "support/MemoryAndLog.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using namespace NSCorvane;
using CorvaneTest::Lines;
using CorvaneTest::NewPacker;
using CorvaneTest::OpenStoreReader;
using CorvaneTest::PackerPtr;
using CorvaneTest::ReaderPtr;
using CorvaneTest::TempDir;

namespace
{

std::string Bytes(size_t uSize, uint32_t uSeed)
{
    std::mt19937 rng(uSeed);
    std::string str(uSize, '\0');
    for (char& ch : str)
    {
        ch = static_cast<char>('a' + rng() % 6); // compressible but not trivially
    }
    return str;
}

void Put(const std::string& strPath, const std::string& strContent)
{
    fs::create_directories(fs::path(strPath).parent_path());
    ASSERT_TRUE(CorvaneTest::WriteFileText(strPath, strContent));
}

struct Tree
{
    TempDir dir;
    std::string strRoot;
    std::string strStore;
    std::map<std::string, std::string> mapFiles; // store path -> content

    Tree() : strRoot(dir / "Src"), strStore(dir / "store") { fs::create_directories(strRoot); }
    // Files get one fixed time, as an archive gives them: the cache vouches
    // for no file written in the same tick as itself, and an archive's are not.
    void Add(const std::string& strRel, const std::string& strContent, const std::string& strStoreName = "")
    {
        Put(strRoot + "/" + strRel, strContent);
        fs::last_write_time(strRoot + "/" + strRel, ArchiveTime());
        mapFiles[strStoreName.empty() ? strRel : strStoreName] = strContent;
    }
    static fs::file_time_type ArchiveTime()
    {
        return fs::file_time_type::clock::now() - std::chrono::hours(24);
    }
};

CORVANE_PAK_OPTION Options(uint32_t uVer, uint32_t uThreads = 4)
{
    CORVANE_PAK_OPTION opt;
    opt.nToVersion = uVer;
    opt.nTreadCount = uThreads;
    opt.nCompressLevel = 3;
    std::strcpy(opt.szReleaseText, "release text");
    return opt;
}

// Packs the whole root as version uVer; pSummary receives what it changed.
bool PackAll(const std::string& strRoot, const std::string& strStore, uint32_t uVer, uint32_t uThreads = 4,
             CORVANE_PACK_SUMMARY* pSummary = nullptr)
{
    PackerPtr packer = NewPacker();
    const CORVANE_PAK_OPTION opt = Options(uVer, uThreads);
    return packer->SetEnv(strRoot.c_str(), strStore.c_str(), &opt) && packer->Push(strRoot.c_str()) &&
           packer->Do() && (!pSummary || g_GetCorvanePackSummary(packer.get(), pSummary));
}

std::string ReadBack(IPemCorvaneReader* pReader, const std::string& strPath)
{
    IFile* pif = pReader->OpenFile(strPath.c_str(), -1);
    if (!pif)
    {
        return "<missing>";
    }
    std::string str(static_cast<const char*>(pif->GetBuffer()), pif->Size());
    pif->Release();
    return str;
}

class BuilderPack : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { g_InitCorvaneManager(nullptr, nullptr); }
};

} // namespace

TEST_F(BuilderPack, PackedTreeReadsBackByteForByte)
{
    Tree tree;
    tree.Add("readme.txt", "hello");
    tree.Add("empty.bin", "");
    tree.Add("bin/Tool.EXE", Bytes(300000, 1), "bin/tool.exe");
    tree.Add("bin/plugins/a.dll", Bytes(5000, 2));
    tree.Add("share/doc/notes.md", Bytes(70000, 3));
    // A path longer than the record's 199-byte path field.
    const std::string strLong = std::string(60, 'x') + "/" + std::string(60, 'y') + "/" +
                                std::string(60, 'z') + "/" + std::string(60, 'w') + ".txt";
    tree.Add(strLong, "deep content");
    fs::create_directories(tree.strRoot + "/only/subdirs/here");
    tree.Add("only/subdirs/here/f.txt", "f");

    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1));
    EXPECT_FALSE(fs::exists(tree.strStore + "/_tmp/packer_data"));
    EXPECT_TRUE(fs::exists(tree.strStore + "/_tmp/packer_filestat"));

    ReaderPtr reader = OpenStoreReader(tree.strStore);
    ASSERT_TRUE(reader);
    EXPECT_EQ(1u, reader->GetWorkVersion());
    for (const auto& it : tree.mapFiles)
    {
        EXPECT_EQ(it.second, ReadBack(reader.get(), it.first)) << it.first;
        CorvaneFileInfo info;
        ASSERT_TRUE(reader->GetFileInfo(it.first.c_str(), &info)) << it.first;
        EXPECT_EQ(it.second.size(), info.uFileSize);
        EXPECT_STREQ(it.first.c_str(), info.pszPath);
        EXPECT_EQ(reader->CalcContextHash(it.second.data(), static_cast<uint32_t>(it.second.size())),
                  reader->GetFileHash(it.first.c_str()));
    }
    std::vector<std::string> vecAll;
    for (const auto& it : tree.mapFiles)
    {
        vecAll.push_back(it.first);
    }
    EXPECT_EQ(vecAll, Lines(reader->OpenFileList()));
    EXPECT_EQ(vecAll, Lines(reader->OpenPatchFileList()));
    EXPECT_EQ((std::vector<std::string>{"dat/v1/0/0.dat"}), Lines(reader->OpenDataList()));

    // The record of the long path keeps the first 199 bytes of it.
    PemCorvaneReader internal;
    ASSERT_TRUE(internal.SetupByDir(tree.strStore.c_str(), 1));
    const CORVANE_IDX_ELEMENT* pElement = internal.FindElement(strLong.c_str());
    ASSERT_TRUE(pElement);
    const std::vector<unsigned char> vecPkg = CorvaneTest::ReadFileBytes(tree.strStore + "/dat/v1/0/0.dat");
    CORVANE_FILE_HEADER fHeader;
    ASSERT_LE(pElement->uElemOfs + sizeof(fHeader), vecPkg.size());
    std::memcpy(&fHeader, vecPkg.data() + pElement->uElemOfs, sizeof(fHeader));
    EXPECT_EQ(strLong.substr(0, 199), std::string(fHeader.szFilePath));
}

TEST_F(BuilderPack, LaterBuildsStoreOnlyWhatChanged)
{
    Tree tree;
    for (int i = 0; i < 20; ++i)
    {
        tree.Add("d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt", Bytes(2000 + i, i));
    }
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1));

    // Version 2: one file changed.
    tree.Add("d1/f4.txt", Bytes(999, 99));
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 2));
    {
        ReaderPtr reader = OpenStoreReader(tree.strStore);
        ASSERT_EQ(2u, reader->GetWorkVersion());
        EXPECT_EQ((std::vector<std::string>{"d1/f4.txt"}), Lines(reader->OpenPatchFileList()));
        EXPECT_EQ((std::vector<std::string>{"dat/v2/0/0.dat"}), Lines(reader->OpenPatchDataList()));
        EXPECT_EQ((std::vector<std::string>{"dat/v1/0/0.dat", "dat/v2/0/0.dat"}),
                  Lines(reader->OpenDataList()));
        CORVANE_PAK_INFO info;
        ASSERT_EQ(0, reader->ReadPakInfo(&info));
        EXPECT_EQ(1u, info.uFileCount);
        for (const auto& it : tree.mapFiles)
        {
            EXPECT_EQ(it.second, ReadBack(reader.get(), it.first)) << it.first;
        }
        PemCorvaneReader internal;
        ASSERT_TRUE(internal.SetupByDir(tree.strStore.c_str(), 2));
        ASSERT_EQ(20u, internal.Elements().size());
        for (const CORVANE_IDX_ELEMENT& element : internal.Elements())
        {
            const bool bChanged = element.uNameHash == internal.FindElement("d1/f4.txt")->uNameHash;
            const uint32_t uVer = element.uVer;
            EXPECT_EQ(bChanged ? 2u : 1u, uVer);
        }
    }

    // Version 3: files get new bytes of the same size and their old write
    // time back, as unpacking a release archive does. They are new files to
    // the cache (change time), so both are read and stored anew.
    const auto Sneak = [&](const std::string& strRel)
    {
        const std::string strFile = tree.strRoot + "/" + strRel;
        const auto tWrite = fs::last_write_time(strFile);
        tree.mapFiles[strRel] = std::string(tree.mapFiles[strRel].size(), 'Z');
        Put(strFile, tree.mapFiles[strRel]);
        fs::last_write_time(strFile, tWrite);
    };
    Sneak("d2/f5.txt");
    Sneak("d1/f4.txt");
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 3));
    ReaderPtr reader = OpenStoreReader(tree.strStore);
    ASSERT_EQ(3u, reader->GetWorkVersion());
    EXPECT_EQ((std::vector<std::string>{"d1/f4.txt", "d2/f5.txt"}), Lines(reader->OpenPatchFileList()));
    for (const auto& it : tree.mapFiles)
    {
        EXPECT_EQ(it.second, ReadBack(reader.get(), it.first)) << it.first;
    }
    // Version 4 over an untouched tree stores nothing and reads nothing.
    CORVANE_PACK_SUMMARY summary;
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 4, 4, &summary));
    EXPECT_TRUE(Lines(OpenStoreReader(tree.strStore)->OpenPatchFileList()).empty());
    EXPECT_EQ(20u, summary.uSameByStat);
    CORVANE_PAK_INFO info;
    ASSERT_EQ(0, OpenStoreReader(tree.strStore)->ReadPakInfo(&info));
    EXPECT_EQ(0u, info.uPackageCount);
    EXPECT_FALSE(fs::exists(tree.strStore + "/dat/v4/0"));
}

TEST_F(BuilderPack, StatCacheDecidesEachFileOfAWholeTree)
{
    // Enough files in enough directories that name-hash order and walk order
    // differ throughout: every file must be matched with its own cache entry.
    Tree tree;
    for (int i = 0; i < 400; ++i)
    {
        tree.Add("d" + std::to_string(i % 23) + "/s" + std::to_string(i % 5) + "/f" + std::to_string(i) +
                     ".bin",
                 Bytes(100 + i % 50, i));
    }
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1, 2));

    std::vector<std::string> vecChanged;
    int i = 0;
    for (auto& it : tree.mapFiles)
    {
        const std::string strFile = tree.strRoot + "/" + it.first;
        const auto tWrite = fs::last_write_time(strFile);
        const std::string strNew(it.second.size() + (i % 11 == 3 ? 1 : 0), static_cast<char>('A' + i % 20));
        if (i % 11 == 3 || i % 11 == 7)
        {
            // Another size; or the same size with the old write time back.
            Put(strFile, strNew);
            fs::last_write_time(strFile, tWrite);
            vecChanged.push_back(it.first);
            it.second = strNew;
        }
        ++i;
    }
    CORVANE_PACK_SUMMARY summary;
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 2, 2, &summary));
    // Every untouched file was matched with its own entry and not read.
    EXPECT_EQ(400u - vecChanged.size(), summary.uSameByStat);
    EXPECT_EQ(vecChanged.size(), summary.uChanged);
    EXPECT_EQ(0u, summary.uSameByHash);
    ReaderPtr reader = OpenStoreReader(tree.strStore);
    ASSERT_EQ(2u, reader->GetWorkVersion());
    EXPECT_EQ(vecChanged, Lines(reader->OpenPatchFileList()));
    for (const auto& it : tree.mapFiles)
    {
        EXPECT_EQ(it.second, ReadBack(reader.get(), it.first)) << it.first;
    }
}

TEST_F(BuilderPack, UnchangedListsComeFromThePreviousVersionOnlyWhenSound)
{
    Tree tree;
    for (int i = 0; i < 12; ++i)
    {
        tree.Add("d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".bin", Bytes(3000 + i, i));
    }
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1));
    const std::string strV1Tree = tree.strStore + "/dat/v1/_dirtree";
    const std::vector<uint8_t> vecGoodTree = CorvaneTest::ReadFileBytes(strV1Tree);
    ASSERT_GT(vecGoodTree.size(), 40u);

    // The previous version's list is damaged: it must not be copied into the
    // new version, which gets a sound encoding of its own.
    std::vector<uint8_t> vecBad = vecGoodTree;
    vecBad[vecBad.size() - 5] ^= 0x5a;
    ASSERT_TRUE(CorvaneTest::WriteFileBytes(strV1Tree, vecBad.data(), vecBad.size()));
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 2));
    EXPECT_EQ(vecGoodTree, CorvaneTest::ReadFileBytes(tree.strStore + "/dat/v2/_dirtree"));

    // A file added in a new directory: the tree and file lists change and
    // must not be taken from version 2; the unchanged package list is.
    tree.Add("new/late.bin", Bytes(5000, 77));
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 3));
    ReaderPtr reader = OpenStoreReader(tree.strStore);
    ASSERT_EQ(3u, reader->GetWorkVersion());
    std::vector<std::string> vecExpected;
    for (const auto& it : tree.mapFiles)
    {
        vecExpected.push_back(it.first);
        EXPECT_EQ(it.second, ReadBack(reader.get(), it.first)) << it.first;
    }
    EXPECT_EQ(vecExpected, Lines(reader->OpenFileList()));
    EXPECT_EQ((std::vector<std::string>{"new/late.bin"}), Lines(reader->OpenPatchFileList()));
    EXPECT_NE(CorvaneTest::ReadFileBytes(tree.strStore + "/dat/v2/_fileinfstr"),
              CorvaneTest::ReadFileBytes(tree.strStore + "/dat/v3/_fileinfstr"));
}

TEST_F(BuilderPack, EarlyListEncodingsAreTakenOnlyForTheFinalBytes)
{
    // The lists encoded early come from the files found by the walk; a file
    // that then cannot be read is left out, and the lists written must say so.
    for (const bool bLetEarlyFinish : {false, true})
    {
        TempDir dir;
        const std::string strStore = dir / "store";
        PemCorvaneIdxBuilder builder;
        ASSERT_TRUE(builder.BuildEnv(strStore.c_str(), Options(1, 2)));
        ASSERT_TRUE(builder.ResetRun());
        ASSERT_TRUE(builder.InsertList({"a/x.txt", "a/y.txt"}));
        ASSERT_TRUE(builder.InsertList({"b/z.txt"}));
        builder.EncodeEarlyLists(strStore.c_str());
        if (bLetEarlyFinish)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // three tiny lists
        }
        ASSERT_TRUE(builder.RemoveFileElement("a/y.txt")); // as if it could not be opened
        for (const char* pcszPath : {"a/x.txt", "b/z.txt"})
        {
            const std::string strContent = Bytes(500, static_cast<uint32_t>(std::strlen(pcszPath)));
            uint8_t* pbyEnvelope = nullptr;
            uint32_t uEnvelope = 0;
            ASSERT_TRUE(CorvaneCompress::CompressContent(reinterpret_cast<const uint8_t*>(strContent.data()),
                                                         static_cast<uint32_t>(strContent.size()),
                                                         &pbyEnvelope, &uEnvelope, STCT_ZSTD, 1));
            CORVANE_FILE_HEADER fHeader;
            std::memset(&fHeader, 0, sizeof(fHeader));
            fHeader.nMagic = CORVANE_MAGIC;
            std::strncpy(fHeader.szFilePath, pcszPath, sizeof(fHeader.szFilePath) - 1);
            fHeader.hashContext = NSCorvaneReader::CalcContextHash(strContent.data(), 500);
            fHeader.nOriContexLength = 500;
            fHeader.nCompressType = STCT_ZSTD;
            fHeader.nEncodeSize = uEnvelope;
            fHeader.nHeadOffset = sizeof(fHeader);
            const uint64_t hsName = NSCorvaneReader::CalcNameHash(pcszPath);
            bool bPassed = false;
            ASSERT_TRUE(
                builder.AllocDiskSpace(strStore.c_str(), hsName, fHeader, pbyEnvelope, uEnvelope, &bPassed));
            ASSERT_TRUE(builder.SetFileElement(hsName, fHeader.hashContext, 1));
            ASSERT_TRUE(builder.AddPatchFile(hsName, pcszPath));
            CorvaneFileStat stat;
            stat.uFileSize = 500;
            ASSERT_TRUE(builder.SetCachedFileStat(hsName, stat));
        }
        ASSERT_TRUE(builder.Output(strStore.c_str()));

        ReaderPtr reader = OpenStoreReader(strStore);
        const std::vector<std::string> vecKept{"a/x.txt", "b/z.txt"};
        EXPECT_EQ(vecKept, Lines(reader->OpenFileList())) << bLetEarlyFinish;
        EXPECT_EQ(vecKept, Lines(reader->OpenPatchFileList())) << bLetEarlyFinish;
        EXPECT_TRUE(Lines(reader->OpenFileList("a", false)) == std::vector<std::string>{"a/x.txt"});
        CorvaneFileInfo info;
        EXPECT_FALSE(reader->GetFileInfo("a/y.txt", &info));
        EXPECT_TRUE(reader->GetFileInfo("b/z.txt", &info));
    }
}

TEST_F(BuilderPack, OutputDoesNotDependOnThreadCount)
{
    if (!CorvaneTest::CanMakeDirectoryLinks())
    {
        GTEST_SKIP() << "std::filesystem cannot make symbolic links here (mingw-w64's libstdc++)";
    }
    Tree tree;
    for (int i = 0; i < 60; ++i)
    {
        // "Dir3/sub" and "dir3/sub" share a store path, their files do not:
        // the two must come in one order whichever is listed first.
        const std::string strDir =
            (i % 7 == 3) ? (i % 2 ? "Dir3/sub" : "dir3/sub") : "dir" + std::to_string(i % 7);
        tree.Add(strDir + "/file" + std::to_string(i), Bytes(10000 + 7919 * i, i));
    }
    const std::string strStoreA = tree.dir / "a";
    const std::string strStoreB = tree.dir / "b";
    CORVANE_PAK_OPTION opt1 = Options(1, 1);
    opt1.nPackageSizeLimit = 200000; // several packages, written on several lanes
    CORVANE_PAK_OPTION opt16 = opt1;
    opt16.nTreadCount = 16;
    for (auto& run : {std::make_pair(&opt1, strStoreA), std::make_pair(&opt16, strStoreB)})
    {
        PackerPtr packer = NewPacker();
        ASSERT_TRUE(packer->SetEnv(tree.strRoot.c_str(), run.second.c_str(), run.first));
        ASSERT_TRUE(packer->Push(tree.strRoot.c_str()));
        ASSERT_TRUE(packer->Do());
    }
    auto mapA = CorvaneTest::ReadTree(strStoreA);
    auto mapB = CorvaneTest::ReadTree(strStoreB);
    ASSERT_GT(mapA.size(), 12u);
    ReaderPtr readerA = OpenStoreReader(strStoreA);
    ReaderPtr readerB = OpenStoreReader(strStoreB);
    CORVANE_PAK_INFO infoA;
    CORVANE_PAK_INFO infoB;
    ASSERT_EQ(0, readerA->ReadPakInfo(&infoA));
    ASSERT_EQ(0, readerB->ReadPakInfo(&infoB));
    EXPECT_STRNE(infoA.szReleaseGuid, infoB.szReleaseGuid);
    std::memset(infoA.szReleaseGuid, 0, sizeof(infoA.szReleaseGuid));
    std::memset(infoB.szReleaseGuid, 0, sizeof(infoB.szReleaseGuid));
    EXPECT_EQ(0, std::memcmp(&infoA, &infoB, sizeof(infoA)));
    EXPECT_GT(infoA.uPackageCount, 3u);
    mapA.erase("dat/v1/_pkginf");
    mapB.erase("dat/v1/_pkginf");
    EXPECT_TRUE(mapA == mapB);
}

TEST_F(BuilderPack, FailedBuildLeavesPreviousVersionAndFreesEveryBuffer)
{
    Tree tree;
    for (int i = 0; i < 30; ++i)
    {
        tree.Add("f" + std::to_string(i), Bytes(3000, i));
    }
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1));
    const std::vector<unsigned char> vecMarker = CorvaneTest::ReadFileBytes(tree.strStore + "/idx/_lastver");
    for (int i = 0; i < 30; ++i)
    {
        Put(tree.strRoot + "/f" + std::to_string(i), Bytes(3001, 100 + i));
    }
    CorvaneTest::ScopedLogCapture log;
    {
        // A package write fails: the staging root is a regular file.
        CorvaneTest::ScopedCountingMemory mem;
        {
            PackerPtr packer = NewPacker();
            CORVANE_PAK_OPTION opt = Options(2, 4);
            opt.nPackageSizeLimit = 4000;
            ASSERT_TRUE(packer->SetEnv(tree.strRoot.c_str(), tree.strStore.c_str(), &opt));
            ASSERT_TRUE(packer->Push(tree.strRoot.c_str()));
            ASSERT_TRUE(CorvaneTest::WriteFileText(tree.strStore + "/_tmp/packer_data", "blocked"));
            EXPECT_FALSE(packer->Do());
        }
        EXPECT_TRUE(CorvaneTest::ScopedLogCapture::Contains("PemCorvaneDiskAlloc::_ApplyFile"));
        EXPECT_GT(mem.Memory().Allocs(), 0u);
        EXPECT_EQ(0u, mem.Memory().Live());
        EXPECT_EQ(0u, mem.Memory().BadFrees());
    }
    {
        // Publishing fails: the version's package directory is a regular file.
        CorvaneTest::ScopedCountingMemory mem;
        Put(tree.strStore + "/dat/v2", "blocked");
        EXPECT_FALSE(PackAll(tree.strRoot, tree.strStore, 2));
        EXPECT_TRUE(CorvaneTest::ScopedLogCapture::Contains("PublishPackage"));
        EXPECT_EQ(0u, mem.Memory().Live());
        EXPECT_EQ(0u, mem.Memory().BadFrees());
    }
    EXPECT_EQ(vecMarker, CorvaneTest::ReadFileBytes(tree.strStore + "/idx/_lastver"));
    ReaderPtr reader = OpenStoreReader(tree.strStore);
    ASSERT_EQ(1u, reader->GetWorkVersion());
    EXPECT_EQ(Bytes(3000, 7), ReadBack(reader.get(), "f7"));
}

TEST_F(BuilderPack, SoundnessOfTheSourceWalk)
{
    if (!CorvaneTest::CanMakeDirectoryLinks())
    {
        GTEST_SKIP() << "std::filesystem cannot make symbolic links here (mingw-w64's libstdc++)";
    }
    Tree tree;
    tree.Add("a/one.txt", "1");
    tree.Add("a/sub/two.txt", "2");
    // A link back to an ancestor ends the descent.
    fs::create_directory_symlink("../..", tree.strRoot + "/a/sub/loop");
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 1, 0)); // 0 threads: taken as 1
    ReaderPtr reader = OpenStoreReader(tree.strStore);
    EXPECT_EQ((std::vector<std::string>{"a/one.txt", "a/sub/two.txt"}), Lines(reader->OpenFileList()));

    // A link to a directory outside brings that directory in whole, once.
    CorvaneTest::TempDir outside;
    ASSERT_TRUE(CorvaneTest::WriteFileText(outside / "f.txt", "f"));
    ASSERT_TRUE(CorvaneTest::WriteFileText(outside / "deep/g.txt", "g"));
    fs::create_directory_symlink(outside.Path(), tree.strRoot + "/a/ext");
    ASSERT_TRUE(PackAll(tree.strRoot, tree.strStore, 2, 1));
    EXPECT_EQ((std::vector<std::string>{"a/ext/deep/g.txt", "a/ext/f.txt", "a/one.txt", "a/sub/two.txt"}),
              Lines(OpenStoreReader(tree.strStore)->OpenFileList()));
    fs::remove(tree.strRoot + "/a/ext");

    // The walk keeps directories open to open the ones inside by name: after a
    // build none is left open, with links and many levels in the tree.
    {
        const auto OpenDescriptors = []
        { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
        CorvaneTest::TempDir deep;
        std::string strRel = "src";
        for (int i = 0; i < 40; ++i)
        {
            strRel += "/d" + std::to_string(i % 3);
            ASSERT_TRUE(CorvaneTest::WriteFileText(deep / (strRel + "/f.txt"), std::to_string(i)));
        }
        fs::create_directory_symlink(deep / "src/d0/d1", deep / "src/link");
        ASSERT_TRUE(PackAll(deep / "src", deep / "warm", 1, 4)); // the log and pools settle
        const auto uBefore = OpenDescriptors();
        ASSERT_TRUE(PackAll(deep / "src", deep / "store", 1, 4));
        EXPECT_EQ(uBefore, OpenDescriptors());
    }

    // A directory reached both through a link and by its own path is walked
    // once, under the shallower path, whichever way the threads first came to
    // it (with one thread the deeper path is listed first here).
    {
        CorvaneTest::TempDir two;
        ASSERT_TRUE(CorvaneTest::WriteFileText(two / "src/z/g.txt", "g"));
        ASSERT_TRUE(CorvaneTest::WriteFileText(two / "src/z/x/y/f.txt", "f"));
        fs::create_directory_symlink(two / "src/z/x", two / "src/a");
        const std::vector<std::string> vecExpected{"a/y/f.txt", "z/g.txt"};
        for (const uint32_t uThreads : {1u, 4u})
        {
            const std::string strStore = two / ("store" + std::to_string(uThreads));
            ASSERT_TRUE(PackAll(two / "src", strStore, 1, uThreads));
            EXPECT_EQ(vecExpected, Lines(OpenStoreReader(strStore)->OpenFileList())) << uThreads;
        }
    }

    {
        CorvaneTest::ScopedLogCapture log;
        // A name no store path may hold (a drive colon on Windows) is refused by name.
        tree.Add("odd/a:b.txt", "colon");
        EXPECT_FALSE(PackAll(tree.strRoot, tree.strStore, 3));
        EXPECT_TRUE(CorvaneTest::ScopedLogCapture::Contains("unsafe relative path: odd/a:b.txt"));
        EXPECT_EQ(2u, OpenStoreReader(tree.strStore)->GetWorkVersion());
        fs::remove_all(tree.strRoot + "/odd");
    }

    // A file too large for the 32-bit record fields is refused by name.
    CorvaneTest::ScopedLogCapture log;
    const std::string strHuge = tree.strRoot + "/a/huge.bin";
    {
        std::ofstream(strHuge).put('x');
    }
    fs::resize_file(strHuge, 0x100000000ull); // sparse: no disk space used
    EXPECT_FALSE(PackAll(tree.strRoot, tree.strStore, 3));
    EXPECT_TRUE(CorvaneTest::ScopedLogCapture::Contains("too large"));
    EXPECT_TRUE(CorvaneTest::ScopedLogCapture::Contains(strHuge));
    EXPECT_EQ(2u, OpenStoreReader(tree.strStore)->GetWorkVersion());
}

TEST_F(BuilderPack, PushBlockAndPushFileRules)
{
    Tree tree;
    for (const char* pcsz :
         {"a/x.txt", "a/sub/y.txt", "a/skip/z.txt", "a/skip/deep/w.txt", "b/v.txt", "c/u.txt", "top.txt"})
    {
        tree.Add(pcsz, pcsz);
    }
    const std::string& r = tree.strRoot;
    PackerPtr packer = NewPacker();
    EXPECT_FALSE(packer->Push((r + "/a").c_str())); // before SetEnv
    const CORVANE_PAK_OPTION opt = Options(1);
    ASSERT_TRUE(packer->SetEnv(r.c_str(), tree.strStore.c_str(), &opt));
    EXPECT_FALSE(packer->SetEnv(r.c_str(), tree.strStore.c_str(), &opt));
    EXPECT_FALSE(packer->Block((r + "/a/skip").c_str())); // no Push yet
    EXPECT_FALSE(packer->Push("relative/dir"));
    EXPECT_FALSE(packer->Push((r + "/../elsewhere").c_str()));
    EXPECT_FALSE(packer->PushFile((r + "/missing.txt").c_str()));
    EXPECT_FALSE(packer->PushFile((tree.dir.Path() + "/outside.txt").c_str()));

    ASSERT_TRUE(packer->PushFile((r + "/a/x.txt").c_str())); // later covered by the Push of a
    ASSERT_TRUE(packer->Push((r + "/a/sub").c_str()));
    ASSERT_TRUE(packer->Push((r + "/a").c_str()));      // replaces a/sub
    ASSERT_TRUE(packer->Push((r + "/a/sub/").c_str())); // already covered
    ASSERT_TRUE(packer->Block((r + "/a/skip").c_str()));
    ASSERT_TRUE(packer->Block((r + "/b").c_str()));              // covered by no entry: no effect
    ASSERT_TRUE(packer->PushFile((r + "/a/sub/y.txt").c_str())); // inside a pushed directory
    ASSERT_TRUE(packer->PushFile((r + "/top.txt").c_str()));
    ASSERT_TRUE(packer->PushFile((r + "/./c/../top.txt").c_str())); // the same file again
    ASSERT_TRUE(packer->Do());
    EXPECT_FALSE(packer->Do()); // a published version is never built over

    ReaderPtr reader = OpenStoreReader(tree.strStore);
    EXPECT_EQ((std::vector<std::string>{"a/sub/y.txt", "a/x.txt", "top.txt"}), Lines(reader->OpenFileList()));
    EXPECT_EQ("a/x.txt", ReadBack(reader.get(), "a/x.txt"));
}

TEST_F(BuilderPack, StoreInsideTheRootIsNotPacked)
{
    Tree tree;
    tree.Add("f.txt", "f");
    const std::string strStore = tree.strRoot + "/out/store";
    ASSERT_TRUE(PackAll(tree.strRoot, strStore, 1));
    tree.Add("g.txt", "g");
    ASSERT_TRUE(PackAll(tree.strRoot, strStore, 2));
    ReaderPtr reader = OpenStoreReader(strStore);
    EXPECT_EQ((std::vector<std::string>{"f.txt", "g.txt"}), Lines(reader->OpenFileList()));
}
