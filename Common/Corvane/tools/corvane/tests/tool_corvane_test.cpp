// SPDX-License-Identifier: MIT
// The corvane tool end to end: the real executable and library on real trees.
#include "ToolProcess.h"

#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace CorvaneTest;

namespace
{

// Deterministic content that compresses a little, like real binaries.
std::string MixedContent(size_t uSize, uint32_t uSeed)
{
    std::string strOut(uSize, '\0');
    uint32_t x = uSeed * 2654435761u + 1;
    for (size_t i = 0; i < uSize; ++i)
    {
        x = x * 1103515245u + 12345u;
        strOut[i] = (i % 64 < 40) ? static_cast<char>('a' + (i / 64) % 26) : static_cast<char>(x >> 24);
    }
    return strOut;
}

bool IsOneLine(const std::string& strText)
{
    return !strText.empty() && strText.find('\n') == strText.size() - 1;
}

std::string Value(const std::string& strOutput, const std::string& strKey)
{
    const size_t uAt = strOutput.find(strKey + ":");
    if (uAt == std::string::npos)
    {
        return "<missing " + strKey + ">";
    }
    const size_t uStart = strOutput.find_first_not_of(' ', uAt + strKey.size() + 1);
    return strOutput.substr(uStart, strOutput.find('\n', uStart) - uStart);
}

class CorvaneToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Source paths with upper case and nesting; the store keeps them lower case.
        m_mapTree = {
            {"Readme.TXT", "hello store\n"},
            {"empty.bin", ""},
            {"bin/Tool.exe", MixedContent(300000, 1)},
            {"bin/plugins/a.dll", MixedContent(120000, 2)},
            {"bin/plugins/b.dll", MixedContent(90000, 3)},
            {"data/deep/er/still/table.dat", MixedContent(50000, 4)},
        };
        for (const auto& file : m_mapTree)
        {
            ASSERT_TRUE(WriteFileText(m_src / file.first, file.second));
        }
    }

    ToolRun Run(const std::vector<std::string>& vecArgs) { return RunCorvane(vecArgs, m_cwd.Path()); }

    ToolRun Pack(uint32_t uVersion, std::vector<std::string> vecExtra = {})
    {
        std::vector<std::string> vecArgs = {
            "pack",    "--root", m_src.Path(), "--store", Store(), "--version", std::to_string(uVersion),
            "--level", "3",      "--threads",  "2"};
        vecArgs.insert(vecArgs.end(), vecExtra.begin(), vecExtra.end());
        return Run(vecArgs);
    }

    std::string Store() const { return m_work / "store"; }

    static std::string Lower(std::string str)
    {
        for (char& c : str)
        {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return str;
    }

    TempDir m_src;
    TempDir m_work;
    TempDir m_cwd;
    std::map<std::string, std::string> m_mapTree;
};

TEST_F(CorvaneToolTest, PackThenReadEverythingBack)
{
    // A small package size spreads the files over several packages.
    const ToolRun pack = Pack(1, {"--package-size", "30000", "--release-text", "nightly 42"});
    ASSERT_EQ(pack.nExit, 0) << pack.strErr;
    EXPECT_EQ(Value(pack.strOut, "files"), "6");
    EXPECT_EQ(Value(pack.strOut, "stored anew"), "6");
    EXPECT_NE(Value(pack.strOut, "packages written"), "1");
    EXPECT_EQ(Value(pack.strOut, "bytes in"), std::to_string(12 + 300000 + 120000 + 90000 + 50000));

    const ToolRun all = Run({"ls", Store(), "-r"});
    ASSERT_EQ(all.nExit, 0) << all.strErr;
    std::set<std::string> setStored;
    for (const auto& file : m_mapTree)
    {
        setStored.insert(Lower(file.first));
    }
    std::string strExpected;
    for (const auto& strPath : setStored)
    {
        strExpected += strPath + "\n";
    }
    EXPECT_EQ(all.strOut, strExpected);

    const ToolRun top = Run({"ls", Store()});
    EXPECT_EQ(top.strOut, "bin/\ndata/\nempty.bin\nreadme.txt\n");
    const ToolRun sub = Run({"ls", Store(), "BIN", "--version", "1"});
    EXPECT_EQ(sub.strOut, "bin/plugins/\nbin/tool.exe\n");

    for (const auto& file : m_mapTree)
    {
        // Typed as on disk; the tool finds the stored lower-case path.
        const ToolRun cat = Run({"cat", Store(), file.first});
        ASSERT_EQ(cat.nExit, 0) << file.first << ": " << cat.strErr;
        EXPECT_TRUE(cat.strOut == file.second) << file.first;
    }

    const ToolRun info = Run({"info", Store()});
    ASSERT_EQ(info.nExit, 0) << info.strErr;
    EXPECT_EQ(Value(info.strOut, "last version"), "1");
    EXPECT_EQ(Value(info.strOut, "files"), "6");
    EXPECT_EQ(Value(info.strOut, "release text"), "nightly 42");
    EXPECT_EQ(Value(info.strOut, "release guid").size(), 36u);
    EXPECT_EQ(Value(info.strOut, "data size"), Value(pack.strOut, "bytes out"));

    const ToolRun verify = Run({"verify", Store()});
    EXPECT_EQ(verify.nExit, 0) << verify.strOut << verify.strErr;
    EXPECT_NE(verify.strOut.find("0 problems"), std::string::npos) << verify.strOut;
}

