// LauncherSettings over a real "launcher.ini" and real record files.
#include "LauncherSettings.h"
#include "OrvelTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>

using OrvelTest::Modified;
using OrvelTest::ReadFile;
using OrvelTest::SetModified;
using OrvelTest::WriteFile;

namespace
{
class SettingsTest : public ::testing::Test
{
protected:
    QString ini() const { return m_dir.path() + QStringLiteral("/launcher.ini"); }
    QString veride() const { return m_dir.path() + QStringLiteral("/_cache/veride.ini"); }
    QString verlauncher() const { return m_dir.path() + QStringLiteral("/_cache/verlauncher.ini"); }

    QTemporaryDir m_dir;
};
} // namespace

TEST_F(SettingsTest, ReadsAndBlankWritesCreateNothing)
{
    LauncherSettings settings(m_dir.path());
    EXPECT_EQ(settings.workPath(), m_dir.path() + QStringLiteral("/IDE"));
    EXPECT_FALSE(settings.hasWorkPath());
    EXPECT_TRUE(settings.completedPreloadItems().isEmpty());
    EXPECT_FALSE(settings.readProductRecord(nullptr, nullptr));
    EXPECT_EQ(settings.launcherRecordVersion(), 0u);
    settings.markPreloadCompleted(QStringLiteral("  "), QStringLiteral("x"), QDateTime::currentDateTime());
    settings.clearProductRecord();
    EXPECT_FALSE(QFileInfo::exists(ini()));
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + QStringLiteral("/_cache")));
}

TEST_F(SettingsTest, RunInBackgroundHasThreeStates)
{
    EXPECT_EQ(LauncherSettings(m_dir.path()).runInBackground(), LauncherSettings::RunInBackgroundAsk);
    LauncherSettings(m_dir.path()).setRunInBackground(true);
    EXPECT_EQ(LauncherSettings(m_dir.path()).runInBackground(), LauncherSettings::RunInBackgroundHide);
    LauncherSettings(m_dir.path()).setRunInBackground(false);
    // The stored form is a plain bool that a fresh process reads back.
    EXPECT_TRUE(ReadFile(ini()).contains("RunInBackground=false"));
    EXPECT_EQ(LauncherSettings(m_dir.path()).runInBackground(), LauncherSettings::RunInBackgroundExit);
}

TEST_F(SettingsTest, SettersWriteOnlyWhenTheValueChanges)
{
    LauncherSettings settings(m_dir.path());
    const QString strWork = m_dir.path() + QStringLiteral("/work");
    struct Setter
    {
        const char* pszName;
        std::function<void()> setSame;
        std::function<void()> setOther;
    };
    const Setter vecSetters[] = {
        // The default language too is written the first time.
        {"language", [&] { settings.setLanguage(QStringLiteral("zh_CN")); },
         [&] { settings.setLanguage(QStringLiteral("en_US")); }},
        {"download limit", [&] { settings.setDownloadLimit(3000000); },
         [&] { settings.setDownloadLimit(0); }},
        {"run in background", [&] { settings.setRunInBackground(true); },
         [&] { settings.setRunInBackground(false); }},
        {"work path",
         [&] { settings.setWorkPath(QStringLiteral("  ") + strWork + QStringLiteral("/x/..  ")); },
         [&] { settings.setWorkPath(QString()); }},
    };
    const QDateTime dtOld = QDateTime::currentDateTime().addDays(-2);
    for (const Setter& setter : vecSetters)
    {
        SCOPED_TRACE(setter.pszName);
        setter.setSame(); // the first write of a key always lands
        ASSERT_TRUE(QFileInfo::exists(ini()));
        SetModified(ini(), dtOld);
        setter.setSame();
        EXPECT_EQ(Modified(ini()), dtOld) << "an unchanged value rewrote the file";
        setter.setOther();
        EXPECT_NE(Modified(ini()), dtOld);
        setter.setSame();
    }
    EXPECT_TRUE(ReadFile(ini()).contains("Language=zh_CN"));
    EXPECT_EQ(settings.downloadLimit(), 3000000u);
    EXPECT_EQ(settings.workPath(), strWork);
}

