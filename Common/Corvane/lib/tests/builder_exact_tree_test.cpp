// SPDX-License-Identifier: MIT
// A version holds exactly the tree it was built from: release trees unpacked
// from archives (one fixed time for every file), copies that keep times, and
// entries that are not plain files.
#include "support/MemoryAndLog.h"
#include "support/NetTestUtil.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace NSCorvane;
using CorvaneTest::Lines;
using CorvaneTest::TempDir;

namespace
{

std::string Bytes(size_t uSize, uint32_t uSeed)
{
    return CorvaneTest::RandomBytes(uSize, uSeed);
}

std::string ReadBack(IPemCorvaneReader* pReader, const std::string& strPath)
{
    IFile* pif = pReader->OpenFile(strPath.c_str(), -1);
    return pif ? CorvaneTest::TakeContent(pif) : "<missing>";
}

struct Notes
{
    std::vector<std::pair<uint32_t, std::string>> vecNotes;
    static void On(void* pv, uint32_t uNote, const char* pcszPath, const char* pcszDetail)
    {
        std::string strText = pcszPath;
        if (*pcszDetail && CPN_SKIPPED == uNote)
        {
            strText += std::string(": ") + pcszDetail;
        }
        static_cast<Notes*>(pv)->vecNotes.emplace_back(uNote, strText);
    }
    std::vector<std::string> Of(uint32_t uNote) const
    {
        std::vector<std::string> vec;
        for (const auto& note : vecNotes)
        {
            if (note.first == uNote)
            {
                vec.push_back(note.second);
            }
        }
        return vec;
    }
};

class ExactTree : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { g_InitCorvaneManager(nullptr, nullptr); }

    TempDir m_dir;
    const std::string m_strRoot = m_dir / "release";
    const std::string m_strStore = m_dir / "store";
    CORVANE_PACK_SUMMARY m_summary;
    Notes m_notes;

    bool Pack(uint32_t uVer, uint32_t uFlags = 0)
    {
        CorvaneTest::PackerPtr packer = CorvaneTest::NewPacker();
        CORVANE_PAK_OPTION opt;
        opt.nToVersion = uVer;
        opt.nTreadCount = 2;
        opt.nCompressLevel = 1;
        m_notes.vecNotes.clear();
        m_summary = CORVANE_PACK_SUMMARY();
        return g_SetCorvanePackerFlags(packer.get(), uFlags) &&
               g_SetCorvanePackerNotes(packer.get(), &Notes::On, &m_notes) &&
               packer->SetEnv(m_strRoot.c_str(), m_strStore.c_str(), &opt) &&
               packer->Push(m_strRoot.c_str()) && packer->Do() &&
               g_GetCorvanePackSummary(packer.get(), &m_summary);
    }

    // Unpacks a release the way tar does: every file made anew, all with the
    // archive's one time.
    void Unpack(const std::map<std::string, std::string>& mapRelease)
    {
        fs::remove_all(m_strRoot);
        for (const auto& it : mapRelease)
        {
            const std::string strFile = m_strRoot + "/" + it.first;
            fs::create_directories(fs::path(strFile).parent_path());
            ASSERT_TRUE(CorvaneTest::WriteFileText(strFile, it.second));
            fs::last_write_time(strFile, ArchiveTime());
        }
    }
    static fs::file_time_type ArchiveTime()
    {
        // Archives of a release series commonly carry one fixed date.
        static const fs::file_time_type t = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
        return t;
    }
    void ExpectVersionHolds(uint32_t uVer, const std::map<std::string, std::string>& mapRelease)
    {
        CorvaneTest::ReaderPtr reader = CorvaneTest::OpenStoreReader(m_strStore, uVer);
        ASSERT_TRUE(reader);
        std::vector<std::string> vecNames;
        for (const auto& it : mapRelease)
        {
            vecNames.push_back(it.first);
            EXPECT_TRUE(it.second == ReadBack(reader.get(), it.first))
                << "version " << uVer << ": " << it.first;
        }
        EXPECT_EQ(vecNames, Lines(reader->OpenFileList()));
    }
};

} // namespace

