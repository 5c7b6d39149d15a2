// SPDX-License-Identifier: MIT
#include "fs/CorvaneFiles.h"
#include "fs/PemStreamBufferFile.h"
#include "fs/PemStreamFileSysImpl.h"
#include "net/PemSharedBodyFile.h"
#include "support/LogCapture.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace NSCorvane;
using CorvaneTest::FileExists;
using CorvaneTest::FilePtr;
using CorvaneTest::ListDir;
using CorvaneTest::ReadFileBytes;
using CorvaneTest::TempDir;
using CorvaneTest::WriteFileText;

namespace
{

// The in-memory files: a copy of a buffer, and a view of a body that
// several files share, each with its own position.
using MakeFile = IFile* (*)(const std::vector<uint8_t>&);
IFile* MakeBufferFile(const std::vector<uint8_t>& vec)
{
    return PemStreamBufferFile::CreateCopy(vec.data(), static_cast<uint32_t>(vec.size()));
}
IFile* MakeSharedBodyFile(const std::vector<uint8_t>& vec)
{
    return PemSharedBodyFile::Create(std::make_shared<const std::string>(vec.begin(), vec.end()));
}

} // namespace

class MemoryFile : public ::testing::TestWithParam<MakeFile>
{
};

INSTANTIATE_TEST_SUITE_P(Kinds, MemoryFile, ::testing::Values(&MakeBufferFile, &MakeSharedBodyFile));

TEST_P(MemoryFile, ReadIsAllOrNothingAndSeekClampsToTheContent)
{
    std::vector<uint8_t> vecData(100);
    for (size_t i = 0; i < vecData.size(); ++i)
    {
        vecData[i] = static_cast<uint8_t>(i);
    }
    FilePtr file(GetParam()(vecData));
    ASSERT_TRUE(file);
    uint8_t buf[10] = {};
    EXPECT_EQ(95, file->Seek(95, 0));
    EXPECT_EQ(0, file->Read(buf, 10));
    EXPECT_EQ(95, file->Tell());
    EXPECT_EQ(5, file->Read(buf, 5));
    EXPECT_EQ(99, buf[4]);
    EXPECT_EQ(0, file->Read(buf, 1));
    EXPECT_EQ(0, file->Write(buf, 1));
    EXPECT_EQ(90, file->Seek(-10, 2));
    EXPECT_EQ(100, file->Seek(-1, 0)); // before the start lands at the end
    EXPECT_EQ(100, file->Seek(500, 1));
    EXPECT_EQ(40, file->Seek(-60, 1));
    EXPECT_EQ(100, file->Seek(0, 7)); // unknown origin targets the size
    file->Close();
    EXPECT_EQ(-1, file->Seek(0, 0));
    EXPECT_EQ(nullptr, file->GetBuffer());
    EXPECT_EQ(0u, file->Size());
    EXPECT_EQ(0, file->Read(buf, 1));

    FilePtr empty(GetParam()({}));
    ASSERT_TRUE(empty);
    EXPECT_NE(nullptr, empty->GetBuffer());
    EXPECT_EQ(0, empty->Seek(-5, 1));
}

TEST(PemSharedBodyFile, FilesOfOneBodyKeepTheirOwnPosition)
{
    auto spBody = std::make_shared<const std::string>(100, 'q');
    FilePtr a(PemSharedBodyFile::Create(spBody));
    FilePtr b(PemSharedBodyFile::Create(spBody));
    ASSERT_TRUE(a && b);
    char buf[10];
    EXPECT_EQ(a->Seek(90, 0), 90);
    EXPECT_EQ(b->Tell(), 0);
    EXPECT_EQ(a->GetBuffer(), b->GetBuffer()); // one body, no copies
    a->Close();
    EXPECT_EQ(b->Read(buf, 10), 10); // the other file still reads
}

