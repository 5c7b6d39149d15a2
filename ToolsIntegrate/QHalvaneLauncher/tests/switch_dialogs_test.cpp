// The version browse and weak-replacement dialogs under the offscreen
// platform, over a real store served by nginx and read through the real
// library; buttons are clicked as a user would.
#include "LauncherSettings.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "OrvelVersionBrowseDialog.h"
#include "OrvelWeakReplacementDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using Tree = QMap<QString, QByteArray>;

class SwitchDialogsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pStoreDir = new QTemporaryDir();
        OrvelCorvaneBinding::SetLibraryDirectory(OrvelTest::BinDir());
        const QString strTree = s_pStoreDir->filePath(QStringLiteral("tree"));
        Tree tree;
        tree[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(3000, 1);
        tree[QStringLiteral("data/b.txt")] = "b";
        tree[QStringLiteral("res/c.dat")] = OrvelTest::Bytes(2000, 2);
        for (quint32 uVersion = 1; uVersion <= 2; ++uVersion)
        {
            tree[QStringLiteral("data/b.txt")] = QByteArray("b of ") + QByteArray::number(uVersion);
            OrvelTest::WriteTree(strTree, tree);
            ASSERT_TRUE(OrvelTest::PackVersion(strTree, StoreDir(), uVersion));
        }
        s_tree = tree;
    }
    static void TearDownTestSuite()
    {
        delete s_pStoreDir;
        s_pStoreDir = nullptr;
    }
    static QString StoreDir() { return s_pStoreDir->filePath(QStringLiteral("store")); }

    void SetUp() override
    {
        m_pServer = std::make_unique<OrvelTest::Nginx>(StoreDir());
        ASSERT_TRUE(m_pServer->Running());
    }

    QString WorkPath() const { return m_dir.filePath(QStringLiteral("work")); }
    QString Local(const QString& strRelative) const { return QDir(WorkPath()).filePath(strRelative); }

    std::unique_ptr<OrvelFileService> NewService(quint32 uVersion)
    {
        const QString strConfig = m_dir.filePath(QStringLiteral("store.cfg"));
        OrvelTest::WriteReaderConfig(strConfig, m_pServer->BaseUrl(),
                                     m_dir.filePath(QStringLiteral("cache")));
        auto pService = std::make_unique<OrvelFileService>();
        EXPECT_TRUE(pService->Initialize(strConfig, uVersion)) << pService->LastError().toStdString();
        return pService;
    }

    // A file a running tool would hold: read-only, so it cannot be replaced.
    WeakReplacementFailure HeldFile(const QString& strRelative)
    {
        OrvelTest::WriteFile(Local(strRelative), "held");
        EXPECT_TRUE(QFile::setPermissions(Local(strRelative), QFile::ReadOwner));
        return {strRelative, Local(strRelative), QStringLiteral("held by a tool"), false};
    }
    void Release(const QString& strRelative)
    {
        QFile::setPermissions(Local(strRelative), QFile::ReadOwner | QFile::WriteOwner);
    }

    static QPushButton* Button(QWidget* pDialog, const QString& strText)
    {
        for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
        {
            if (pButton->text() == strText)
                return pButton;
        }
        return nullptr;
    }

    static QTemporaryDir* s_pStoreDir;
    static Tree s_tree;
    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
};

QTemporaryDir* SwitchDialogsTest::s_pStoreDir = nullptr;
Tree SwitchDialogsTest::s_tree;

// With ORVEL_SCREENSHOT_DIR set (scripts/screenshots.sh), each state the tests
// reach is also saved as a picture to look at.
void Shot(QWidget& widget, const char* pszName)
{
    const QString strDir = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (strDir.isEmpty())
        return;
    QCoreApplication::processEvents();
    EXPECT_TRUE(
        widget.grab().save(strDir + QLatin1Char('/') + QLatin1String(pszName) + QStringLiteral(".png")));
}