TEST_F(ExactTree, ReleasesUnpackedWithOneFixedTimeAreStoredAsTheyAre)
{
    // Two releases whose changed files keep their sizes: a small script and a
    // large binary with two bytes changed, among unchanged files.
    std::map<std::string, std::string> mapRelease;
    mapRelease["bin/tool.so"] = Bytes(3 << 20, 1);
    mapRelease["scripts/run.js"] = "console.log('release 1');";
    for (int i = 0; i < 30; ++i)
    {
        mapRelease["lib/f" + std::to_string(i) + ".js"] = Bytes(1000 + i, 100 + i);
    }
    Unpack(mapRelease);
    ASSERT_TRUE(Pack(1));
    EXPECT_EQ(32u, m_summary.uAdded);

    std::map<std::string, std::string> mapNext = mapRelease;
    mapNext["bin/tool.so"][1234567] ^= 0x5a;
    mapNext["bin/tool.so"][3000000] ^= 0x01;
    mapNext["scripts/run.js"] = "console.log('release 2');";
    Unpack(mapNext);
    ASSERT_TRUE(Pack(2));
    ExpectVersionHolds(2, mapNext);
    ExpectVersionHolds(1, mapRelease);
    EXPECT_EQ(2u, m_summary.uChanged);
    EXPECT_EQ(30u, m_summary.uSameByHash); // new files to the cache: read, found the same
    EXPECT_EQ(0u, m_summary.uSameByStat);

    // Changed in place: the same file, its write time put back.
    std::map<std::string, std::string> mapThird = mapNext;
    mapThird["bin/tool.so"][42] ^= 0x7f;
    {
        const std::string strFile = m_strRoot + "/bin/tool.so";
        const int nFd = ::open(strFile.c_str(), O_WRONLY);
        ASSERT_GE(nFd, 0);
        ASSERT_EQ(1, ::pwrite(nFd, &mapThird["bin/tool.so"][42], 1, 42));
        ::close(nFd);
        fs::last_write_time(strFile, ArchiveTime());
    }
    // Replaced by a copy that keeps size and time (cp -p, rsync -t): another inode.
    mapThird["lib/f3.js"] = Bytes(1003, 999);
    {
        const std::string strCopy = m_dir / "copy.js";
        ASSERT_TRUE(CorvaneTest::WriteFileText(strCopy, mapThird["lib/f3.js"]));
        fs::last_write_time(strCopy, ArchiveTime());
        fs::rename(strCopy, m_strRoot + "/lib/f3.js");
    }
    ASSERT_TRUE(Pack(3));
    ExpectVersionHolds(3, mapThird);
    EXPECT_EQ(2u, m_summary.uChanged);
    EXPECT_EQ(30u, m_summary.uSameByStat);

    // Untouched: nothing is read, nothing stored.
    ASSERT_TRUE(Pack(4));
    EXPECT_EQ(32u, m_summary.uSameByStat);
    EXPECT_EQ(0u, m_summary.uSameByHash + m_summary.uChanged + m_summary.uAdded + m_summary.uRemoved);
    EXPECT_EQ(0u, m_summary.uBytesStored);

    // --rehash reads every file once, and finds them the same.
    ASSERT_TRUE(Pack(5, CORVANE_PACK_REHASH));
    EXPECT_EQ(0u, m_summary.uSameByStat);
    EXPECT_EQ(32u, m_summary.uSameByHash);
    ExpectVersionHolds(5, mapThird);
}

