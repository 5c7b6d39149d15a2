// The start-up decision against a real store served by nginx: which mode the
// launcher starts in for each state of its product record and its cache.
#include "core_test_env.h"

#include "OrvelFileService.h"
#include "OrvelStartup.h"
#include "OrvelStorePath.h"
#include "RuntimeConfigWriter.h"

#include "LauncherLog.h"
#include "LauncherSettings.h"

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>

using OrvelCoreTest::ServedStore;
using OrvelCoreTest::Tree;

namespace
{

class StartupTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pStore = new ServedStore;
        ASSERT_TRUE(s_pStore->Publish({Tree{{QStringLiteral("Data/Info.TXT"), QByteArray("one")}},
                                       Tree{{QStringLiteral("Data/Info.TXT"), QByteArray("two")}}}));
        // The tags the store gave its versions.
        OrvelFileService service;
        const QString strConfig = ServedStore::ConfigPath(s_pStore->MakeAppDir(QStringLiteral("probe")));
        ASSERT_TRUE(service.Initialize(strConfig, 1));
        s_strTag1 = service.ReadPakInfo().tag;
        ASSERT_TRUE(service.Initialize(strConfig, 2));
        s_strTag2 = service.ReadPakInfo().tag;
        ASSERT_FALSE(s_strTag1.isEmpty());
    }
    static void TearDownTestSuite()
    {
        delete s_pStore;
        s_pStore = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(s_pStore, nullptr);
        // Mixed case: local paths keep theirs.
        m_strAppDir = s_pStore->MakeAppDir(QStringLiteral("App-%1").arg(++s_nApp));
        m_pSettings = std::make_unique<LauncherSettings>(m_strAppDir);
        m_pLog = std::make_unique<LauncherLog>(m_strAppDir);
        m_pLog->initialise(QStringLiteral("launcher"), 14);
        m_pWriter = std::make_unique<RuntimeConfigWriter>(m_strAppDir);
    }
    StartupInitializationResult Decide()
    {
        return OrvelStartup::Decide(m_service, *m_pSettings, *m_pLog, *m_pWriter,
                                    ServedStore::ConfigPath(m_strAppDir));
    }
    QString LogText() const { return QString::fromUtf8(OrvelTest::ReadFile(m_pLog->logFilePath())); }

    static ServedStore* s_pStore;
    static int s_nApp;
    static QString s_strTag1;
    static QString s_strTag2;
    QString m_strAppDir;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<LauncherLog> m_pLog;
    std::unique_ptr<RuntimeConfigWriter> m_pWriter;
    OrvelFileService m_service;
};

ServedStore* StartupTest::s_pStore = nullptr;
int StartupTest::s_nApp = 0;
QString StartupTest::s_strTag1;
QString StartupTest::s_strTag2;

TEST_F(StartupTest, FirstStartAndAMatchingRecordStartNormally)
{
    StartupInitializationResult result = Decide();
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.mode, StartupInitializationResult::ModeNormal);
    EXPECT_TRUE(result.notice.isEmpty());
    EXPECT_EQ(m_service.CurrentVersion(), 2u);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Corvane initialized successfully with latest version")));

    // A record of an older version that matches the store opens that version.
    ASSERT_TRUE(m_pSettings->writeProductRecord(1, QStringLiteral("  %1 ").arg(s_strTag1)));
    result = Decide();
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.mode, StartupInitializationResult::ModeNormal);
    EXPECT_EQ(m_service.CurrentVersion(), 1u);
    EXPECT_TRUE(
        LogText().contains(QStringLiteral("Corvane initialized successfully with recorded version 1")));
}

TEST_F(StartupTest, ATagThatDiffersEvenInLetterCaseLeadsToRepairOnlyOnTheLatest)
{
    const QString strCached = m_strAppDir + QStringLiteral("/_cache/ofse/dat/v1/stale.dat");
    for (const QString& strTag :
         {QStringLiteral("another-tag"),
          s_strTag1.toUpper() == s_strTag1 ? s_strTag1.toLower() : s_strTag1.toUpper()})
    {
        ASSERT_NE(strTag, s_strTag1);
        OrvelTest::WriteFile(strCached, QByteArray("old"));
        ASSERT_TRUE(m_pSettings->writeProductRecord(1, strTag));
        const StartupInitializationResult result = Decide();
        EXPECT_TRUE(result.success) << result.error.toStdString();
        EXPECT_EQ(result.mode, StartupInitializationResult::ModeRepairOnlyLatest);
        EXPECT_EQ(result.notice,
                  QStringLiteral("Recorded resource sync state mismatched the current Corvane state. "
                                 "Switched to latest version and enabled repair-only mode."));
        EXPECT_GE(result.removedCacheItems, 1);
        EXPECT_FALSE(QFileInfo::exists(strCached));
        EXPECT_FALSE(m_pSettings->readProductRecord(nullptr, nullptr));
        EXPECT_EQ(m_service.CurrentVersion(), 2u);
    }
    EXPECT_TRUE(LogText().contains(QStringLiteral("recorded tag=another-tag actual tag=%1").arg(s_strTag1)));
}

TEST_F(StartupTest, AnEmptyTagOrAnUnreadableRecordIsClearedAndRebuilt)
{
    ASSERT_TRUE(m_pSettings->writeProductRecord(2, QString()));
    StartupInitializationResult result = Decide();
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.mode, StartupInitializationResult::ModeRepairOnlyLatest);
    EXPECT_EQ(result.notice,
              QStringLiteral("Recorded resource sync state is unavailable. Switched to latest version "
                             "and enabled repair-only mode."));
    EXPECT_FALSE(m_pSettings->readProductRecord(nullptr, nullptr));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Recorded resource sync tag is empty for version 2")));

    OrvelTest::WriteFile(m_pSettings->productRecordPath(), QByteArray("[General]\ncurrSyncVersion=abc\n"));
    result = Decide();
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.mode, StartupInitializationResult::ModeRepairOnlyLatest);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Recorded resource sync state is unavailable; switching")));
    EXPECT_EQ(m_service.CurrentVersion(), 2u);
}

