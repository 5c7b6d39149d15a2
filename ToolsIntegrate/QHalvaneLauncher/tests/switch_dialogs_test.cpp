// The version browse and weak-replacement dialogs under the offscreen
// platform, over a real store served by nginx and read through the real
// library; buttons are clicked as a user would.
#include "OrvelTestGui.h"
#include "OrvelTestPublishedStore.h"
#include "OrvelVersionBrowseDialog.h"
#include "OrvelWeakReplacementDialog.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

namespace
{

using OrvelTest::ButtonWithText;
using OrvelTest::Tree;

class SwitchDialogsTest : public OrvelTest::PublishedStoreTest<SwitchDialogsTest>
{
public:
    static std::vector<Tree> MakeVersions()
    {
        Tree tree;
        tree[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(3000, 1);
        tree[QStringLiteral("data/b.txt")] = "b of 1";
        tree[QStringLiteral("res/c.dat")] = OrvelTest::Bytes(2000, 2);
        Tree two = tree;
        two[QStringLiteral("data/b.txt")] = "b of 2";
        return {tree, two};
    }

protected:
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
};

// Each state is checked as a picture, and saved with ORVEL_SCREENSHOT_DIR set.
void Shot(QWidget& widget, const char* pszName)
{
    OrvelTest::Shot(widget, QLatin1String(pszName));
}

TEST_F(SwitchDialogsTest, WeakReplacementRetriesTheCheckedRowsAndKeepsWhatStillFails)
{
    auto pService = NewService(2);
    const std::vector<WeakReplacementFailure> vecFailures = {HeldFile(QStringLiteral("data/a.bin")),
                                                             HeldFile(QStringLiteral("data/b.txt")),
                                                             HeldFile(QStringLiteral("res/c.dat"))};
    OrvelWeakReplacementDialog dialog(vecFailures, pService.get(), WorkPath());
    dialog.show();
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
    QPushButton* pReplace = ButtonWithText(&dialog, QStringLiteral("Replace Selected"));
    QPushButton* pSkip = ButtonWithText(&dialog, QStringLiteral("Skip"));
    ASSERT_NE(pReplace, nullptr);
    ASSERT_NE(pSkip, nullptr);
    QTest::mouseClick(pReplace, Qt::LeftButton);

    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("data/a.bin"))),
              Version(2).value(QStringLiteral("data/a.bin")));
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
    QTest::mouseClick(ButtonWithText(&again, QStringLiteral("Replace Selected")), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_TRUE(again.UnresolvedFailures().empty());
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("res/c.dat"))),
              Version(2).value(QStringLiteral("res/c.dat")));

    // Without a file service nothing is retried and every row stays unresolved.
    OrvelWeakReplacementDialog noService(vecFailures, nullptr, WorkPath());
    noService.show();
    QTest::mouseClick(ButtonWithText(&noService, QStringLiteral("Replace Selected")), Qt::LeftButton);
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
    auto* pCombo = dialog.findChild<QComboBox*>(QStringLiteral("versionBrowseCombo"));
    ASSERT_NE(pCombo, nullptr);
    ASSERT_EQ(pCombo->count(), 2);
    EXPECT_TRUE(pCombo->itemText(0).startsWith(QLatin1String("v2"))) << pCombo->itemText(0).toStdString();
    EXPECT_EQ(pCombo->currentIndex(), 1);
    EXPECT_EQ(dialog.SelectedVersion(), 1u);
    Shot(dialog, "version_browse");
    pCombo->setCurrentIndex(0);
    QTest::mouseClick(ButtonWithText(&dialog, QStringLiteral("Yes")), Qt::LeftButton);
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
    EXPECT_NE(ButtonWithText(&weak, QString::fromUtf8("替换所选")), nullptr);
    QCoreApplication::removeTranslator(&translator);
}

} // namespace