TEST_F(SettingsTest, WorkPathNormalisationAndEmptyValue)
{
    LauncherSettings settings(m_dir.path());
    settings.setWorkPath(QStringLiteral("   "));
    EXPECT_TRUE(settings.hasWorkPath());
    EXPECT_EQ(settings.workPath(), settings.defaultWorkPath());
    EXPECT_EQ(settings.normaliseWorkPath(QStringLiteral(" /a/b/../c/ ")), QStringLiteral("/a/c"));

    // An empty stored value counts as present but is no usable path.
    WriteFile(ini(), "[%General]\nWorkPath=\n");
    LauncherSettings reread(m_dir.path());
    EXPECT_TRUE(reread.hasWorkPath());
    EXPECT_TRUE(reread.workPath().isEmpty());
}

TEST_F(SettingsTest, PreloadItemsAreTrimmedDeduplicatedAndWrittenInKeyOrder)
{
    WriteFile(ini(), "[PreloadCompletedItems]\n"
                     "1\\key=\" zeta \"\n1\\name=Old Zeta\n1\\completedAt=2024-01-02T03:04:05\n"
                     "2\\key=\"  \"\n2\\name=Blank\n"
                     "3\\key=alpha\n3\\name=\" Alpha \"\n3\\completedAt=not a date\n"
                     "4\\key=zeta\n4\\name=New Zeta\n4\\completedAt=2024-02-03T04:05:06\n"
                     "size=4\n");
    LauncherSettings settings(m_dir.path());
    auto mapItems = settings.completedPreloadItems();
    ASSERT_EQ(mapItems.size(), 2);
    EXPECT_EQ(mapItems.value(QStringLiteral("zeta")).strName, QStringLiteral("New Zeta"));
    EXPECT_EQ(mapItems.value(QStringLiteral("zeta")).dtCompletedAt,
              QDateTime(QDate(2024, 2, 3), QTime(4, 5, 6)));
    EXPECT_EQ(mapItems.value(QStringLiteral("alpha")).strName, QStringLiteral("Alpha"));
    EXPECT_FALSE(mapItems.value(QStringLiteral("alpha")).dtCompletedAt.isValid());

    const QDateTime dtWhen(QDate(2024, 5, 6), QTime(7, 8, 9));
    settings.markPreloadCompleted(QStringLiteral(" beta "), QStringLiteral(" Beta "), dtWhen);
    QSettings raw(ini(), QSettings::IniFormat);
    ASSERT_EQ(raw.beginReadArray(QStringLiteral("PreloadCompletedItems")), 3);
    QStringList vecKeys;
    for (int i = 0; i < 3; ++i)
    {
        raw.setArrayIndex(i);
        vecKeys << raw.value(QStringLiteral("key")).toString();
    }
    raw.setArrayIndex(1);
    EXPECT_EQ(raw.value(QStringLiteral("completedAt")).toString(), QStringLiteral("2024-05-06T07:08:09"));
    raw.endArray();
    EXPECT_EQ(vecKeys, (QStringList{"alpha", "beta", "zeta"}));
    EXPECT_EQ(settings.completedPreloadItems().value(QStringLiteral("beta")).dtCompletedAt, dtWhen);
}

TEST_F(SettingsTest, ProductRecordRoundTripAndRejectedValues)
{
    LauncherSettings settings(m_dir.path());
    ASSERT_TRUE(settings.writeProductRecord(4294967295u, QStringLiteral("{guid-1}")));
    quint32 uVersion = 0;
    QString strTag;
    ASSERT_TRUE(settings.readProductRecord(&uVersion, &strTag));
    EXPECT_EQ(uVersion, 4294967295u);
    EXPECT_EQ(strTag, QStringLiteral("{guid-1}"));

    const std::pair<const char*, bool> vecCases[] = {
        {"[%General]\ncurrSyncVersion=abc\ncurrSyncGuid=x\n", false},
        {"[%General]\ncurrSyncVersion=-1\n", false},
        {"[%General]\ncurrSyncVersion=4294967296\n", false},
        {"[%General]\ncurrSyncGuid=only-a-tag\n", false},
        {"[%General]\ncurrSyncVersion=17\n", true},
    };
    for (const auto& testCase : vecCases)
    {
        SCOPED_TRACE(testCase.first);
        WriteFile(veride(), testCase.first);
        strTag = QStringLiteral("stale");
        EXPECT_EQ(settings.readProductRecord(&uVersion, &strTag), testCase.second);
        if (testCase.second)
        {
            EXPECT_EQ(uVersion, 17u);
            EXPECT_TRUE(strTag.isEmpty());
        }
    }

    ASSERT_TRUE(QFile::remove(veride()));
    ASSERT_TRUE(QDir().mkpath(veride()));
    EXPECT_FALSE(settings.readProductRecord(&uVersion, &strTag)) << "a directory is no record";
}

