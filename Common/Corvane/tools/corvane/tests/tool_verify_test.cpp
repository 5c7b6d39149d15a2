// SPDX-License-Identifier: MIT
// corvane verify --tree: a packed version against its source tree, from the
// store directory and from a real nginx serving it.
#include "ToolProcess.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace CorvaneTest;

namespace
{

std::string Content(size_t uSize, uint32_t uSeed)
{
    std::string strOut(uSize, '\0');
    uint32_t x = uSeed * 2654435761u + 7;
    for (char& c : strOut)
    {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return strOut;
}

// Changes one byte in place and puts the modification time back, so only the
// content tells the file changed.
void FlipByteKeepingTime(const std::string& strPath, long nOffset)
{
    struct stat st;
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    std::FILE* pFile = std::fopen(strPath.c_str(), "r+b");
    ASSERT_NE(pFile, nullptr);
    ASSERT_EQ(std::fseek(pFile, nOffset, SEEK_SET), 0);
    const int nByte = std::fgetc(pFile);
    ASSERT_EQ(std::fseek(pFile, nOffset, SEEK_SET), 0);
    std::fputc(nByte ^ 0x01, pFile);
    ASSERT_EQ(std::fclose(pFile), 0);
    const struct timespec aTimes[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, strPath.c_str(), aTimes, 0), 0);
    struct stat after;
    ASSERT_EQ(::stat(strPath.c_str(), &after), 0);
    ASSERT_EQ(after.st_size, st.st_size);
    ASSERT_EQ(after.st_mtim.tv_sec, st.st_mtim.tv_sec);
    ASSERT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
}

class CorvaneVerifyTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Upper case in the tree: the store keeps every name lower case.
        ASSERT_TRUE(WriteFileText(m_src / "Readme.TXT", "hello\n"));
        ASSERT_TRUE(WriteFileText(m_src / "empty.bin", ""));
        ASSERT_TRUE(WriteFileText(m_src / "Bin/Tool.exe", Content(200000, 1)));
        ASSERT_TRUE(WriteFileText(m_src / "bin/plugins/a.dll", Content(70000, 2)));
        ASSERT_TRUE(WriteFileText(m_src / "data/table.dat", Content(30000, 3)));
    }

    ToolRun Run(const std::vector<std::string>& vecArgs) { return RunCorvane(vecArgs, m_cwd.Path()); }

    void Pack(const std::string& strStore, uint32_t uVersion)
    {
        // A pipe in the tree is left out (with a warning) rather than failing the pack.
        const ToolRun pack =
            Run({"pack", "--root", m_src.Path(), "--store", strStore, "--version", std::to_string(uVersion),
                 "--level", "1", "--threads", "2", "--skip-special"});
        ASSERT_EQ(pack.nExit, 0) << pack.strErr;
    }

    std::string Equal(uint32_t uVersion, size_t uFiles) const
    {
        return "version " + std::to_string(uVersion) + " equals " + m_src.Path() + ": " +
               std::to_string(uFiles) + " files\n";
    }

    TempDir m_src;
    TempDir m_work;
    TempDir m_cwd;
};

} // namespace

TEST_F(CorvaneVerifyTree, EqualTreePassesAndEachDifferenceIsNamed)
{
    const std::string strStore = m_work / "store";
    Pack(strStore, 1);
    const auto Verify = [&](std::vector<std::string> vecExtra = {})
    {
        std::vector<std::string> vecArgs = {"verify", strStore, "--tree", m_src.Path()};
        vecArgs.insert(vecArgs.end(), vecExtra.begin(), vecExtra.end());
        return Run(vecArgs);
    };
    ToolRun run = Verify({"--version", "1"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, Equal(1, 5));

    // Names that differ from the store's only in case are the same file.
    fs::rename(m_src / "Readme.TXT", m_src / "README.txt");
    run = Verify();
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;

    // One byte, same size, same modification time: found by content.
    FlipByteKeepingTime(m_src / "Bin/Tool.exe", 123456);
    run = Verify();
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "differs: Bin/Tool.exe\n");
    EXPECT_NE(run.strErr.find("1 differ, 0 missing from the store, 0 extra"), std::string::npos)
        << run.strErr;
    // The byte back, under a new modification time: the same again.
    ASSERT_TRUE(WriteFileText(m_src / "Bin/Tool.exe", Content(200000, 1)));
    EXPECT_EQ(Verify().nExit, 0);
    // A grown file differs by size alone.
    ASSERT_TRUE(WriteFileText(m_src / "empty.bin", "x"));
    run = Verify();
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "differs: empty.bin\n");
    ASSERT_TRUE(WriteFileText(m_src / "empty.bin", ""));

    ASSERT_TRUE(WriteFileText(m_src / "bin/New.txt", "new"));
    run = Verify();
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "missing: bin/New.txt\n");
    fs::remove(m_src / "bin/New.txt");

    fs::remove(m_src / "data/table.dat");
    run = Verify();
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "extra: data/table.dat\n");

    // The latest version unless --version says otherwise.
    Pack(strStore, 2);
    run = Verify();
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_EQ(run.strOut, Equal(2, 4));
    EXPECT_EQ(Verify({"--version", "1"}).strOut, "extra: data/table.dat\n");

    EXPECT_EQ(Verify({"--version", "3"}).nExit, 1);
    EXPECT_EQ(Run({"verify", strStore, "--tree", m_work / "none"}).nExit, 1);
    EXPECT_EQ(Run({"verify", strStore, "--tree="}).nExit, 2);
}

