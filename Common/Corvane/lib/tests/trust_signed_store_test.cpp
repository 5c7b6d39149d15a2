// SPDX-License-Identifier: MIT
// Signed stores: what a trusting reader accepts and refuses, locally and
// through a real nginx.
#include "format/CorvaneManifest.h"
#include "reader/PemCorvaneReader.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"
#include "trust/CorvaneTrust.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace CorvaneTest;
using NSCorvane::_INVALID_VER;

namespace
{

class SignedStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_InitCorvaneManager(nullptr, nullptr);
        g_SetCorvaneLogPath((m_dir / "PemCorvane.log").c_str());
        ASSERT_TRUE(g_CreateCorvaneKey(Key().c_str(), nullptr, 0));
        ASSERT_TRUE(g_CreateCorvaneKey(OtherKey().c_str(), nullptr, 0));
        TestStoreVersion v1;
        v1.uVersion = 1;
        v1.uFilesPerPackage = 1;
        // Equal sizes: the package swap below puts one record where the other was.
        v1.mapFiles = {
            {"bin/app.exe", "program-one"}, {"bin/evil.exe", "program-two"}, {"readme.txt", "hello"}};
        ASSERT_TRUE(WriteTestStoreVersion(Store(), v1, &m_v1));
        g_GetCorvaneLastFailure(nullptr, 0);
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    std::string Store() const { return m_dir / "store"; }
    std::string Key() const { return m_dir / "key"; }
    std::string OtherKey() const { return m_dir / "other"; }
    std::string Pub(const std::string& strKey) const { return ReadFileText(strKey + ".pub"); }

    // A local reader trusting strKeys; null with the kept failure in m_strWhy.
    ReaderPtr Open(const std::string& strKeys, uint32_t uVersion = _INVALID_VER)
    {
        NSCorvane::IPemCorvaneReader* pRaw = nullptr;
        if (!g_NewCorvaneReaderTrusted(&pRaw, Store().c_str(), uVersion, strKeys.c_str(), 0))
        {
            char szWhy[2048] = {};
            g_GetCorvaneLastFailure(szWhy, sizeof(szWhy));
            m_strWhy = szWhy;
            return nullptr;
        }
        return ReaderPtr(pRaw);
    }
    std::string Why()
    {
        char szWhy[2048] = {};
        g_GetCorvaneLastFailure(szWhy, sizeof(szWhy));
        return szWhy;
    }
    // Re-signs a record of the store with the test key after fnEdit changed it.
    void Resign(const std::string& strRel, const std::function<void(NSCorvaneTrust::SignedRecord&)>& fnEdit)
    {
        const std::string strText = ReadFileText(Store() + "/" + strRel);
        NSCorvaneTrust::SignedRecord record;
        std::string strError;
        ASSERT_TRUE(NSCorvaneTrust::ParseSignedRecord(strText.data(), strText.size(), record, strError))
            << strError;
        fnEdit(record);
        NSCorvaneTrust::SecretSeed seed{};
        NSCorvaneTrust::PublicKey key;
        ASSERT_TRUE(NSCorvaneTrust::ReadSecretKeyFile(Key(), seed, key, strError)) << strError;
        ASSERT_TRUE(NSCorvaneTrust::SignRecord(record, seed, key));
        ASSERT_TRUE(WriteFileText(Store() + "/" + strRel, NSCorvaneTrust::FormatSignedRecord(record)));
    }

    TempDir m_dir;
    TestStoreResult m_v1;
    std::string m_strWhy;
};

std::string ReadAll(NSCorvane::IPemCorvaneReader& reader, const char* pcszPath)
{
    FilePtr pFile(reader.OpenFile(pcszPath, -1));
    if (!pFile)
    {
        return "<refused>";
    }
    return std::string(static_cast<const char*>(pFile->GetBuffer()), pFile->Size());
}