TEST(PemStreamHandleFile, ReadsSeeksAndLoadsWholeContent)
{
    CorvaneTest::LogCapture log;
    TempDir dir;
    WriteFileText(dir / "empty.bin", "");
    WriteFileText(dir / "data.bin", "0123456789");
    PemStreamFileSysImpl* pFs = PemStreamFileSysImpl::Create(dir.Path().c_str());
    ASSERT_NE(nullptr, pFs);

    FilePtr empty(pFs->Open("empty.bin", 0));
    ASSERT_TRUE(empty);
    EXPECT_NE(nullptr, empty->GetBuffer());
    EXPECT_EQ(0u, empty->Size());
    EXPECT_EQ(0, empty->Tell());

    FilePtr data(pFs->Open("data.bin", 0));
    ASSERT_TRUE(data);
    char buf[4] = {};
    EXPECT_EQ(3, data->Read(buf, 3));
    const char* pContent = static_cast<const char*>(data->GetBuffer());
    ASSERT_NE(nullptr, pContent);
    EXPECT_EQ("0123456789", std::string(pContent, 10));
    EXPECT_EQ(3, data->Tell()); // the caller's position survives GetBuffer
    EXPECT_EQ(4, data->Read(buf, 4));
    EXPECT_EQ("3456", std::string(buf, 4));
    EXPECT_EQ(8, data->Seek(-2, 2));
    EXPECT_EQ(10u, data->Size());
    EXPECT_EQ(0, data->Write("x", 1));
    EXPECT_TRUE(log.Contains("function=PemStreamHandleFile::Write"));

    data->Close();
    EXPECT_EQ(0, data->Read(buf, 1));
    EXPECT_EQ(-1, data->Seek(0, 0));
    EXPECT_EQ(0u, data->Size());
    EXPECT_EQ(nullptr, data->GetBuffer());

    EXPECT_EQ(nullptr, pFs->Open("missing.bin", 0));
    EXPECT_EQ(nullptr, pFs->Open("", 0)); // the root directory itself is no file
    pFs->Release();
}

TEST(CorvaneFiles, ExistsAndDelete)
{
    CorvaneTest::LogCapture log;
    TempDir dir;
    WriteFileText(dir / "f", "x");
    EXPECT_TRUE(CorvaneUtil::SysExisted((dir / "f").c_str()));
    EXPECT_TRUE(CorvaneUtil::SysExisted(dir.Path().c_str()));
    EXPECT_FALSE(CorvaneUtil::SysExisted((dir / "missing").c_str()));
    EXPECT_FALSE(CorvaneUtil::SysExisted(""));

    EXPECT_TRUE(CorvaneUtil::SysDelete((dir / "missing").c_str()));
    EXPECT_TRUE(CorvaneUtil::SysDelete((dir / "f").c_str()));
    EXPECT_FALSE(FileExists(dir / "f"));
    EXPECT_FALSE(CorvaneUtil::SysDelete(nullptr));
    EXPECT_TRUE(log.Contains("condition=pcszFileName && *pcszFileName"));
}

TEST(CorvaneFiles, DiskWriteReplacesAndCreatesParents)
{
    CorvaneTest::LogCapture log;
    TempDir dir;
    const std::string strTarget = dir / "a/b/target.bin";
    FilePtr content(PemStreamBufferFile::CreateCopy("new content", 11));
    ASSERT_TRUE(CorvaneUtil::DiskWrite(content.get(), strTarget.c_str()));
    EXPECT_EQ("new content", CorvaneTest::ReadFileText(strTarget));

    ASSERT_TRUE(CorvaneUtil::DiskWriteBytes("v2", 2, strTarget.c_str()));
    EXPECT_EQ("v2", CorvaneTest::ReadFileText(strTarget));
    ASSERT_TRUE(CorvaneUtil::DiskWriteBytes(nullptr, 0, strTarget.c_str()));
    EXPECT_EQ("", CorvaneTest::ReadFileText(strTarget));
    EXPECT_EQ(std::vector<std::string>{"target.bin"}, ListDir(dir / "a/b"));

    EXPECT_FALSE(CorvaneUtil::DiskWrite(nullptr, strTarget.c_str()));
    EXPECT_FALSE(CorvaneUtil::DiskWrite(content.get(), ""));
    EXPECT_TRUE(log.Contains("function=CorvaneUtil::DiskWrite line="));

    // A cache file is replaced the same way, only without the flushes.
    const std::string strCached = dir / "cache/dat/v1/0/0.dat";
    ASSERT_TRUE(CorvaneUtil::CacheWriteBytes("first", 5, strCached.c_str()));
    ASSERT_TRUE(CorvaneUtil::CacheWriteBytes("second", 6, strCached.c_str()));
    EXPECT_EQ("second", CorvaneTest::ReadFileText(strCached));
    EXPECT_EQ(std::vector<std::string>{"0.dat"}, ListDir(dir / "cache/dat/v1/0"));
}