TEST_F(StartupTest, MissingConfigurationOrAnUnremovableCacheEntryMeansLimitedMode)
{
    const QString strMissing = m_strAppDir + QStringLiteral("/_cache/None.cfg");
    StartupInitializationResult result =
        OrvelStartup::Decide(m_service, *m_pSettings, *m_pLog, *m_pWriter, strMissing);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, QStringLiteral("Configuration file not found: %1").arg(strMissing));

    const QString strLocked = m_strAppDir + QStringLiteral("/_cache/ofse/dat/v1/locked.dat");
    OrvelTest::WriteFile(strLocked, QByteArray("held"));
    if (!OrvelTest::SetImmutable(strLocked, true))
        GTEST_SKIP() << "immutable flag not supported here";
    ASSERT_TRUE(m_pSettings->writeProductRecord(1, QStringLiteral("stale")));
    result = Decide();
    OrvelTest::SetImmutable(strLocked, false);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.mode, StartupInitializationResult::ModeFailed);
    // The file and the directories above it.
    EXPECT_EQ(result.error, QStringLiteral("Failed to clear 3 cache item(s) from _cache before rebuild"));
    EXPECT_TRUE(
        LogText().contains(QStringLiteral("Failed to remove repair-only cache entry: %1").arg(strLocked)));
    EXPECT_FALSE(m_service.IsReady());
}

TEST(StorePathTest, LowerCasingIsAsciiOnlyWhateverTheLocale)
{
    const bool bTurkish = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    // "I" stays "i" (not a dotless one); non-ASCII letters are left as they are.
    EXPECT_EQ(OrvelStorePath::Normalise(QStringLiteral("\\Data\\INFO.TXT")), QStringLiteral("data/info.txt"));
    EXPECT_EQ(OrvelStorePath::AsciiLower(QString::fromUtf8("İSTANBUL/Ärger")),
              QString::fromUtf8("İstanbul/Ärger"));
    EXPECT_EQ(OrvelStorePath::ToLibrary(QStringLiteral("Info.TXT")), QByteArray("info.txt"));
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    if (!bTurkish)
        GTEST_SKIP() << "tr_TR.UTF-8 locale not installed; checked under the Qt locale only";
}

TEST(StorePathTest, JoinUnderRefusesEverythingThatLeavesTheRoot)
{
    QString strLocal;
    QString strError;
    EXPECT_TRUE(OrvelStorePath::JoinUnder(QStringLiteral("/w/Root"), QStringLiteral("A/B.txt"), &strLocal,
                                          &strError));
    EXPECT_EQ(strLocal, QStringLiteral("/w/Root/a/b.txt"));
    for (const char* pcszBad :
         {"", "/abs", "C:\\x", "c:rel", "a/../../x", "..", "a/./b", "a//b", "a\\..\\..\\x"})
    {
        EXPECT_FALSE(OrvelStorePath::JoinUnder(QStringLiteral("/w/Root"), QString::fromUtf8(pcszBad),
                                               &strLocal, &strError))
            << pcszBad;
        EXPECT_TRUE(strError.startsWith(QStringLiteral("Unsafe store path refused: ")))
            << strError.toStdString();
    }
}

TEST(RuntimeConfigWriterTest, CopyOnceFilesAreKeptAndTheServerCanBeChosen)
{
    QTemporaryDir dir;
    RuntimeConfigWriter writer(dir.path());
    ASSERT_TRUE(writer.WriteProductConfig()) << writer.LastError().toStdString();
    const QString strProduct = writer.ProductConfigPath();
    EXPECT_EQ(strProduct, dir.filePath(QStringLiteral("_cache/config_ofse.cfg")));
    EXPECT_TRUE(OrvelTest::ReadFile(strProduct).contains("/pkgs_editor/trunk_editor"));
    OrvelTest::WriteFile(strProduct, QByteArray("{\"edited\": 1}"));
    ASSERT_TRUE(writer.WriteProductConfig());
    EXPECT_EQ(OrvelTest::ReadFile(strProduct), QByteArray("{\"edited\": 1}"));

    ASSERT_TRUE(writer.WriteClientProductsConfig(QStringLiteral(" /home/Ann/Work \"x\" ")));
    const QByteArray client = OrvelTest::ReadFile(writer.ClientProductsConfigPath());
    EXPECT_TRUE(client.contains("\"dir\": \"/home/Ann/Work \\\"x\\\"/clientCorvane\""))
        << client.toStdString();
    EXPECT_FALSE(client.contains("<%ProgramSetting%>"));

    ASSERT_TRUE(writer.WriteProductConfigForServer(QStringLiteral("http://127.0.0.1:8080/store/")));
    const QByteArray product = OrvelTest::ReadFile(strProduct);
    EXPECT_TRUE(product.contains("\"url\": \"http://127.0.0.1:8080/store\"")) << product.toStdString();
    EXPECT_TRUE(product.contains("./_cache/ofse"));
    EXPECT_FALSE(writer.WriteProductConfigForServer(QStringLiteral("ftp://host/x")));
    EXPECT_EQ(writer.LastError(), QStringLiteral("Invalid server URL: ftp://host/x"));
}

} // namespace
