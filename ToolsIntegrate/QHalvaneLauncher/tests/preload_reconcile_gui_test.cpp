// The preload page and the two reconcile dialogs under the offscreen
// platform: the page over a real local preload store read through the real
// library, the dialogs over plans as the scan makes them; clicks as a user
// makes them. With ORVEL_SCREENSHOT_DIR set (scripts/screenshots.sh) each
// state is also saved as a picture.
#include "LauncherSettings.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelDirectoryReconcileDialog.h"
#include "OrvelPreloadPageWidget.h"
#include "OrvelReconcilePlanDialog.h"
#include "OrvelTestGui.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "RuntimeConfigWriter.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

void Shot(QWidget& widget, const char* pszName)
{
    const QString strDir = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (strDir.isEmpty())
        return;
    // Pictured with the launcher's own style sheet, as users see them.
    QFile style(QStringLiteral(":/style/style.qss"));
    ASSERT_TRUE(style.open(QIODevice::ReadOnly));
    const QString strBefore = widget.styleSheet();
    widget.setStyleSheet(QString::fromUtf8(style.readAll()));
    QCoreApplication::processEvents();
    EXPECT_TRUE(
        widget.grab().save(strDir + QLatin1Char('/') + QLatin1String(pszName) + QStringLiteral(".png")));
    widget.setStyleSheet(strBefore);
}

using OrvelTest::ButtonWithText;

QStringList Names(const OrvelPreloadItemList& vecItems)
{
    QStringList vecOut;
    for (const OrvelPreloadItem& item : vecItems)
        vecOut.append(item.name);
    return vecOut;
}

class PreloadPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvelCorvaneBinding::SetLibraryDirectory(OrvelTest::BinDir());
        QMap<QString, QByteArray> preload;
        preload[QStringLiteral("_preloadtable.json")] = R"([
            {"Name": "Sounds", "PakSize": 1200}, {"Name": "Textures_HD", "PakSize": 52428800},
            {"Name": "Maps", "PakSize": "900"}, {"Name": "核心必备", "PakSize": 1},
            {"Name": "Textures_LD", "PakSize": 7}, {"Name": "Textures_HD", "PakSize": "52428800"},
            {"Name": "  "}])";
        ASSERT_TRUE(OrvelTest::PublishVersions({preload}, m_dir.filePath(QStringLiteral("preload"))));
        // The launcher's copy-once configuration, here pointing at the test's store.
        OrvelTest::WriteFile(AppDir() + QStringLiteral("/_cache/config_ofs_preload.cfg"),
                             QStringLiteral(R"({"global": {"local": 1, "remote": 0, "threadcount": 16},
                                 "local": {"desc": "preload", "dir": "%1"}, "remote": {"count": 0}})")
                                 .arg(m_dir.filePath(QStringLiteral("preload")))
                                 .toUtf8());
        m_pSettings = std::make_unique<LauncherSettings>(AppDir());
        m_pSettings->setWorkPath(m_dir.filePath(QStringLiteral("work")));
        m_pSettings->markPreloadCompleted(QStringLiteral("Maps|900"), QStringLiteral("Maps"),
                                          QDateTime::currentDateTime());
        m_pWriter = std::make_unique<RuntimeConfigWriter>(AppDir());
    }

    QString AppDir() const { return m_dir.filePath(QStringLiteral("app")); }

    QTemporaryDir m_dir;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<RuntimeConfigWriter> m_pWriter;
};