// Read piece by piece from a file decoded as it is read (no buffer).
std::string ReadStreamed(NSCorvane::IPemCorvaneReader& reader, const char* pcszPath)
{
    FilePtr pFile(reader.OpenFile(pcszPath, -1));
    if (!pFile || pFile->GetBuffer())
    {
        return "<not streamed>";
    }
    std::string str(pFile->Size(), '\0');
    for (size_t uAt = 0; uAt < str.size();)
    {
        const int32_t nRead = pFile->Read(&str[uAt], 3);
        if (nRead <= 0)
        {
            return "<failed>";
        }
        uAt += static_cast<size_t>(nRead);
    }
    return str;
}

} // namespace

TEST_F(SignedStore, SignedVersionOpensAndAnyTrustedKeyOfARotationWorks)
{
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), _INVALID_VER, Key().c_str(), 30, 7)) << Why();
    for (const std::string& strKeys : {Pub(Key()), Pub(OtherKey()) + Pub(Key())})
    {
        ReaderPtr pReader = Open(strKeys);
        ASSERT_TRUE(pReader) << m_strWhy;
        EXPECT_EQ(ReadAll(*pReader, "bin/app.exe"), "program-one");
        EXPECT_EQ(ReadAll(*pReader, "readme.txt"), "hello");
        NSCorvane::CORVANE_TRUST_STATE state;
        ASSERT_TRUE(g_GetCorvaneTrustState(pReader.get(), &state));
        EXPECT_EQ(state.uVerified, 1u);
        NSCorvaneTrust::PublicKey key;
        std::string strError;
        ASSERT_TRUE(NSCorvaneTrust::ReadPublicKeyFile(Key() + ".pub", key, strError));
        EXPECT_EQ(std::string(state.szKeyId), NSCorvaneTrust::KeyIdText(key.id));
    }
    // Without keys the store reads as before and says nothing is verified.
    ReaderPtr pPlain = OpenStoreReader(Store());
    ASSERT_TRUE(pPlain);
    NSCorvane::CORVANE_TRUST_STATE state;
    ASSERT_TRUE(g_GetCorvaneTrustState(pPlain.get(), &state));
    EXPECT_EQ(state.uVerified, 0u);
}

TEST_F(SignedStore, UnsignedOrForeignOrExpiredRecordsAreRefused)
{
    // Packed without a key.
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("version 1 has no manifest"), std::string::npos) << m_strWhy;

    // Signed by a key the reader does not trust.
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, OtherKey().c_str(), 30, 7)) << Why();
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("which is not trusted"), std::string::npos) << m_strWhy;

    // One hash changed by hand: the signature no longer matches.
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, Key().c_str(), 30, 7)) << Why();
    const std::string strManifest = Store() + "/" + NSCorvaneTrust::ManifestPath(1);
    std::string strText = ReadFileText(strManifest);
    const size_t uFile = strText.find("\nfile ");
    ASSERT_NE(uFile, std::string::npos);
    strText[uFile + 6] = strText[uFile + 6] == '0' ? '1' : '0';
    ASSERT_TRUE(WriteFileText(strManifest, strText));
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("does not match"), std::string::npos) << m_strWhy;

    // An expired latest-version signature refuses the latest, not an explicit version.
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, Key().c_str(), 30, 7)) << Why();
    Resign(NSCorvaneTrust::LastVersionSignaturePath(),
           [](NSCorvaneTrust::SignedRecord& record) { record.nExpires = NSCorvaneTrust::NowSeconds() - 60; });
    EXPECT_FALSE(Open(Pub(Key())));
    EXPECT_NE(m_strWhy.find("latest version: the signature expired"), std::string::npos) << m_strWhy;
    EXPECT_TRUE(Open(Pub(Key()), 1)) << m_strWhy;

    // An expired manifest.
    Resign(NSCorvaneTrust::ManifestPath(1),
           [](NSCorvaneTrust::SignedRecord& record) { record.nExpires = NSCorvaneTrust::NowSeconds() - 60; });
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("expired"), std::string::npos) << m_strWhy;

    // A trust entry that is no key fails closed.
    EXPECT_FALSE(Open("ed25519 nothex", 1));
    EXPECT_NE(m_strWhy.find("not an ed25519 public key"), std::string::npos) << m_strWhy;
}