TEST_F(SettingsTest, ClearingTheProductRecord)
{
    LauncherSettings settings(m_dir.path());
    ASSERT_TRUE(settings.writeProductRecord(5, QStringLiteral("t")));
    settings.clearProductRecord();
    EXPECT_FALSE(QFileInfo::exists(veride())) << "a record holding only General is deleted";

    WriteFile(veride(), "[%General]\ncurrSyncVersion=5\n[Other]\nkeep=1\n");
    settings.clearProductRecord();
    ASSERT_TRUE(QFileInfo::exists(veride()));
    EXPECT_FALSE(settings.readProductRecord(nullptr, nullptr));
    EXPECT_TRUE(ReadFile(veride()).contains("keep=1"));
}

TEST_F(SettingsTest, LauncherRecordReadsTrimmedAndWritesOnlyChanges)
{
    LauncherSettings settings(m_dir.path());
    settings.setLauncherRecordTag(QStringLiteral("tag-a"));
    settings.setLauncherRecordVersion(12);
    const QDateTime dtOld = QDateTime::currentDateTime().addDays(-2);
    SetModified(verlauncher(), dtOld);
    settings.setLauncherRecordTag(QStringLiteral("tag-a"));
    settings.setLauncherRecordVersion(12);
    EXPECT_EQ(Modified(verlauncher()), dtOld);

    WriteFile(verlauncher(), "[%General]\ncurrSyncVersion=twelve\ncurrSyncGuid=\"  padded  \"\n");
    EXPECT_EQ(settings.launcherRecordVersion(), 0u);
    EXPECT_EQ(settings.launcherRecordTag(), QStringLiteral("padded"));
    settings.setLauncherRecordVersion(0); // "twelve" is not 0: written
    EXPECT_TRUE(ReadFile(verlauncher()).contains("currSyncVersion=0"));
}

TEST_F(SettingsTest, AHandWrittenPlainGeneralSectionIsReadAndPercentGeneralWins)
{
    // What an administrator deploys by hand, beside what Qt itself writes.
    WriteFile(ini(), "[General]\nLanguage=en_US\nWorkPath=/srv/tools/work\nDownloadLimitBytesPerSec=2048\n");
    LauncherSettings plain(m_dir.path());
    EXPECT_EQ(plain.language(), QStringLiteral("en_US"));
    EXPECT_EQ(plain.workPath(), QStringLiteral("/srv/tools/work"));
    EXPECT_TRUE(plain.hasWorkPath());
    EXPECT_EQ(plain.downloadLimit(), 2048u);

    WriteFile(ini(), "[General]\nLanguage=en_US\nWorkPath=/srv/plain\n[%General]\nWorkPath=/srv/qt\n");
    LauncherSettings both(m_dir.path());
    EXPECT_EQ(both.workPath(), QStringLiteral("/srv/qt"));
    EXPECT_EQ(both.language(), QStringLiteral("en_US"));
    both.setLanguage(QStringLiteral("zh_CN"));
    EXPECT_TRUE(ReadFile(ini()).contains("[%General]")) << "writes stay what Qt writes";
    EXPECT_EQ(LauncherSettings(m_dir.path()).language(), QStringLiteral("zh_CN"));

    WriteFile(veride(), "[General]\ncurrSyncVersion=9\ncurrSyncGuid=hand\n");
    quint32 uVersion = 0;
    QString strTag;
    ASSERT_TRUE(both.readProductRecord(&uVersion, &strTag));
    EXPECT_EQ(uVersion, 9u);
    EXPECT_EQ(strTag, QStringLiteral("hand"));
    both.clearProductRecord();
    EXPECT_FALSE(both.readProductRecord(nullptr, nullptr)) << "clearing removes the plain spelling too";
}
