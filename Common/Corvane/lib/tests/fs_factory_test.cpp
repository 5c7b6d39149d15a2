// SPDX-License-Identifier: MIT
#include "fs/PemFileStreamFactory.h"
#include "fs/PemStreamFileSysImpl.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <Corvane/CorvaneRecords.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

using namespace NSCorvane;
using CorvaneTest::TempDir;
using CorvaneTest::WriteFileText;

namespace
{

// The content of the file that Open finds, "" when none.
std::string OpenText(PemFileStreamFactory& factory, const char* pcszPath, int nOption)
{
    IFile* pFile = factory.Open(pcszPath, nOption);
    if (!pFile)
    {
        return "";
    }
    const char* p = static_cast<const char*>(pFile->GetBuffer());
    std::string strText = p ? std::string(p, pFile->Size()) : "<no buffer>";
    pFile->Release();
    return strText;
}

// Two local roots and one remote source (a local directory standing in for it).
class FactoryRouting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteFileText(m_local1 / "local.txt", "L1");
        WriteFileText(m_local1 / "both.txt", "L1-both");
        WriteFileText(m_local2 / "second.txt", "L2");
        WriteFileText(m_local2 / "local.txt", "L2-shadowed");
        WriteFileText(m_remote / "remote.txt", "R");
        WriteFileText(m_remote / "both.txt", "R-both");
        ASSERT_TRUE(m_factory.SetupByRootDir(m_local1.Path().c_str()));
        ASSERT_TRUE(m_factory.SetupByRootDir(m_local2.Path().c_str()));
        m_factory.AddRemote(PemStreamFileSysImpl::Create(m_remote.Path().c_str()));
    }

    CorvaneTest::LogCapture m_log;
    TempDir m_local1;
    TempDir m_local2;
    TempDir m_remote;
    PemFileStreamFactory m_factory;
};

} // namespace

TEST_F(FactoryRouting, EveryOptionRoutesAsItsBitsSay)
{
    struct Case
    {
        int nOption;
        const char* pcszLocal;  // local.txt
        const char* pcszSecond; // second.txt
        const char* pcszRemote; // remote.txt
        const char* pcszBoth;   // both.txt
    };
    const Case cases[] = {
        {SHO_LocalOnly, "L1", "L2", "", "L1-both"},
        {SHO_RemoteOnly, "", "", "R", "R-both"},
        {SHO_LocalFirst, "L1", "L2", "R", "L1-both"},
        {SHO_RemoteFirst, "L1", "L2", "R", "R-both"},
        {0, "L1", "L2", "R", "L1-both"},
        {-1, "L1", "L2", "R", "L1-both"},
        {0x1, "", "", "", ""},
        {SHO_LocalOnly | SHO_RemoteOnly, "L1", "L2", "", "L1-both"},
        {SHO_RemoteOnly | SHO_LocalFirst, "", "", "R", "R-both"},
        {SHO_LocalFirst | SHO_RemoteFirst, "L1", "L2", "R", "L1-both"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.nOption);
        EXPECT_EQ(c.pcszLocal, OpenText(m_factory, "local.txt", c.nOption));
        EXPECT_EQ(c.pcszSecond, OpenText(m_factory, "second.txt", c.nOption));
        EXPECT_EQ(c.pcszRemote, OpenText(m_factory, "remote.txt", c.nOption));
        EXPECT_EQ(c.pcszBoth, OpenText(m_factory, "both.txt", c.nOption));
        EXPECT_EQ(*c.pcszRemote != 0, m_factory.Exists("remote.txt", c.nOption));
        EXPECT_EQ(*c.pcszLocal != 0, m_factory.Exists("local.txt", c.nOption));
        EXPECT_FALSE(m_factory.Exists("missing.txt", c.nOption));
    }
}

TEST_F(FactoryRouting, ReleaseShutsRemotesDownFirst)
{
    int nShutdowns = 0;
    size_t uFileSystemsAtShutdown = 0;
    m_factory.AddRemote(PemStreamFileSysImpl::Create(m_remote.Path().c_str()),
                        [&]
                        {
                            ++nShutdowns;
                            uFileSystemsAtShutdown = m_factory.RemoteFileSystems().size();
                        });
    EXPECT_TRUE(m_factory.Release());
    EXPECT_EQ(1, nShutdowns);
    EXPECT_EQ(2u, uFileSystemsAtShutdown);
    EXPECT_TRUE(m_factory.LocalFileSystems().empty());
    EXPECT_EQ("", OpenText(m_factory, "local.txt", 0));
    EXPECT_TRUE(m_factory.Release());
    EXPECT_EQ(1, nShutdowns);
}

TEST(PemFileStreamFactory, WithoutRemotesRemoteFirstStillFindsLocalFiles)
{
    TempDir dir;
    WriteFileText(dir / "x.txt", "x");
    PemFileStreamFactory factory;
    ASSERT_TRUE(factory.SetupByRootDir(dir.Path().c_str()));
    EXPECT_EQ("x", OpenText(factory, "x.txt", SHO_RemoteFirst));
    EXPECT_EQ("", OpenText(factory, "x.txt", SHO_RemoteOnly));
    // No Release: the destructor must not leak the file system (checked under ASan).
}

TEST(PemFileStreamFactory, RootsMustFit)
{
    CorvaneTest::LogCapture log;
    PemFileStreamFactory factory;
    EXPECT_FALSE(factory.SetupByRootDir(""));
    EXPECT_FALSE(factory.SetupByRootDir(nullptr));
    EXPECT_TRUE(log.Contains("function=PemFileStreamFactory::SetupByRootDir"));
    EXPECT_TRUE(log.Contains("condition=pcszDir && *pcszDir"));
    log.Clear();
    EXPECT_FALSE(factory.SetupByRootDir(std::string(260, 'r').c_str()));
    EXPECT_TRUE(log.Contains("function=PemFileStreamFactory::SetupByRootDir"));
    EXPECT_TRUE(factory.SetupByRootDir(std::string(259, 'r').c_str()));
    ASSERT_EQ(1u, factory.LocalFileSystems().size());
    EXPECT_EQ(std::string(259, 'r'), factory.LocalFileSystems()[0]->GetRootDir());
    EXPECT_EQ(nullptr, PemStreamFileSysImpl::Create(std::string(260, 'r').c_str()));
}

TEST(PemStreamFileSysImpl, AbsolutePathsIgnoreTheRoot)
{
    CorvaneTest::LogCapture log; // the current directory is the capture's own directory
    TempDir root;
    TempDir other;
    WriteFileText(other / "abs.txt", "absolute");
    PemFileStreamFactory factory;
    ASSERT_TRUE(factory.SetupByRootDir(root.Path().c_str()));
    EXPECT_EQ("absolute", OpenText(factory, (other / "abs.txt").c_str(), 0));
    EXPECT_TRUE(factory.Exists((other / "abs.txt").c_str(), 0));
    // A path with ':' is taken as given (a drive path on Windows).
    if (std::filesystem::path("d:x").has_root_name())
    {
        GTEST_SKIP() << "\"d:x\" names drive D: here; no file of that name can be made to open";
    }
    WriteFileText(log.Dir() / "d:x", "colon");
    WriteFileText(root / "d:x", "wrong");
    EXPECT_EQ("colon", OpenText(factory, "d:x", 0));
}
