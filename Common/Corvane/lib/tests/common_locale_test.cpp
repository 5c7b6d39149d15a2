// SPDX-License-Identifier: MIT
// Store paths and their hashes do not depend on the process locale: a host
// program sets it from the environment, and under a Turkish locale 'I' does
// not lower to 'i', under a Latin-1 one the bytes of UTF-8 names change.
#include "common/CorvanePath.h"
#include "format/CorvaneHash.h"
#include "support/ScopedLocale.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;
using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

// "Ärger/ÜBER.TXT" and its store form: only the ASCII letters change.
const std::string kUtf8Name = "\xC3\x84rger/\xC3\x9C"
                              "BER.TXT";
const std::string kUtf8Store = "\xC3\x84rger/\xC3\x9C"
                               "ber.txt";

std::string Normalized(const std::string& strPath)
{
    std::string strOut;
    CorvaneUtil::ToNormalizePath(strOut, strPath.c_str());
    return strOut;
}

// Packs a tree with mixed-case names under the current locale and reads it back.
void PackAndReadBack()
{
    TempDir dir;
    const std::string strRoot = dir / "Src";
    fs::create_directories(strRoot + "/\xC3\x84rger");
    ASSERT_TRUE(WriteFileText(strRoot + "/Info.TXT", "info"));
    ASSERT_TRUE(WriteFileText(strRoot + "/" + kUtf8Name, "umlauts"));

    PackerPtr pPacker = NewPacker();
    CORVANE_PAK_OPTION opt;
    opt.nToVersion = 1;
    opt.nTreadCount = 2;
    opt.nCompressLevel = 1;
    const std::string strStore = dir / "store";
    ASSERT_TRUE(pPacker->SetEnv(strRoot.c_str(), strStore.c_str(), &opt) && pPacker->Push(strRoot.c_str()) &&
                pPacker->Do());

    ReaderPtr pReader = OpenStoreReader(strStore);
    ASSERT_TRUE(pReader);
    EXPECT_EQ(Lines(pReader->OpenFileList()), (std::vector<std::string>{"info.txt", kUtf8Store}));
    EXPECT_TRUE(pReader->HasFile("info.txt"));
    IFile* pif = pReader->OpenFile(kUtf8Store.c_str(), -1);
    ASSERT_NE(pif, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(pif->GetBuffer()), pif->Size()), "umlauts");
    pif->Release();
}

void CheckUnderLocale(const std::string& strLocale, int nProbe, int nAsciiLower)
{
    ScopedLocale locale(strLocale);
    if (!locale.Active())
    {
        GTEST_SKIP() << locale.Why();
    }
    // The locale really lowers differently from ASCII, or this test proves nothing.
    ASSERT_NE(std::tolower(nProbe), nAsciiLower) << strLocale;

    EXPECT_EQ(Normalized("Dir\\Info.TXT"), "dir/info.txt");
    EXPECT_EQ(Normalized("ISTANBUL/I\xC4\xB0"), "istanbul/i\xC4\xB0"); // "İ" is not ASCII: kept
    EXPECT_EQ(Normalized(kUtf8Name), kUtf8Store);
    EXPECT_EQ(NSCorvaneReader::CalcNormalizedNameHash("Dir\\Info.TXT"),
              NSCorvaneReader::CalcNameHash("dir/info.txt"));
    EXPECT_EQ(NSCorvaneReader::CalcNormalizedNameHash(kUtf8Name.c_str()),
              NSCorvaneReader::CalcNameHash(kUtf8Store.c_str()));
    PackAndReadBack();
}

class StorePathLocale : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { g_InitCorvaneManager(nullptr, nullptr); }
};

} // namespace

TEST_F(StorePathLocale, TurkishLocaleLowersOnlyAscii)
{
    CheckUnderLocale("tr_TR.UTF-8", 'I', 'i');
}

TEST_F(StorePathLocale, Latin1LocaleLeavesUtf8BytesAlone)
{
    CheckUnderLocale("de_DE.ISO-8859-1", 0xC3, 0xC3);
}
