// SPDX-License-Identifier: MIT
// Every file of a small packed store damaged in turn, by one flipped byte and by
// one byte cut off: each read either returns the right content or fails cleanly,
// and verify reports the damage without touching the store.
#include "ToolProcess.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace CorvaneTest;

namespace
{

std::string Content(size_t uSize, uint32_t uSeed)
{
    std::string str(uSize, '\0');
    uint32_t x = uSeed;
    for (size_t i = 0; i < uSize; ++i)
    {
        x = x * 1103515245u + 12345u;
        str[i] = (i % 32 < 20) ? static_cast<char>('a' + (i / 32) % 26) : static_cast<char>(x >> 24);
    }
    return str;
}

TEST(DamagedStore, EveryFileFlippedOrCutFailsCleanly)
{
    TempDir src, work, cwd;
    const std::map<std::string, std::string> mapTree = {{"a.txt", "short text\n"},
                                                        {"bin/one.bin", Content(40000, 1)},
                                                        {"bin/two.bin", Content(30000, 2)},
                                                        {"lib/x/three.dat", Content(25000, 3)},
                                                        {"empty", ""}};
    for (const auto& [strPath, strContent] : mapTree)
    {
        ASSERT_TRUE(WriteFileText(src / strPath, strContent));
    }
    const std::string strStore = work / "store";
    // Small packages, so that damage to one leaves others readable.
    const ToolRun pack = RunCorvane({"pack", "--root", src.Path(), "--store", strStore, "--version", "1",
                                     "--level", "1", "--package-size", "20000"},
                                    cwd.Path());
    ASSERT_EQ(pack.nExit, 0) << pack.strErr;
    ASSERT_EQ(RunCorvane({"verify", strStore}, cwd.Path()).nExit, 0);

    std::vector<std::string> vecFiles;
    for (const auto& file : ReadTree(strStore))
    {
        vecFiles.push_back(file.first);
    }
    size_t uPackages = 0;
    for (const std::string& strRel : vecFiles)
    {
        const std::string strPath = strStore + "/" + strRel;
        const std::vector<unsigned char> vecGood = ReadFileBytes(strPath);
        const bool bPackage = strRel.size() > 4 && strRel.compare(strRel.size() - 4, 4, ".dat") == 0 &&
                              strRel.rfind("dat/", 0) == 0;
        uPackages += bPackage ? 1 : 0;
        for (int nDamage = 0; nDamage < 2; ++nDamage)
        {
            SCOPED_TRACE(strRel + (nDamage == 0 ? " flipped" : " cut"));
            std::vector<unsigned char> vecBad = vecGood;
            if (vecBad.empty())
            {
                continue;
            }
            if (nDamage == 0)
            {
                vecBad[vecBad.size() / 2] ^= 0x20;
            }
            else
            {
                vecBad.pop_back();
            }
            ASSERT_TRUE(WriteFileBytes(strPath, vecBad.data(), vecBad.size()));

            const ToolRun verify = RunCorvane({"verify", strStore}, cwd.Path());
            // The file stat cache only speeds up the next build; damage there is harmless.
            if (strRel.find("stat") == std::string::npos)
            {
                EXPECT_EQ(verify.nExit, 1) << verify.strOut << verify.strErr;
            }
            if (bPackage)
            {
                // Named with the damaged file, and one line on the terminal pointing at the log.
                EXPECT_NE(verify.strOut.find("package " + strRel), std::string::npos) << verify.strOut;
                EXPECT_NE(verify.strOut.find("file "), std::string::npos) << verify.strOut;
                EXPECT_EQ(std::count(verify.strErr.begin(), verify.strErr.end(), '\n'), 1) << verify.strErr;
                EXPECT_NE(verify.strErr.find("PemCorvane.log"), std::string::npos) << verify.strErr;
                for (const std::string& strOther : vecFiles)
                {
                    if (strOther != strRel && strOther.rfind("dat/v1/", 0) == 0 &&
                        strOther.find('/', 7) != std::string::npos)
                    {
                        EXPECT_EQ(verify.strOut.find("package " + strOther), std::string::npos)
                            << "only the damaged package is reported: " << verify.strOut;
                    }
                }
            }
            EXPECT_EQ(ReadFileBytes(strPath), vecBad) << "verify changed the store";

            for (const auto& [strFile, strContent] : mapTree)
            {
                const ToolRun cat = RunCorvane({"cat", strStore, strFile}, cwd.Path());
                if (cat.nExit == 0)
                {
                    EXPECT_EQ(cat.strOut, strContent) << strFile;
                }
                else
                {
                    EXPECT_EQ(cat.nExit, 1) << strFile;
                    EXPECT_TRUE(cat.strOut.empty()) << strFile;
                    EXPECT_EQ(std::count(cat.strErr.begin(), cat.strErr.end(), '\n'), 1) << cat.strErr;
                }
            }
            ASSERT_TRUE(WriteFileBytes(strPath, vecGood.data(), vecGood.size()));
        }
    }
    EXPECT_GE(uPackages, 2u);
    EXPECT_EQ(RunCorvane({"verify", strStore}, cwd.Path()).nExit, 0);
}

} // namespace