TEST_F(ExactTree, TheCacheVouchesOnlyForWhatItCanTell)
{
    std::map<std::string, std::string> mapRelease;
    for (int i = 0; i < 8; ++i)
    {
        mapRelease["f" + std::to_string(i)] = Bytes(100, i);
    }
    Unpack(mapRelease);
    ASSERT_TRUE(Pack(1));

    // A cache of the older three-column form vouches for nothing: the first
    // build after it reads every file once, the next one none.
    const std::string strCache = m_strStore + "/_tmp/packer_filestat";
    std::string strOld;
    {
        // The name hashes as the library makes them: from the cache it wrote.
        std::vector<unsigned char> vecNew = CorvaneTest::ReadFileBytes(strCache);
        const std::string strNew(vecNew.begin(), vecNew.end());
        size_t uAt = 0;
        while (uAt < strNew.size())
        {
            const size_t uEnd = strNew.find("\r\n", uAt);
            ASSERT_NE(std::string::npos, uEnd);
            std::vector<std::string> vecField;
            size_t uField = uAt;
            for (size_t uSpace; (uSpace = strNew.find(' ', uField)) < uEnd; uField = uSpace + 1)
            {
                vecField.push_back(strNew.substr(uField, uSpace - uField));
            }
            vecField.push_back(strNew.substr(uField, uEnd - uField));
            ASSERT_EQ(6u, vecField.size());
            strOld += vecField[0] + " " + vecField[1] + " " + vecField[2] + "\r\n";
            uAt = uEnd + 2;
        }
    }
    ASSERT_TRUE(CorvaneTest::WriteFileText(strCache, strOld));
    ASSERT_TRUE(Pack(2));
    EXPECT_EQ(0u, m_summary.uSameByStat);
    EXPECT_EQ(8u, m_summary.uSameByHash);
    ASSERT_TRUE(Pack(3));
    EXPECT_EQ(8u, m_summary.uSameByStat);

    // A file written no earlier than the cache is racy: it may have changed
    // within one tick of the clock, so its stat proves nothing; it is read
    // each time until the cache is younger than it.
    const fs::file_time_type tFuture = fs::file_time_type::clock::now() + std::chrono::hours(1);
    fs::last_write_time(m_strRoot + "/f2", tFuture);
    ASSERT_TRUE(Pack(4));
    EXPECT_EQ(7u, m_summary.uSameByStat);
    ASSERT_TRUE(Pack(5));
    EXPECT_EQ(7u, m_summary.uSameByStat);
    EXPECT_EQ(1u, m_summary.uSameByHash);
    ExpectVersionHolds(5, mapRelease);
}

TEST_F(ExactTree, NotesNameWhatEachVersionChanged)
{
    std::map<std::string, std::string> mapRelease{{"a/keep", "k"}, {"a/gone", "g"}, {"b/edit", "1"}};
    Unpack(mapRelease);
    ASSERT_TRUE(Pack(1));
    EXPECT_EQ((std::vector<std::string>{"a/gone", "a/keep", "b/edit"}), m_notes.Of(CPN_ADDED));

    std::map<std::string, std::string> mapNext{{"a/keep", "k"}, {"b/edit", "2"}, {"c/new", "n"}};
    Unpack(mapNext);
    ASSERT_TRUE(Pack(2));
    EXPECT_EQ((std::vector<std::string>{"c/new"}), m_notes.Of(CPN_ADDED));
    EXPECT_EQ((std::vector<std::string>{"b/edit"}), m_notes.Of(CPN_CHANGED));
    EXPECT_EQ((std::vector<std::string>{"a/gone"}), m_notes.Of(CPN_REMOVED));
    EXPECT_EQ((std::vector<std::string>{"a/keep"}), m_notes.Of(CPN_SAME_BY_HASH));
    EXPECT_EQ(1u, m_summary.uAdded);
    EXPECT_EQ(1u, m_summary.uChanged);
    EXPECT_EQ(1u, m_summary.uRemoved);
    EXPECT_EQ(1u, m_summary.uSameByHash);
}