TEST_F(CorvaneVerifyTree, LinksAreWalkedAsPackWalksThemAndNothingIsPassedOverSilently)
{
    TempDir outside;
    ASSERT_TRUE(WriteFileText(outside / "deep/f.txt", "outside"));
    fs::create_directory_symlink(outside.Path(), m_src / "ext");
    fs::create_directory_symlink("..", m_src / "bin/up");
    ASSERT_EQ(::mkfifo((m_src / "data/pipe").c_str(), 0600), 0);
    const std::string strStore = m_work / "store";
    Pack(strStore, 1);
    ToolRun run = Run({"verify", strStore, "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_EQ(run.strOut, Equal(1, 6));
    EXPECT_NE(run.strErr.find("bin/up: the same directory as ."), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("data/pipe: not a file or directory"), std::string::npos) << run.strErr;

    // A link to a file is that file's content, to pack and to verify alike.
    fs::create_symlink(m_src / "Readme.TXT", m_src / "data/link.txt");
    run = Run({"verify", strStore, "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "missing: data/link.txt\n");
    Pack(strStore, 2);
    run = Run({"verify", strStore, "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_EQ(run.strOut, Equal(2, 7));

    // A store inside the tree is left out, as the packer leaves it out (the
    // tool's pack refuses to build one there, so it is moved in).
    fs::rename(strStore, m_src / "store");
    run = Run({"verify", m_src / "store", "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_NE(run.strErr.find("store: the store itself"), std::string::npos) << run.strErr;
}

TEST_F(CorvaneVerifyTree, ServedStoreThroughTheConfigurationFetchesNoPackage)
{
    TempDir served;
    TempDir cache;
    Pack(served.Path(), 4);
    NginxServer server(served.Path());
    ASSERT_TRUE(server.Running());
    const std::string strConfig = WriteRemoteConfig(m_cwd / "remote.cfg", server.BaseUrl(), cache.Path());

    ToolRun run = Run({"verify", "--config", strConfig, "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_EQ(run.strOut, Equal(4, 5));
    FlipByteKeepingTime(m_src / "bin/plugins/a.dll", 0);
    run = Run({"verify", "--config", strConfig, "--version", "4", "--tree", m_src.Path()});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "differs: bin/plugins/a.dll\n");
    // Sizes and hashes come from the index: no package was asked for.
    const std::vector<std::string> vecLog = server.AccessLogLines();
    EXPECT_FALSE(vecLog.empty());
    for (const std::string& strLine : vecLog)
    {
        EXPECT_EQ(strLine.find(".dat "), std::string::npos) << strLine;
    }
}

TEST_F(CorvaneVerifyTree, SignedStoreVerifiesWithItsKeyAndNamesEachRefusal)
{
    TempDir served;
    TempDir cache;
    const std::string strKey = m_work / "studio.key";
    const std::string strOther = m_work / "other.key";
    ToolRun run = Run({"keygen", strKey});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut.rfind("key ", 0), 0u) << run.strOut;
    struct stat st;
    ASSERT_EQ(::stat(strKey.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Run({"keygen", strKey}).nExit, 1) << "an existing key is never replaced";
    ASSERT_EQ(Run({"keygen", strOther}).nExit, 0);

    const ToolRun pack = Run({"pack", "--root", m_src.Path(), "--store", served.Path(), "--version", "1",
                              "--level", "1", "--skip-special", "--sign", strKey});
    ASSERT_EQ(pack.nExit, 0) << pack.strErr;
    NginxServer server(served.Path());
    ASSERT_TRUE(server.Running());
    const std::string strConfig = WriteRemoteConfig(m_cwd / "remote.cfg", server.BaseUrl(), cache.Path());

    run = Run({"verify", "--config", strConfig, "--trust", strKey + ".pub"});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_NE(run.strOut.find("manifest signed by key"), std::string::npos) << run.strOut;
    run = Run({"verify", served.Path(), "--trust", strOther + ".pub"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr.find("which is not trusted"), std::string::npos) << run.strErr;
    run = Run({"verify", served.Path(), "--trust", strOther + ".pub", "--trust", strKey + ".pub"});
    EXPECT_EQ(run.nExit, 0) << "either key of a rotation: " << run.strErr;

    // Re-signing with the other key (as CI would after a rotation) is what it trusts then.
    run = Run({"sign", served.Path(), "--key", strOther, "--expires", "30"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(Run({"verify", served.Path(), "--trust", strOther + ".pub"}).nExit, 0);
    EXPECT_EQ(Run({"sign", served.Path(), "--key", strOther, "--expires", "0"}).nExit, 2);

    // A list of the version changed on the server after signing.
    TempDir cache2;
    const std::string strConfig2 = WriteRemoteConfig(m_cwd / "remote2.cfg", server.BaseUrl(), cache2.Path());
    ASSERT_TRUE(WriteFileText(served / "dat/v1/_pkglst", "forged"));
    run = Run({"verify", "--config", strConfig2, "--trust", strOther + ".pub"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE((run.strOut + run.strErr).find("differs from the version's manifest"), std::string::npos)
        << run.strOut << run.strErr;
}