TEST_F(CorvaneToolTest, LaterVersionsStoreOnlyChanges)
{
    ASSERT_EQ(Pack(1).nExit, 0);
    const ToolRun same = Pack(2);
    ASSERT_EQ(same.nExit, 0) << same.strErr;
    EXPECT_EQ(Value(same.strOut, "stored anew"), "0");
    EXPECT_EQ(Value(same.strOut, "packages written"), "0");
    EXPECT_EQ(Value(same.strOut, "bytes out"), "0");

    ASSERT_TRUE(WriteFileText(m_src / "bin/plugins/a.dll", "changed"));
    const ToolRun changed = Pack(3);
    ASSERT_EQ(changed.nExit, 0) << changed.strErr;
    EXPECT_EQ(Value(changed.strOut, "stored anew"), "1");
    EXPECT_EQ(Value(changed.strOut, "packages written"), "1");
    EXPECT_EQ(Run({"cat", Store(), "bin/plugins/a.dll"}).strOut, "changed");
    EXPECT_EQ(Run({"cat", Store(), "bin/plugins/a.dll", "--version", "2"}).strOut,
              m_mapTree["bin/plugins/a.dll"]);
    EXPECT_EQ(Run({"verify", Store(), "--version", "2"}).nExit, 0);

    // A version that is not newer is refused before anything is written.
    const ToolRun stale = Pack(3);
    EXPECT_EQ(stale.nExit, 1);
    EXPECT_TRUE(IsOneLine(stale.strErr)) << stale.strErr;
    EXPECT_EQ(Value(Run({"info", Store()}).strOut, "last version"), "3");
}

TEST_F(CorvaneToolTest, PushFileAndBlockChooseTheContent)
{
    const ToolRun pack = Pack(1, {"--push", "bin", "--block", "bin/plugins", "--file", "Readme.TXT"});
    ASSERT_EQ(pack.nExit, 0) << pack.strErr;
    EXPECT_EQ(Run({"ls", Store(), "-r"}).strOut, "bin/tool.exe\nreadme.txt\n");

    const ToolRun outside = Pack(2, {"--push", m_work.Path()});
    EXPECT_EQ(outside.nExit, 2) << outside.strErr;
    const ToolRun missing = Pack(2, {"--push", "no/such/dir"});
    EXPECT_EQ(missing.nExit, 1) << missing.strErr;
    EXPECT_TRUE(IsOneLine(missing.strErr)) << missing.strErr;
}

TEST_F(CorvaneToolTest, ContentThatMissesItsHashIsNeverWritten)
{
    // A hand-made store whose index records another hash for a file that
    // decodes cleanly: only the hash can tell.
    TestStoreVersion version;
    version.mapFiles = {{"a.txt", "real content"}, {"b.txt", "other"}};
    TestStoreResult result;
    ASSERT_TRUE(WriteTestStoreVersion(Store(), version, &result));
    std::vector<NSCorvane::CORVANE_IDX_ELEMENT> vecElement = result.vecElement;
    for (auto& element : vecElement)
    {
        if (element.uNameHash == result.mapElement["a.txt"].uNameHash)
        {
            element.uContextHash ^= 1;
        }
    }
    const uint32_t uCount = static_cast<uint32_t>(vecElement.size());
    std::string strIndex(reinterpret_cast<const char*>(&uCount), sizeof(uCount));
    strIndex.append(reinterpret_cast<const char*>(vecElement.data()),
                    vecElement.size() * sizeof(vecElement[0]));
    ASSERT_TRUE(WriteCompressedFile(Store(), "dat/v1/_index", strIndex));

    const ToolRun cat = Run({"cat", Store(), "a.txt"});
    EXPECT_EQ(cat.nExit, 1);
    EXPECT_EQ(cat.strOut, "");
    EXPECT_EQ(Run({"cat", Store(), "b.txt"}).strOut, "other");

    const ToolRun verify = Run({"verify", Store()});
    EXPECT_EQ(verify.nExit, 1);
    EXPECT_NE(verify.strOut.find("file a.txt: content does not match"), std::string::npos) << verify.strOut;
}