TEST_F(ExactTree, LinksAndSpecialFilesAreNeverLeftOutUnsaid)
{
    TempDir outside;
    ASSERT_TRUE(CorvaneTest::WriteFileText(outside / "secret", "outside"));
    std::map<std::string, std::string> mapRelease{{"lib/lib.so.1", Bytes(5000, 7)}, {"readme", "r"}};
    Unpack(mapRelease);
    fs::create_symlink("lib.so.1", m_strRoot + "/lib/lib.so");
    fs::create_symlink(outside / "secret", m_strRoot + "/lib/escape");
    fs::create_symlink("missing", m_strRoot + "/lib/dangling");
    ASSERT_EQ(0, ::mkfifo((m_strRoot + "/pipe").c_str(), 0600));
    const std::string strSocket = m_strRoot + "/sock";
    const int nSock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(nSock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(strSocket.size(), sizeof(addr.sun_path));
    std::strcpy(addr.sun_path, strSocket.c_str());
    ASSERT_EQ(0, ::bind(nSock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    const bool bDevice = 0 == ::mknod((m_strRoot + "/null").c_str(), S_IFCHR | 0600, makedev(1, 3));

    {
        // Each is named with its reason, and no version is written.
        CorvaneTest::ScopedLogCapture log;
        EXPECT_FALSE(Pack(1));
        EXPECT_TRUE(log.Contains("cannot pack " + m_strRoot + "/pipe: a named pipe"));
        EXPECT_TRUE(log.Contains("cannot pack " + m_strRoot + "/sock: a socket"));
        EXPECT_TRUE(log.Contains("cannot pack " + m_strRoot + "/lib/dangling: a symbolic link to nothing"));
        EXPECT_TRUE(log.Contains("cannot pack " + m_strRoot +
                                 "/lib/escape: a symbolic link to a file outside the packed tree"));
        EXPECT_TRUE(!bDevice || log.Contains("cannot pack " + m_strRoot + "/null: a device"));
        EXPECT_FALSE(fs::exists(m_strStore + "/idx/_lastver"));
    }

    // Skipped on request, each with a note; the link inside the tree is packed
    // as its target's content.
    ASSERT_TRUE(Pack(1, CORVANE_PACK_SKIP_SPECIAL));
    std::vector<std::string> vecSkipped{"lib/dangling: a symbolic link to nothing",
                                        "lib/escape: a symbolic link to a file outside the packed tree (" +
                                            fs::canonical(outside / "secret").string() + ")",
                                        "pipe: a named pipe", "sock: a socket"};
    if (bDevice)
    {
        vecSkipped.insert(vecSkipped.begin() + 2, "null: a device");
    }
    EXPECT_EQ(vecSkipped, m_notes.Of(CPN_SKIPPED));
    EXPECT_EQ((std::vector<std::string>{"lib/lib.so"}), m_notes.Of(CPN_LINK_AS_FILE));
    EXPECT_EQ(vecSkipped.size(), m_summary.uSkipped);
    EXPECT_EQ(1u, m_summary.uLinksAsFiles);
    mapRelease["lib/lib.so"] = mapRelease["lib/lib.so.1"];
    ExpectVersionHolds(1, mapRelease);

    // The link now leads to another file of the same size and time: its own
    // stat says nothing of that, so it is read again.
    mapRelease["lib/lib.so.2"] = Bytes(5000, 8);
    ASSERT_TRUE(CorvaneTest::WriteFileText(m_strRoot + "/lib/lib.so.2", mapRelease["lib/lib.so.2"]));
    fs::last_write_time(m_strRoot + "/lib/lib.so.2", ArchiveTime());
    fs::remove(m_strRoot + "/lib/lib.so");
    fs::create_symlink("lib.so.2", m_strRoot + "/lib/lib.so");
    mapRelease["lib/lib.so"] = mapRelease["lib/lib.so.2"];
    ASSERT_TRUE(Pack(2, CORVANE_PACK_SKIP_SPECIAL));
    ExpectVersionHolds(2, mapRelease);
    ::close(nSock);
}