TEST_F(SwitchDialogsTest, WeakReplacementRetriesTheCheckedRowsAndKeepsWhatStillFails)
{
    auto pService = NewService(2);
    const std::vector<WeakReplacementFailure> vecFailures = {HeldFile(QStringLiteral("data/a.bin")),
                                                             HeldFile(QStringLiteral("data/b.txt")),
                                                             HeldFile(QStringLiteral("res/c.dat"))};
    OrvelWeakReplacementDialog dialog(vecFailures, pService.get(), WorkPath());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Weak Replacement Failures"));
    EXPECT_EQ(dialog.size(), QSize(1200, 680));
    auto* pTable = dialog.findChild<QTableView*>();
    ASSERT_NE(pTable, nullptr);
    auto* pModel = qobject_cast<QStandardItemModel*>(pTable->model());
    ASSERT_EQ(pModel->rowCount(), 3);
    EXPECT_EQ(pModel->item(0, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(pModel->item(2, 1)->text(), QStringLiteral("held by a tool"));

    // b is left out; a's tool was closed; c's still runs.
    pModel->item(1, 0)->setCheckState(Qt::Unchecked);
    Shot(dialog, "weak_replacement_offered");
    Release(QStringLiteral("data/a.bin"));
    QPushButton* pReplace = Button(&dialog, QStringLiteral("Replace Selected"));
    QPushButton* pSkip = Button(&dialog, QStringLiteral("Skip"));
    ASSERT_NE(pReplace, nullptr);
    ASSERT_NE(pSkip, nullptr);
    QTest::mouseClick(pReplace, Qt::LeftButton);

    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("data/a.bin"))),
              s_tree.value(QStringLiteral("data/a.bin")));
    ASSERT_EQ(pModel->rowCount(), 1);
    EXPECT_EQ(pModel->item(0, 0)->data(Qt::UserRole + 1).toString(), QStringLiteral("res/c.dat"));
    EXPECT_NE(pModel->item(0, 1)->text(), QStringLiteral("held by a tool")); // the new reason
    EXPECT_EQ(dialog.findChild<QLabel*>()->text(),
              QStringLiteral("1 selected file(s) still failed. Select the files to retry again."));
    EXPECT_TRUE(pReplace->isEnabled());
    Shot(dialog, "weak_replacement_still_failed");

    QTest::mouseClick(pSkip, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    const std::vector<WeakReplacementFailure> vecUnresolved = dialog.UnresolvedFailures();
    ASSERT_EQ(vecUnresolved.size(), 2u);
    EXPECT_EQ(vecUnresolved[0].strRelativePath, QStringLiteral("data/b.txt"));
    EXPECT_EQ(vecUnresolved[1].strRelativePath, QStringLiteral("res/c.dat"));
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("res/c.dat"))), QByteArray("held"));

    // Once c's tool is closed too, replacing it closes the dialog as accepted.
    Release(QStringLiteral("res/c.dat"));
    OrvelWeakReplacementDialog again({vecUnresolved[1]}, pService.get(), WorkPath());
    again.show();
    QTest::mouseClick(Button(&again, QStringLiteral("Replace Selected")), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_TRUE(again.UnresolvedFailures().empty());
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("res/c.dat"))),
              s_tree.value(QStringLiteral("res/c.dat")));

    // Without a file service nothing is retried and every row stays unresolved.
    OrvelWeakReplacementDialog noService(vecFailures, nullptr, WorkPath());
    noService.show();
    QTest::mouseClick(Button(&noService, QStringLiteral("Replace Selected")), Qt::LeftButton);
    EXPECT_EQ(noService.result(), QDialog::Rejected);
    ASSERT_EQ(noService.UnresolvedFailures().size(), 3u);
    EXPECT_EQ(noService.UnresolvedFailures()[0].strError,
              QStringLiteral("Weak replacement retry skipped: target file service unavailable"));
    Release(QStringLiteral("data/b.txt"));
}

TEST_F(SwitchDialogsTest, VersionBrowseListsNewestFirstPreselectsTheCurrentAndSpeaksChinese)
{
    auto pService = NewService(1);
    OrvelVersionBrowseDialog dialog(pService.get());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Version Browse"));
    EXPECT_EQ(dialog.size(), QSize(400, 150));
    auto* pCombo = dialog.findChild<QComboBox*>(QStringLiteral("versionBrowseCombo"));
    ASSERT_NE(pCombo, nullptr);
    EXPECT_EQ(pCombo->view()->objectName(), QStringLiteral("versionBrowseComboPopup"));
    ASSERT_EQ(pCombo->count(), 2);
    EXPECT_TRUE(pCombo->itemText(0).startsWith(QLatin1String("v2"))) << pCombo->itemText(0).toStdString();
    EXPECT_EQ(pCombo->currentIndex(), 1);
    EXPECT_EQ(dialog.SelectedVersion(), 1u);
    Shot(dialog, "version_browse");
    pCombo->setCurrentIndex(0);
    QTest::mouseClick(Button(&dialog, QStringLiteral("Yes")), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedVersion(), 2u);
    EXPECT_EQ(OrvelVersionBrowseDialog(nullptr).SelectedVersion(), 0u);

    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/translations/QHalvaneLauncher_zh_CN.qm")));
    QCoreApplication::installTranslator(&translator);
    EXPECT_EQ(OrvelVersionBrowseDialog(nullptr).windowTitle(), QString::fromUtf8("版本浏览"));
    OrvelVersionBrowseDialog chinese(pService.get());
    chinese.show();
    Shot(chinese, "version_browse_zh_CN");
    OrvelWeakReplacementDialog weak({}, nullptr, WorkPath());
    EXPECT_EQ(weak.windowTitle(), QString::fromUtf8("弱替换失败"));
    EXPECT_NE(Button(&weak, QString::fromUtf8("替换所选")), nullptr);
    QCoreApplication::removeTranslator(&translator);
}

} // namespace