TEST_F(PreloadPageTest, SearchQueueStartAndCompletion)
{
    OrvelPreloadPageWidget page(m_pSettings.get(), m_pWriter.get());
    page.resize(900, 520);
    page.show();
    QSignalSpy log(&page, &OrvelPreloadPageWidget::LogMessage);
    QSignalSpy start(&page, &OrvelPreloadPageWidget::StartExecutionRequested);
    QSignalSpy back(&page, &OrvelPreloadPageWidget::BackRequested);
    page.Activate();
    ASSERT_TRUE(page.IsLoaded()) << log.last().at(0).toString().toStdString();
    EXPECT_EQ(page.Items().size(), 6);
    // Pinned first, then open items, completed ones last; table order within each.
    const QString strPinned = QString::fromUtf8(OrvelPreloadPageWidget::kPinnedName);
    EXPECT_EQ(
        Names(page.VisibleItems()),
        (QStringList{strPinned, QStringLiteral("Sounds"), QStringLiteral("Textures_HD"),
                     QStringLiteral("Textures_LD"), QStringLiteral("Textures_HD"), QStringLiteral("Maps")}));

    auto* pSearch = page.findChild<QLineEdit*>(QStringLiteral("preloadSearchEdit"));
    auto* pCards = page.findChild<QListWidget*>(QStringLiteral("preloadCardList"));
    auto* pStart = page.findChild<QPushButton*>(QStringLiteral("preloadStartButton"));
    auto* pCount = page.findChild<QLabel*>(QStringLiteral("preloadTodoCountLabel"));
    ASSERT_TRUE(pSearch && pCards && pStart && pCount);
    EXPECT_FALSE(pStart->isEnabled());
    QTest::keyClicks(pSearch, QStringLiteral(" TEX "));
    QTest::keyClick(pSearch, Qt::Key_Return);
    EXPECT_EQ(Names(page.VisibleItems()),
              (QStringList{strPinned, QStringLiteral("Textures_HD"), QStringLiteral("Textures_LD"),
                           QStringLiteral("Textures_HD")}));
    EXPECT_EQ(log.last().at(0).toString(), QStringLiteral("Search applied: 4 match(es)"));

    // Both Textures_HD cards share a key: it is queued once.
    auto click = [&](int nRow)
    {
        const QRect rect = pCards->visualItemRect(pCards->item(nRow));
        QTest::mouseClick(pCards->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    };
    click(1);
    click(3);
    click(0);
    EXPECT_EQ(Names(page.TodoItems()), (QStringList{QStringLiteral("Textures_HD"), strPinned}));
    EXPECT_EQ(pCount->text(), QStringLiteral("2 item(s)"));
    EXPECT_TRUE(pStart->isEnabled());
    Shot(page, "preload_page_queued");

    // The pinned item leaves the to-do list by its own button.
    auto* pTodo = page.findChild<QListWidget*>(QStringLiteral("preloadTodoList"));
    ASSERT_EQ(pTodo->count(), 2);
    auto* pDelete =
        pTodo->itemWidget(pTodo->item(1))->findChild<QPushButton*>(QStringLiteral("preloadTodoDeleteButton"));
    ASSERT_NE(pDelete, nullptr);
    QTest::mouseClick(pDelete, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(Names(page.TodoItems()), QStringList{QStringLiteral("Textures_HD")});
    EXPECT_EQ(log.last().at(0).toString(), QStringLiteral("Preload item removed: %1").arg(strPinned));

    QTest::mouseClick(pStart, Qt::LeftButton);
    ASSERT_EQ(start.size(), 1);
    EXPECT_EQ(Names(start.at(0).at(0).value<OrvelPreloadItemList>()),
              QStringList{QStringLiteral("Textures_HD")});
    EXPECT_EQ(start.at(0).at(1).toString(), AppDir() + QStringLiteral("/_cache/config_ofs_preload.cfg"));
    EXPECT_EQ(start.at(0).at(2).toString(), AppDir() + QStringLiteral("/_cache/config_ofsp.cfg"));
    EXPECT_EQ(back.size(), 1);
    EXPECT_TRUE(page.IsBusy());
    EXPECT_FALSE(pStart->isEnabled());
    EXPECT_FALSE(pSearch->isEnabled());
    EXPECT_FALSE(pCards->isEnabled());

    page.OnExecutionFinished(true);
    EXPECT_FALSE(page.IsBusy());
    EXPECT_TRUE(page.TodoItems().isEmpty());
    EXPECT_TRUE(m_pSettings->completedPreloadItems().contains(QStringLiteral("Textures_HD|52428800")));
    EXPECT_EQ(Names(page.VisibleItems()),
              (QStringList{strPinned, QStringLiteral("Textures_LD"), QStringLiteral("Textures_HD"),
                           QStringLiteral("Textures_HD")}));
    auto* pLastLabel =
        pCards->itemWidget(pCards->item(3))->findChild<QLabel*>(QStringLiteral("preloadCardNameLabel"));
    ASSERT_NE(pLastLabel, nullptr);
    EXPECT_TRUE(pLastLabel->property("completed").toBool());

    page.OnStartExecution();
    EXPECT_EQ(log.last().at(0).toString(), QStringLiteral("Preload start skipped: todo list is empty"));
    EXPECT_EQ(start.size(), 1);
}

TEST(ReconcileDialogsTest, DirectoryChecksFollowTheTreeAndTheSelectionIsTheTopmostChecked)
{
    QTemporaryDir dir;
    const QString strWork = dir.filePath(QStringLiteral("work"));
    OrvelDirectoryReconcileDialog dialog(strWork,
                                         {QString(), QStringLiteral("data"), QStringLiteral("data/sub"),
                                          QStringLiteral("data/two"), QStringLiteral("res")});
    dialog.show();
    QStandardItemModel* pModel = dialog.Model();
    ASSERT_EQ(pModel->rowCount(), 1);
    QStandardItem* pRoot = pModel->item(0);
    EXPECT_EQ(pRoot->text(), QStringLiteral("work"));
    ASSERT_EQ(pRoot->rowCount(), 2);
    QStandardItem* pData = pRoot->child(0);
    EXPECT_EQ(pData->text(), QStringLiteral("data"));
    ASSERT_EQ(pData->rowCount(), 2);
    EXPECT_EQ(pData->child(1)->data(Qt::UserRole).toString(), QStringLiteral("data/two"));
    EXPECT_EQ(dialog.SelectedDirectories(), QStringList{QString()});
    ASSERT_NE(ButtonWithText(&dialog, QStringLiteral("Scan Selected Directories")), nullptr);
    ASSERT_NE(ButtonWithText(&dialog, QStringLiteral("No")), nullptr);

    pData->child(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(pData->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(pRoot->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(dialog.SelectedDirectories(), (QStringList{QStringLiteral("data/two"), QStringLiteral("res")}));
    Shot(dialog, "reconcile_directories");

    pRoot->setCheckState(Qt::Unchecked);
    EXPECT_EQ(pData->child(1)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(dialog.SelectedDirectories().isEmpty());
    pData->setCheckState(Qt::Checked);
    EXPECT_EQ(pData->child(0)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog.SelectedDirectories(), QStringList{QStringLiteral("data")});
    QTest::mouseClick(ButtonWithText(&dialog, QStringLiteral("No")), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(ReconcileDialogsTest, PlanGroupsNestFilesByDirectoryAndOnlyCheckedFilesAreApplied)
{
    auto entry = [](const QString& strPath, bool bRevert)
    {
        OrvelReconcileEntry e;
        e.strRelativePath = strPath;
        e.strStorePath = bRevert ? strPath.toLower() : QString();
        e.bLocalExists = true;
        e.nLocalSize = 1234;
        e.nServerSize = bRevert ? 52428800 : -1;
        return e;
    };
    OrvelReconcilePlan plan;
    plan.strWorkPath = QStringLiteral("/w");
    plan.vecDirectories = QStringList{QString()};
    plan.vecRevert = {entry(QStringLiteral("data/a.txt"), true),
                      entry(QStringLiteral("data/sub/b.bin"), true), entry(QStringLiteral("top.txt"), true)};
    plan.vecDelete = {entry(QStringLiteral("res/x.tmp"), false), entry(QStringLiteral("res/y.tmp"), false)};
    OrvelReconcilePlanDialog dialog(plan);
    dialog.show();
    QStandardItemModel* pModel = dialog.Model();
    ASSERT_EQ(pModel->rowCount(), 2);
    QStandardItem* pRevert = pModel->item(0);
    QStandardItem* pDelete = pModel->item(1);
    EXPECT_EQ(pRevert->text(), QStringLiteral("Revert to server version"));
    EXPECT_EQ(pDelete->text(), QStringLiteral("Delete extra local files"));
    ASSERT_EQ(pRevert->rowCount(), 2);
    QStandardItem* pDataDir = pRevert->child(0);
    EXPECT_EQ(pDataDir->text(), QStringLiteral("data"));
    ASSERT_EQ(pDataDir->rowCount(), 2);
    EXPECT_EQ(pDataDir->child(1)->child(0)->data(Qt::UserRole).toString(), QStringLiteral("data/sub/b.bin"));
    EXPECT_EQ(dialog.SelectedRevert().size(), 3);
    ASSERT_NE(ButtonWithText(&dialog, QStringLiteral("Apply Selected Changes")), nullptr);

    pDataDir->setCheckState(Qt::Unchecked);
    EXPECT_EQ(pDataDir->child(1)->child(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(pRevert->checkState(), Qt::PartiallyChecked);
    pDelete->child(0)->child(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(dialog.SelectedRevert(), QStringList{QStringLiteral("top.txt")});
    EXPECT_EQ(dialog.SelectedDelete(), QStringList{QStringLiteral("res/x.tmp")});
    pDataDir->child(0)->setCheckState(Qt::Checked);
    EXPECT_EQ(pDataDir->checkState(), Qt::PartiallyChecked);
    Shot(dialog, "reconcile_plan");
    QTest::mouseClick(ButtonWithText(&dialog, QStringLiteral("Apply Selected Changes")), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedRevert(),
              (QStringList{QStringLiteral("data/a.txt"), QStringLiteral("top.txt")}));
}

} // namespace
