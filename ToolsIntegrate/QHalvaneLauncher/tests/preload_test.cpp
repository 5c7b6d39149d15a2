// Preload: the table and list readers over the inputs a server may send, and
// whole runs through the controller against a real product store served by
// nginx and a real local preload store, read through the real library.
#include "LauncherSettings.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelPreloadItem.h"
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "RuntimeConfigWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using Tree = QMap<QString, QByteArray>;

QStringList Names(const OrvelPreloadItemList& vecItems)
{
    QStringList vecOut;
    for (const OrvelPreloadItem& item : vecItems)
        vecOut.append(item.name);
    return vecOut;
}

TEST(PreloadTableTest, NamedObjectsBecomeItemsAndEverythingElseIsSkippedOrRefused)
{
    const OrvelPreload::TableParse table = OrvelPreload::ParseTable(R"([
        {"Name": " Textures_HD ", "PakSize": 2048},
        {"Name": "Textures_HD", "PakSize": "2048"},
        {"Name": "   ", "PakSize": 1},
        {"PakSize": 1}, 42, "text", null, [1],
        {"Name": 7},
        {"Name": "Sounds", "PakSize": "lots"},
        {"Name": "Maps", "PakSize": -5},
        {"Name": "Big", "PakSize": "18446744073709551615"},
        {"Name": "../../escape"}, {"Name": "/abs"}, {"Name": "C:\\win"}, {"Name": "new\nline"}
    ])");
    ASSERT_TRUE(table.bOk) << table.strError.toStdString();
    EXPECT_EQ(Names(table.vecItems),
              (QStringList{QStringLiteral("Textures_HD"), QStringLiteral("Textures_HD"),
                           QStringLiteral("Sounds"), QStringLiteral("Maps"), QStringLiteral("Big")}));
    // The same name and size give one key, whether the size came as a number or a string.
    EXPECT_EQ(table.vecItems.at(0).key, QStringLiteral("Textures_HD|2048"));
    EXPECT_EQ(table.vecItems.at(1).key, table.vecItems.at(0).key);
    EXPECT_EQ(table.vecItems.at(2).size, 0u);
    EXPECT_EQ(table.vecItems.at(3).size, 0u);
    EXPECT_EQ(table.vecItems.at(4).size, 18446744073709551615ull);
    EXPECT_EQ(table.nRefused, 4);

    const OrvelPreload::TableParse broken = OrvelPreload::ParseTable("[{\"Name\": ");
    EXPECT_FALSE(broken.bOk);
    EXPECT_TRUE(broken.strError.startsWith(QStringLiteral("Failed to parse preload table JSON: ")))
        << broken.strError.toStdString();
    const OrvelPreload::TableParse object = OrvelPreload::ParseTable("{\"Name\": \"x\"}");
    EXPECT_FALSE(object.bOk);
    EXPECT_EQ(object.strError, QStringLiteral("Preload table JSON root must be an array"));
}

TEST(PreloadTableTest, ListsKeepTheTrimmedNonEmptyLinesAndRefuseUnsafePaths)
{
    const OrvelPreload::ListParse list = OrvelPreload::ParseList(
        QStringLiteral("packs/a.dds\r\n\r\n   packs/b.dds  \r\rpacks\\c.dds\n../up.dds\n/abs.dds\nd:/x\n\n"));
    EXPECT_EQ(list.vecPaths, (QStringList{QStringLiteral("packs/a.dds"), QStringLiteral("packs/b.dds"),
                                          QStringLiteral("packs\\c.dds")}));
    EXPECT_EQ(list.nRefused, 3);
    EXPECT_EQ(OrvelPreload::ListFileName(QStringLiteral("核心必备")), QStringLiteral("核心必备.list"));
    EXPECT_TRUE(OrvelPreload::ListFileName(QStringLiteral("a/../../b")).isEmpty());
}

using OrvelTest::WaitUntil;

class PreloadRunTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new QTemporaryDir();
        OrvelCorvaneBinding::SetLibraryDirectory(OrvelTest::BinDir());
        Tree product;
        for (int i = 0; i < 4; ++i)
            product[QStringLiteral("packs/hd/t%1.dds").arg(i)] = OrvelTest::Bytes(30000, 10 + i);
        product[QStringLiteral("packs/core/c1.bin")] = OrvelTest::Bytes(30000, 1);
        product[QStringLiteral("packs/core/c2.bin")] = OrvelTest::Bytes(30000, 2);
        product[QStringLiteral("other/x.bin")] = OrvelTest::Bytes(30000, 3);
        ASSERT_TRUE(OrvelTest::PublishVersions({product}, Path(QStringLiteral("product"))));

        Tree preload;
        preload[QStringLiteral("_preloadtable.json")] =
            R"([{"Name": "核心必备", "PakSize": 60000}, {"Name": "Textures_HD", "PakSize": "60000"},
                {"Name": "Missing"}, {"Name": "Huge"}])";
        preload[QStringLiteral("核心必备.list")] = "packs/core/c1.bin\r\n\r\n  packs/core/c2.bin  \r\n";
        preload[QStringLiteral("textures_hd.list")] =
            "packs/hd/t1.dds\npacks/hd/t2.dds\n../../etc/passwd\n/abs/path\npacks/hd/nothere.dds\n";
        preload[QStringLiteral("missing.list")] = "no/such/a\nno/such/b\n";
        QByteArray huge;
        while (huge.size() <= OrvelPreload::kMaxTextBytes)
            huge += "packs/hd/t1.dds\n";
        preload[QStringLiteral("huge.list")] = huge;
        ASSERT_TRUE(OrvelTest::PublishVersions({preload}, Path(QStringLiteral("preload"))));
    }
    static void TearDownTestSuite()
    {
        delete s_pDir;
        s_pDir = nullptr;
    }
    static QString Path(const QString& strName) { return s_pDir->filePath(strName); }

    void SetUp() override
    {
        OrvelPreload::RegisterMetaTypes();
        m_pServer = std::make_unique<OrvelTest::Nginx>(Path(QStringLiteral("product")));
        ASSERT_TRUE(m_pServer->Running());
        m_pSettings = std::make_unique<LauncherSettings>(AppDir());
        m_pSettings->setWorkPath(WorkPath());
        m_pWriter = std::make_unique<RuntimeConfigWriter>(AppDir());
        ASSERT_TRUE(m_pWriter->SetClientProductsServer(m_pServer->BaseUrl()));
        ASSERT_TRUE(m_pWriter->WriteClientProductsConfig(WorkPath())) << m_pWriter->LastError().toStdString();
        // The preload store is local only, as the launcher's own configuration has it.
        QFile config(PreloadConfig());
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"global": {"local": 1, "remote": 0, "threadcount": 16},
            "local": {"desc": "preload", "dir": "%1"}, "remote": {"count": 0}})")
                         .arg(Path(QStringLiteral("preload")))
                         .toUtf8());
        config.close();

        m_pController = std::make_unique<OrvelLauncherController>(m_pSettings.get());
        m_pStatus =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::StatusChanged);
        m_pLog = std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::LogMessage);
        m_pFinished =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::PreloadFinished);
    }

    QString AppDir() const { return m_dir.filePath(QStringLiteral("app")); }
    QString WorkPath() const { return m_dir.filePath(QStringLiteral("work")); }
    QString PreloadConfig() const { return m_dir.filePath(QStringLiteral("preload.cfg")); }

    OrvelPreloadItem Item(const QString& strName, quint64 uSize = 0) const
    {
        return {OrvelPreloadItem::MakeKey(strName, uSize), strName, uSize, QString()};
    }

    // Runs the tasks through the controller; returns PreloadFinished's flag.
    bool Run(const OrvelPreloadItemList& vecTasks)
    {
        const int nBefore = m_pFinished->size();
        m_pController->StartPreloadExecution(vecTasks, PreloadConfig(),
                                             m_pWriter->ClientProductsConfigPath());
        EXPECT_TRUE(WaitUntil([&] { return m_pFinished->size() > nBefore && !m_pController->IsBusy(); }));
        return m_pFinished->size() > nBefore && m_pFinished->last().at(0).toBool();
    }
    QString LastStatus() const
    {
        return m_pStatus->isEmpty() ? QString() : m_pStatus->last().at(0).toString();
    }
    QStringList Logs() const { return OrvelTest::Texts(*m_pLog); }
    QStringList PackageGets() const
    {
        m_pServer->Settle();
        QStringList vecOut;
        for (const QString& strLine : m_pServer->Gets(QStringLiteral("/")))
        {
            const QString strUri = strLine.section(QLatin1Char(' '), 1, 1);
            if (strUri.endsWith(QLatin1String(".dat")))
                vecOut.append(strUri);
        }
        return vecOut;
    }

    static QTemporaryDir* s_pDir;
    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<RuntimeConfigWriter> m_pWriter;
    std::unique_ptr<OrvelLauncherController> m_pController;
    std::unique_ptr<QSignalSpy> m_pStatus;
    std::unique_ptr<QSignalSpy> m_pLog;
    std::unique_ptr<QSignalSpy> m_pFinished;
};

QTemporaryDir* PreloadRunTest::s_pDir = nullptr;

TEST_F(PreloadRunTest, ARunLeavesTheListedResourcesInTheCacheFetchingEachPackageOnce)
{
    ASSERT_TRUE(Run({Item(QStringLiteral("核心必备"), 60000), Item(QStringLiteral("Textures_HD"), 60000)}))
        << Logs().join('\n').toStdString();
    EXPECT_EQ(LastStatus(), QStringLiteral("Preload finished: 4 succeeded, 1 skipped"));
    EXPECT_TRUE(Logs().contains(QStringLiteral("Preload task started")));
    EXPECT_TRUE(
        Logs().contains(QStringLiteral("Preload list Textures_HD.list: 2 unsafe resource path(s) refused")))
        << Logs().join('\n').toStdString();

    // Whole packages, each fetched once, kept under the working path's
    // client-products cache; the working path itself gains no resource.
    const QStringList vecFirst = PackageGets();
    ASSERT_FALSE(vecFirst.isEmpty());
    EXPECT_EQ(vecFirst.size(), QSet<QString>(vecFirst.begin(), vecFirst.end()).size())
        << vecFirst.join('\n').toStdString();
    for (const QString& strUri : vecFirst)
        EXPECT_TRUE(QFileInfo::exists(WorkPath() + QStringLiteral("/clientCorvane") + strUri))
            << strUri.toStdString();
    EXPECT_FALSE(QFileInfo::exists(WorkPath() + QStringLiteral("/packs")));

    // A second run finds everything cached.
    ASSERT_TRUE(Run({Item(QStringLiteral("核心必备"), 60000), Item(QStringLiteral("Textures_HD"), 60000)}));
    EXPECT_EQ(PackageGets(), vecFirst);
}

