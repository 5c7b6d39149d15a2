// The launcher's self-update end to end, without a display: an installation
// holding the deliverables of this build, a store publishing a newer launcher,
// orvelsync self-update handing over to the real updater, which waits for it to
// end, replaces the files and starts the new launcher (a stand-in script that
// records that it ran).
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "platform/OrvelPlatformNames.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
using Tree = QMap<QString, QByteArray>;
const int kDeadlineMs = 120000;
const QString kMarker = QStringLiteral("launcher_started.txt");

QString Bin(const char* pszName)
{
    return OrvelTest::BinDir() + QLatin1Char('/') + QLatin1String(pszName);
}

class SelfUpdateE2ETest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new QTemporaryDir;
        const QByteArray updater = OrvelTest::ReadFile(Bin(OrvelPlatform::kUpdaterFileName));
        const QByteArray library = OrvelTest::ReadFile(Bin(OrvelPlatform::kLibraryFileName));
        ASSERT_FALSE(updater.isEmpty());
        ASSERT_FALSE(library.isEmpty());
        // Release 1 is what is installed; release 2 changes the launcher, the
        // readme and the updater, adds a file and keeps the library.
        s_installed = Tree{{QLatin1String(OrvelPlatform::kLauncherFileName), "#!/bin/sh\nexit 0\n"},
                           {QLatin1String(OrvelPlatform::kLibraryFileName), library},
                           {QLatin1String(OrvelPlatform::kUpdaterFileName), updater + "an older build"},
                           {QStringLiteral("Data/ReadMe.txt"), "readme one"},
                           {QStringLiteral("Data/kept.txt"), "kept as it is"}};
        s_published = s_installed;
        s_published[QLatin1String(OrvelPlatform::kLauncherFileName)] =
            "#!/bin/sh\nd=\"$(dirname \"$0\")\"\npwd > \"$d/launcher.tmp\"\nmv \"$d/launcher.tmp\" \"$d/" +
            kMarker.toUtf8() + "\"\n";
        s_published[QLatin1String(OrvelPlatform::kUpdaterFileName)] = updater;
        s_published[QStringLiteral("Data/ReadMe.txt")] = "readme two";
        s_published[QStringLiteral("Data/new/added.bin")] = OrvelTest::Bytes(20000, 5);

        std::vector<Tree> vecVersions;
        for (const Tree& launcher : {s_installed, s_published})
        {
            Tree version{{QStringLiteral("tools/editor.cfg"), QByteArray("resources")}};
            for (auto it = launcher.begin(); it != launcher.end(); ++it)
                version[QStringLiteral("EditorTool/QHalvaneLauncher/") + it.key()] = it.value();
            vecVersions.push_back(version);
        }
        ASSERT_TRUE(OrvelTest::PublishVersions(vecVersions, StoreDir()));
    }
    static void TearDownTestSuite()
    {
        delete s_pDir;
        s_pDir = nullptr;
    }
    static QString StoreDir() { return s_pDir->filePath(QStringLiteral("store")); }

    void SetUp() override
    {
        ASSERT_NE(s_pDir, nullptr);
        m_pServer = std::make_unique<OrvelTest::Nginx>(StoreDir());
        ASSERT_TRUE(m_pServer->Running());
        OrvelTest::WriteTree(App(), s_installed);
        for (const char* pszName : {OrvelPlatform::kLauncherFileName, OrvelPlatform::kUpdaterFileName})
            ASSERT_TRUE(
                QFile::setPermissions(App(pszName), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        OrvelTest::WriteReaderConfig(App("_cache/config_ofse.cfg"), m_pServer->BaseUrl(), App("_cache/ofse"));
        // The launcher was last updated from release 1.
        QSettings record(App("_cache/verlauncher.ini"), QSettings::IniFormat);
        record.setValue(QStringLiteral("General/currSyncVersion"), 1);
        record.setValue(QStringLiteral("General/currSyncGuid"), QStringLiteral("release one"));
    }

    QString App(const QString& strRelative = QString()) const
    {
        const QString strApp = m_dir.filePath(QStringLiteral("Launcher Dir"));
        return strRelative.isEmpty() ? strApp : strApp + QLatin1Char('/') + strRelative;
    }
    QString App(const char* pszRelative) const { return App(QString::fromUtf8(pszRelative)); }

    int RunSelfUpdate(const QStringList& vecExtra, QString* pstrOutput)
    {
        return RunSync(QStringLiteral("self-update"), vecExtra, pstrOutput);
    }
    int RunSync(const QString& strCommand, const QStringList& vecExtra, QString* pstrOutput)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(Bin("orvelsync"),
                      QStringList{strCommand, QStringLiteral("--app-dir"), App()} + vecExtra);
        if (!process.waitForStarted() || !process.waitForFinished(kDeadlineMs))
        {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        *pstrOutput = QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The installation once the new launcher runs: exactly the published
    // files (beside its settings, caches and logs), no package, no backup,
    // and the record on release 2.
    void ExpectUpdated()
    {
        ASSERT_TRUE(OrvelTest::WaitForFile(App(kMarker), kDeadlineMs)) << "the new launcher was not started";
        EXPECT_EQ(OrvelTest::ReadFile(App(kMarker)).trimmed(), QFileInfo(App()).canonicalFilePath().toUtf8());
        Tree now = OrvelTest::ReadTree(App());
        for (const QString& strKey : now.keys())
        {
            if (strKey.startsWith(QLatin1String("_cache/")) || strKey.startsWith(QLatin1String("_logs/")) ||
                strKey == QLatin1String("launcher.ini") || strKey == QLatin1String("PemCorvane.log") ||
                strKey == kMarker)
                now.remove(strKey);
        }
        EXPECT_EQ(QStringList(now.keys()).join(' ').toStdString(),
                  QStringList(s_published.keys()).join(' ').toStdString());
        for (auto it = s_published.begin(); it != s_published.end(); ++it)
            EXPECT_TRUE(now.value(it.key()) == it.value()) << it.key().toStdString();
        EXPECT_FALSE(QFileInfo::exists(App("QHalvaneLauncher_update.pkg")));
        EXPECT_FALSE(QFileInfo::exists(App(".bak")));
        QSettings record(App("_cache/verlauncher.ini"), QSettings::IniFormat);
        EXPECT_EQ(record.value(QStringLiteral("General/currSyncVersion")).toUInt(), 2u);
        const QStringList vecLogs =
            QDir(App("_logs")).entryList({QStringLiteral("updater_*.log")}, QDir::Files);
        ASSERT_EQ(vecLogs.size(), 1);
        EXPECT_TRUE(
            OrvelTest::ReadFile(App("_logs/") + vecLogs.first()).contains("Update completed successfully"));
    }

    static QTemporaryDir* s_pDir;
    static Tree s_installed;
    static Tree s_published;
    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
};

QTemporaryDir* SelfUpdateE2ETest::s_pDir = nullptr;
Tree SelfUpdateE2ETest::s_installed;
Tree SelfUpdateE2ETest::s_published;

TEST_F(SelfUpdateE2ETest, TheUpdaterReplacesTheInstallationWithThePublishedLauncher)
{
    QString strOutput;
    ASSERT_EQ(RunSelfUpdate({}, &strOutput), 0) << strOutput.toStdString();
    EXPECT_TRUE(strOutput.contains(QStringLiteral("Preparing to launch updater...")))
        << strOutput.toStdString();
    ExpectUpdated();

    // Once current, the same command changes nothing.
    QFile::remove(App(kMarker));
    ASSERT_EQ(RunSelfUpdate({}, &strOutput), 0) << strOutput.toStdString();
    EXPECT_TRUE(strOutput.contains(QStringLiteral("Launcher is already the newest version")));
    EXPECT_FALSE(QFileInfo::exists(App("QHalvaneLauncher_update.pkg")));
}

TEST_F(SelfUpdateE2ETest, ACheckOffersBothUpdatesAndDecliningTheLauncherFailsNothing)
{
    // Without --yes and a terminal the launcher's offer is declined: the check
    // still reports both updates (exit code 4: a newer version is published),
    // and nothing is handed over.
    const QString strWork = m_dir.filePath(QStringLiteral("work"));
    QString strOutput;
    ASSERT_EQ(RunSync(QStringLiteral("check"), {QStringLiteral("--work-path"), strWork}, &strOutput), 4)
        << strOutput.toStdString();
    EXPECT_TRUE(strOutput.contains(QStringLiteral("Launcher and resource updates available")))
        << strOutput.toStdString();
    EXPECT_FALSE(QFileInfo::exists(App("QHalvaneLauncher_update.pkg")));
    EXPECT_EQ(OrvelTest::ReadFile(App(OrvelPlatform::kLauncherFileName)),
              s_installed.value(QLatin1String(OrvelPlatform::kLauncherFileName)));
}

TEST_F(SelfUpdateE2ETest, LimitedModeStillUpdatesTheLauncher)
{
    // The product store cannot be opened; the launcher's own files are still published.
    const QString strMissing = App("_cache/missing.cfg");
    QString strOutput;
    ASSERT_EQ(RunSelfUpdate({QStringLiteral("--config"), strMissing}, &strOutput), 0)
        << strOutput.toStdString();
    EXPECT_TRUE(strOutput.contains(QStringLiteral("Configuration file not found: %1").arg(strMissing)));
    EXPECT_TRUE(strOutput.contains(QStringLiteral("Launcher update available")));
    ExpectUpdated();
}

} // namespace