TEST_F(CorvaneToolTest, PackageListCannotReachOutsideTheStore)
{
    TestStoreVersion version;
    version.mapFiles = {{"a.txt", "a"}};
    ASSERT_TRUE(WriteTestStoreVersion(Store(), version, nullptr));
    // A victim beside the store that a damaged list names; the library deletes
    // packages that fail their check, so the tool must not hand such a path on.
    ASSERT_TRUE(WriteFileText(m_work / "victim.dat", "not a package"));
    ASSERT_TRUE(WriteCompressedFile(Store(), "dat/v1/_pkglst",
                                    "dat/v1/0/0.dat\r\n../victim.dat\r\ndat/v1/0/00.dat\r\n"));

    const ToolRun verify = Run({"verify", Store()});
    EXPECT_EQ(verify.nExit, 1);
    // The escaping line is dropped by the reader or refused by the tool; either way it is never opened.
    EXPECT_EQ(verify.strOut.find("package ../victim.dat"), std::string::npos) << verify.strOut;
    EXPECT_NE(verify.strOut.find("'dat/v1/0/00.dat' is not a package path"), std::string::npos)
        << verify.strOut;
    EXPECT_TRUE(FileExists(m_work / "victim.dat"));
    EXPECT_TRUE(FileExists(Store() + "/dat/v1/0/0.dat"));
}

TEST_F(CorvaneToolTest, PackSaysWhatChangedEvenWhenSizeAndTimeStay)
{
    ASSERT_EQ(Pack(1).nExit, 0);
    // Same size, write time put back, as unpacking a release archive leaves it.
    const std::string strDll = m_src / "bin/plugins/a.dll";
    struct stat st;
    ASSERT_EQ(0, ::stat(strDll.c_str(), &st));
    std::string strNew = m_mapTree["bin/plugins/a.dll"];
    strNew[100] ^= 0x20;
    ASSERT_TRUE(WriteFileText(strDll, strNew));
    const struct timespec aTimes[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, strDll.c_str(), aTimes, 0));
    ASSERT_TRUE(WriteFileText(m_src / "new.txt", "new"));
    const ToolRun run = Pack(2, {"--verbose"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(Value(run.strOut, "added"), "1");
    EXPECT_EQ(Value(run.strOut, "changed"), "1");
    EXPECT_EQ(Value(run.strOut, "removed"), "0");
    EXPECT_NE(run.strOut.find("changed  bin/plugins/a.dll\n"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("added    new.txt\n"), std::string::npos) << run.strOut;
    EXPECT_EQ(Run({"cat", Store(), "bin/plugins/a.dll"}).strOut, strNew);

    const ToolRun rehash = Pack(3, {"--rehash"});
    ASSERT_EQ(rehash.nExit, 0) << rehash.strErr;
    EXPECT_EQ(Value(rehash.strOut, "unchanged"), "7 (0 by file stat, 7 by content hash)");
}

TEST_F(CorvaneToolTest, SpecialEntriesFailThePackOrAreSkippedAloud)
{
    ASSERT_EQ(0, ::mkfifo((m_src / "bin/pipe").c_str(), 0600));
    ASSERT_EQ(0, ::symlink("a.dll", (m_src / "bin/plugins/a.so").c_str()));
    const ToolRun refused = Pack(1);
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.strErr.find("cannot pack " + m_src / "bin/pipe" + ": a named pipe"), std::string::npos)
        << refused.strErr;
    EXPECT_EQ(Run({"info", Store()}).nExit, 1) << "no version was written";

    const ToolRun skipped = Pack(1, {"--skip-special"});
    ASSERT_EQ(skipped.nExit, 0) << skipped.strErr;
    EXPECT_EQ(skipped.strErr, "corvane: warning: skipped bin/pipe: a named pipe\n");
    EXPECT_EQ(Value(skipped.strOut, "links as files"), "1 (installed as copies: Windows working paths hold no links)");
    EXPECT_EQ(Run({"cat", Store(), "bin/plugins/a.so"}).strOut, m_mapTree["bin/plugins/a.dll"]);
}

TEST_F(CorvaneToolTest, FailedPackSaysWhyOnTheTerminal)
{
    ASSERT_EQ(Pack(1).nExit, 0);
    // Both exist side by side on a case-sensitive file system, in one
    // directory and through two directories.
    ASSERT_TRUE(WriteFileText(m_src / "site/Index.html", "upper"));
    ASSERT_TRUE(WriteFileText(m_src / "site/index.html", "lower"));
    ASSERT_TRUE(WriteFileText(m_src / "Data/deep/er/still/table.dat", "again"));
    const ToolRun run = Pack(2);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "");
    for (const char* pcszText : {"'site/Index.html' and 'site/index.html'",
                                 "'Data/deep/er/still/table.dat' and 'data/deep/er/still/table.dat'",
                                 "store paths are case-insensitive", "the store stays at version 1"})
    {
        EXPECT_NE(run.strErr.find(pcszText), std::string::npos) << pcszText << " in:\n" << run.strErr;
    }
    const ToolRun info = Run({"info", Store()});
    EXPECT_EQ(Value(info.strOut, "version"), "1") << info.strOut;
}