TEST(CorvaneFiles, AWriteRemovesWhatAKilledWriterLeftBesideIt)
{
    TempDir dir;
    // A writer that died between creating its temporary file and the rename.
    const pid_t pid = ::fork();
    ASSERT_NE(-1, pid);
    if (pid == 0)
    {
        const std::string strName =
            dir / ("_lastver." + std::to_string(::getpid()) + ".1796647178655.3815.tmp");
        ::_exit(WriteFileText(strName, "half") ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &nStatus, 0));
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    const std::string strDead = "_lastver." + std::to_string(pid) + ".1796647178655.3815.tmp";
    ASSERT_TRUE(FileExists(dir / strDead));
    // Running writers' files (ours, and pid 1's) and other names stay.
    const std::string strOurs = "a.bin." + std::to_string(::getpid()) + ".1.2.tmp";
    for (const std::string& strName : {strOurs, std::string("b.bin.1.1.2.tmp"), std::string("notes.tmp"),
                                       std::string("c.bin.x.1.2.tmp"), std::string("d.bin.0.1.2.tmp")})
        WriteFileText(dir / strName, "kept");

    ASSERT_TRUE(CorvaneUtil::CacheWriteBytes("v", 1, (dir / "_lastver").c_str()));
    EXPECT_EQ((std::vector<std::string>{"_lastver", strOurs, "b.bin.1.1.2.tmp", "c.bin.x.1.2.tmp",
                                        "d.bin.0.1.2.tmp", "notes.tmp"}),
              ListDir(dir.Path()));
}

// Both ways of replacing a file: flushed (store, working path) and cache.
class FailedWrite : public ::testing::TestWithParam<bool>
{
protected:
    static bool Write(const void* pData, uint64_t uSize, const char* pcszFile)
    {
        return GetParam() ? CorvaneUtil::CacheWriteBytes(pData, uSize, pcszFile)
                          : CorvaneUtil::DiskWriteBytes(pData, uSize, pcszFile);
    }
};

INSTANTIATE_TEST_SUITE_P(CorvaneFiles, FailedWrite, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return info.param ? "Cache" : "Flushed"; });

TEST_P(FailedWrite, LeavesTargetAndNoTemporary)
{
    CorvaneTest::LogCapture log;
    TempDir dir;
    // The move fails: the target is a directory.
    const std::string strDirTarget = dir / "target";
    ASSERT_EQ(0, ::mkdir(strDirTarget.c_str(), 0755));
    WriteFileText(strDirTarget + "/inside", "kept");
    EXPECT_FALSE(Write("data", 4, strDirTarget.c_str()));
    EXPECT_EQ("kept", CorvaneTest::ReadFileText(strDirTarget + "/inside"));
    EXPECT_EQ(std::vector<std::string>{"target"}, ListDir(dir.Path()));

    // The parent cannot be created: a file stands where a directory must go.
    WriteFileText(dir / "blocker", "b");
    EXPECT_FALSE(Write("data", 4, (dir / "blocker/x").c_str()));
    EXPECT_EQ("b", CorvaneTest::ReadFileText(dir / "blocker"));

    // The write itself fails halfway: a child process whose file size limit is
    // smaller than the content.
    const std::string strTarget = dir / "file.bin";
    WriteFileText(strTarget, "old");
    pid_t pid = ::fork();
    ASSERT_NE(-1, pid);
    if (pid == 0)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<char> vecBig(4096, 'n');
        bool bWritten = Write(vecBig.data(), vecBig.size(), strTarget.c_str());
        ::_exit(bWritten ? 1 : 0);
    }
    int nStatus = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &nStatus, 0));
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(0, WEXITSTATUS(nStatus)) << "the failed write was reported as success";
    EXPECT_EQ("old", CorvaneTest::ReadFileText(strTarget));
    EXPECT_EQ((std::vector<std::string>{"blocker", "file.bin", "target"}), ListDir(dir.Path()));
    EXPECT_TRUE(log.Contains("condition=uWrite == uSize"));
}