TEST_F(PreloadRunTest, APauseDropsThePlansDownloadsAndAResumeFinishesTheRun)
{
    // Packages trickle in, so the plan is still writing one when the pause comes.
    OrvelTest::Nginx slow(Path(QStringLiteral("product")),
                          QStringLiteral("location ~ \\.dat$ { limit_rate 16k; }"));
    ASSERT_TRUE(slow.Running());
    ASSERT_TRUE(m_pWriter->SetClientProductsServer(slow.BaseUrl()));
    ASSERT_TRUE(m_pWriter->WriteClientProductsConfig(WorkPath())) << m_pWriter->LastError().toStdString();
    const auto fnPartial = [&]
    {
        // A package the plan is writing into the cache.
        int nCount = 0;
        QDirIterator it(WorkPath() + QStringLiteral("/clientCorvane"), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            nCount += it.next().endsWith(QLatin1String(".tmp"));
        return nCount;
    };
    QSignalSpy pauses(m_pController.get(), &OrvelLauncherController::PauseStateChanged);
    const int nBefore = m_pFinished->size();
    m_pController->StartPreloadExecution({Item(QStringLiteral("核心必备"), 60000)}, PreloadConfig(),
                                         m_pWriter->ClientProductsConfigPath());
    ASSERT_TRUE(WaitUntil([&] { return fnPartial() > 0; }, 30000));
    m_pController->TogglePause();
    ASSERT_TRUE(WaitUntil([&] { return !pauses.isEmpty() && pauses.last().at(1).toBool(); }, 10000));
    // The unfinished package is dropped at once (its transfer cut short, not
    // left to finish), and none starts while paused.
    ASSERT_TRUE(WaitUntil([&] { return fnPartial() == 0; }, 10000));
    EXPECT_TRUE(slow.WaitForLog(
        [&](const QStringList& vecLines)
        {
            for (const QString& strLine : vecLines)
            {
                const QString strUri = strLine.section(QLatin1Char(' '), 1, 1);
                if (strLine.startsWith(QLatin1String("GET /dat/")) &&
                    strLine.section(QLatin1Char(' '), 2, 2) == QLatin1String("200") &&
                    strLine.section(QLatin1Char(' '), 3, 3).toLongLong() <
                        QFileInfo(Path(QStringLiteral("product")) + strUri).size())
                    return true;
            }
            return false;
        },
        10000))
        << slow.AccessLog().join('\n').toStdString();
    for (int i = 0; i < 20; ++i)
    {
        QCoreApplication::processEvents();
        QThread::msleep(50);
        EXPECT_EQ(fnPartial(), 0);
    }
    m_pController->TogglePause();
    ASSERT_TRUE(WaitUntil([&] { return m_pFinished->size() > nBefore && !m_pController->IsBusy(); }, 60000));
    EXPECT_TRUE(m_pFinished->last().at(0).toBool());
    EXPECT_EQ(LastStatus(), QStringLiteral("Preload finished: 2 succeeded, 0 skipped"));
}

TEST_F(PreloadRunTest, FilesThatCannotBeOpenedAreSkippedAndBadListsFailTheRun)
{
    // Every file fails: still a finished run, all of them skipped.
    EXPECT_TRUE(Run({Item(QStringLiteral("Missing"))}));
    EXPECT_EQ(LastStatus(), QStringLiteral("Preload finished: 0 succeeded, 2 skipped"));

    EXPECT_FALSE(Run({Item(QStringLiteral("Huge"))}));
    EXPECT_TRUE(
        LastStatus().startsWith(QStringLiteral("Preload failed: Failed to read Huge.list: File too large")))
        << LastStatus().toStdString();
    EXPECT_FALSE(Run({Item(QStringLiteral("NotInTheStore"))}));
    EXPECT_TRUE(LastStatus().startsWith(
        QStringLiteral("Preload failed: Failed to read NotInTheStore.list: Cannot open remote file")))
        << LastStatus().toStdString();

    EXPECT_FALSE(Run({}));
    EXPECT_EQ(LastStatus(), QStringLiteral("Preload task is empty"));
    EXPECT_TRUE(Logs().contains(QStringLiteral("Preload start skipped: todo list is empty")));
    EXPECT_TRUE(PackageGets().isEmpty());
}

} // namespace