TEST_F(SignedStore, ManifestThatDisagreesWithTheVersionIsRefused)
{
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, Key().c_str(), 30, 7)) << Why();
    const std::string strBackup = ReadFileText(Store() + "/" + NSCorvaneTrust::ManifestPath(1));
    auto fnRestore = [&] { WriteFileText(Store() + "/" + NSCorvaneTrust::ManifestPath(1), strBackup); };

    // Validly signed, one file's hash wrong: that file is refused, the others read.
    Resign(NSCorvaneTrust::ManifestPath(1),
           [](NSCorvaneTrust::SignedRecord& record) { record.vecFiles[0].digest[0] ^= 1; });
    ReaderPtr pReader = Open(Pub(Key()), 1);
    ASSERT_TRUE(pReader) << m_strWhy;
    EXPECT_EQ(ReadAll(*pReader, "bin/app.exe"), "<refused>");
    EXPECT_NE(Why().find("bin/app.exe differs from the manifest of version 1"), std::string::npos);
    EXPECT_EQ(ReadAll(*pReader, "readme.txt"), "hello");
    // Decoded as they are read (as large files are), the same file fails at
    // its end, with the same reason, and the others read.
    auto* pImpl = dynamic_cast<NSCorvane::PemCorvaneReader*>(pReader.get());
    ASSERT_TRUE(pImpl);
    pImpl->SetStreamThreshold(1);
    EXPECT_EQ(ReadStreamed(*pReader, "bin/app.exe"), "<failed>");
    EXPECT_NE(Why().find("bin/app.exe differs from the manifest of version 1"), std::string::npos);
    EXPECT_EQ(ReadStreamed(*pReader, "readme.txt"), "hello");
    EXPECT_EQ(ReadStreamed(*pReader, "bin/evil.exe"), "program-two");
    pReader.reset();

    // A file left out of the manifest.
    fnRestore();
    Resign(NSCorvaneTrust::ManifestPath(1),
           [](NSCorvaneTrust::SignedRecord& record) { record.vecFiles.pop_back(); });
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("the manifest lists 2 files, the version holds 3"), std::string::npos)
        << m_strWhy;

    // A metadata file changed after signing.
    fnRestore();
    Resign(NSCorvaneTrust::ManifestPath(1),
           [](NSCorvaneTrust::SignedRecord& record)
           {
               for (NSCorvaneTrust::ManifestMeta& meta : record.vecMeta)
               {
                   meta.digest[0] ^= meta.strName == "_index" ? 1 : 0;
               }
           });
    EXPECT_FALSE(Open(Pub(Key()), 1));
    EXPECT_NE(m_strWhy.find("differs from the version's manifest"), std::string::npos) << m_strWhy;
}

TEST_F(SignedStore, AListReaderChecksItsListsAgainstTheManifest)
{
    NginxServer server(Store());
    ASSERT_TRUE(server.Running());
    const std::string strKeyJson = Pub(Key()).substr(0, Pub(Key()).find('\n'));
    // Each reader gets a cache of its own that outlives it.
    TempDir caches[3];
    int nOpened = 0;
    auto fnOpenLists = [&]
    {
        const TempDir& cache = caches[nOpened++];
        const std::string strConfig =
            WriteRemoteConfig(cache / "store.json", server.BaseUrl(), cache / "cache", "",
                              R"(, "trust": [")" + strKeyJson + R"("])");
        NSCorvane::IPemCorvaneReader* pRaw = nullptr;
        return g_NewCorvaneListReaderByConfig(&pRaw, strConfig.c_str(), 1) ? ReaderPtr(pRaw) : ReaderPtr();
    };
    EXPECT_FALSE(fnOpenLists()) << "an unsigned version";
    EXPECT_NE(Why().find("version 1 has no manifest"), std::string::npos) << Why();

    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, Key().c_str(), 30, 7)) << Why();
    ReaderPtr pLists = fnOpenLists();
    ASSERT_TRUE(pLists) << Why();
    EXPECT_EQ(Lines(pLists->OpenPatchFileList()).size(), 3u);

    Resign(NSCorvaneTrust::ManifestPath(1),
           [](NSCorvaneTrust::SignedRecord& record)
           {
               for (NSCorvaneTrust::ManifestMeta& meta : record.vecMeta)
               {
                   meta.digest[0] ^= meta.strName == "_diffile" ? 1 : 0;
               }
           });
    pLists = fnOpenLists();
    ASSERT_TRUE(pLists) << Why();
    EXPECT_EQ(pLists->OpenPatchFileList(), nullptr);
    EXPECT_NE(Why().find("_diffile differs from the version's manifest"), std::string::npos) << Why();
}