TEST_F(CorvaneToolTest, BadUsageExitsTwoWithOneLine)
{
    const std::vector<std::vector<std::string>> vecCases = {
        {},
        {"frobnicate"},
        {"ls"},
        {"ls", Store(), "--bogus"},
        {"ls", Store(), "a", "b"},
        {"cat", Store()},
        {"cat", Store(), "a", "--version"},
        {"cat", Store(), "a", "--version", "x1"},
        {"info", Store(), "--version", "4294967295"},
        {"verify", Store(), "--version", "1", "--version", "2"},
        {"ls", Store(), "-r=yes"},
        {"pack", "--store", Store(), "--version", "1"},
        {"pack", "--root", m_src.Path(), "--store", Store()},
        {"pack", "--root", m_src.Path(), "--store", Store(), "--version", "1", "--level", "11"},
        {"pack", "--root", m_src.Path(), "--store", Store(), "--version", "1", "--threads", "-1"},
        {"pack", "--root", m_src.Path(), "--store", Store(), "--version", "1", "--package-size", "0"},
        {"pack", "--root", m_src.Path(), "--store", Store(), "--version", "1", "--release-text",
         std::string(256, 'x')},
        {"pack", "--root", m_src.Path(), "--store", m_src / "bin", "--version", "1"},
        {"pack", "--root", m_src.Path(), "--store", Store(), "--version", "1", "extra"},
    };
    for (const auto& vecArgs : vecCases)
    {
        std::string strCase;
        for (const auto& strArg : vecArgs)
        {
            strCase += strArg.substr(0, 40) + " ";
        }
        const ToolRun run = Run(vecArgs);
        EXPECT_EQ(run.nExit, 2) << strCase << run.strErr;
        if (!vecArgs.empty())
        {
            EXPECT_TRUE(IsOneLine(run.strErr)) << strCase << run.strErr;
            EXPECT_EQ(run.strErr.compare(0, 9, "corvane: "), 0) << strCase << run.strErr;
        }
    }
    EXPECT_FALSE(FileExists(Store())) << "a refused command wrote a store";

    for (const char* pcszCommand : {"pack", "info", "ls", "cat", "verify"})
    {
        const ToolRun help = Run({pcszCommand, "--help"});
        EXPECT_EQ(help.nExit, 0) << pcszCommand;
        EXPECT_EQ(help.strOut.compare(0, 14, std::string("usage: corvane")), 0) << pcszCommand;
        EXPECT_EQ(help.strErr, "") << pcszCommand;
    }
}

TEST_F(CorvaneToolTest, BadStoreExitsOneWithOneLine)
{
    ASSERT_TRUE(WriteFileText(m_work / "garbage/idx/_lastver", "not a marker at all"));
    ASSERT_EQ(::mkdir((m_work / "empty").c_str(), 0755), 0);
    ASSERT_EQ(Pack(1).nExit, 0);
    const std::vector<std::vector<std::string>> vecCases = {
        {"info", m_work / "missing"},
        {"ls", m_work / "empty"},
        {"verify", m_work / "garbage"},
        {"cat", m_src / "Readme.TXT", "x"},
        {"info", Store(), "--version", "7"},
        {"cat", Store(), "no/such/file"},
        {"ls", Store(), "no/such/dir"},
        {"pack", "--root", m_work / "missing", "--store", Store(), "--version", "5"},
    };
    for (const auto& vecArgs : vecCases)
    {
        const ToolRun run = Run(vecArgs);
        EXPECT_EQ(run.nExit, 1) << vecArgs[0] << " " << vecArgs[1] << ": " << run.strErr;
        EXPECT_TRUE(IsOneLine(run.strErr)) << run.strErr;
        EXPECT_EQ(run.strErr.compare(0, 9, "corvane: "), 0) << run.strErr;
        EXPECT_EQ(run.strOut, "") << vecArgs[0];
    }
}

} // namespace