TEST_F(SignedStore, SwappedPackageIsRefusedOverHttpWithTrustAndTheLatestOnlyWhenSigned)
{
    ASSERT_TRUE(g_SignCorvaneVersion(Store().c_str(), 1, Key().c_str(), 30, 7)) << Why();
    // The server hands out evil.exe's package where app.exe's belongs: both
    // are valid packages of this store, and with whole-package reads the
    // index alone does not tell them apart.
    const std::string strApp = Store() + "/" + m_v1.vecPackage[0];
    const std::string strEvil = Store() + "/" + m_v1.vecPackage[1];
    NginxServer server(Store());
    ASSERT_TRUE(server.Running());
    TempDir cache;
    const std::string strKeyJson = Pub(Key()).substr(0, Pub(Key()).find('\n'));
    const std::string strConfig =
        WriteRemoteConfig(cache / "store.json", server.BaseUrl(), cache / "cache", R"(, "range": 0)",
                          R"(, "trust": [")" + strKeyJson + R"("])");
    {
        ReaderPtr pReader = OpenConfigReader(strConfig);
        ASSERT_TRUE(pReader);
        EXPECT_EQ(ReadAll(*pReader, "bin/app.exe"), "program-one");
        EXPECT_EQ(ReadAll(*pReader, "bin/evil.exe"), "program-two");
    }
    ASSERT_EQ(ReadFileText(strApp).size(), ReadFileText(strEvil).size());
    const std::string strOriginal = ReadFileText(strApp);
    ASSERT_TRUE(WriteFileText(strApp, ReadFileText(strEvil)));
    TempDir cache2;
    const std::string strConfig2 =
        WriteRemoteConfig(cache2 / "store.json", server.BaseUrl(), cache2 / "cache", R"(, "range": 0)",
                          R"(, "trust": [")" + strKeyJson + R"("])");
    ReaderPtr pReader = OpenConfigReader(strConfig2);
    ASSERT_TRUE(pReader);
    const std::string strGot = ReadAll(*pReader, "bin/app.exe");
    EXPECT_NE(strGot, "program-two");
    EXPECT_EQ(strGot, "<refused>");
    EXPECT_NE(Why().find("bin/app.exe differs from the manifest of version 1"), std::string::npos);
    pReader.reset();

    // A trust list that is not understood fails closed instead of turning the checks off.
    for (const char* pcszTrust :
         {R"(, "trust": "ed25519 00")", R"(, "trust": [1])", R"(, "trust": ["ed25519 zz"])"})
    {
        TempDir bad;
        const std::string strBad =
            WriteRemoteConfig(bad / "store.json", server.BaseUrl(), bad / "cache", "", pcszTrust);
        NSCorvane::IPemCorvaneReader* pRaw = nullptr;
        EXPECT_FALSE(g_NewCorvaneReaderByConfig(&pRaw, strBad.c_str(), _INVALID_VER)) << pcszTrust;
        EXPECT_EQ(pRaw, nullptr);
    }

    // Without trust the store still reads, and the log says it is not verified.
    ASSERT_TRUE(WriteFileText(strApp, strOriginal));
    TempDir cache3;
    const std::string strPlain = WriteRemoteConfig(cache3 / "store.json", server.BaseUrl(), cache3 / "cache");
    ASSERT_TRUE(OpenConfigReader(strPlain));
    EXPECT_NE(ReadFileText(m_dir / "PemCorvane.log")
                  .find("The store is not signed; files are checked for integrity only"),
              std::string::npos);
}
