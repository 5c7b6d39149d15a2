// The settings and close-confirm dialogs under the offscreen platform, editing
// real settings files.
#include "LauncherSettings.h"
#include "OrvelCloseConfirmDialog.h"
#include "OrvelSettingsDialog.h"
#include "OrvelUpdaterWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>

#include <gtest/gtest.h>

namespace
{
// Answers every message box that opens while it lives and keeps its text.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this]()
                         {
                             if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                             {
                                 m_vecTexts << pBox->windowTitle() + QStringLiteral(" | ") + pBox->text();
                                 pBox->accept();
                             }
                         });
        m_timer.start(10);
    }
    QStringList texts() const { return m_vecTexts; }

private:
    QTimer m_timer;
    QStringList m_vecTexts;
};

class SettingsDialogTest : public ::testing::Test
{
protected:
    // The launcher lives in <tmp>/app; <tmp> is the forbidden parent.
    QString appDir() const { return m_dir.path() + QStringLiteral("/app"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(appDir())); }

    template <typename T> static T* child(QWidget& dialog, const char* pszName)
    {
        T* pChild = dialog.findChild<T*>(QString::fromLatin1(pszName));
        EXPECT_NE(pChild, nullptr) << pszName;
        return pChild;
    }

    QTemporaryDir m_dir;
};
} // namespace

TEST(DownloadLimitTest, NearestItemRule)
{
    const std::pair<quint64, int> vecCases[] = {
        {0, 0},
        {1048576, 1},
        {3000000, 3},
        {1500000, 1},
        {1572864, 1} /* tie: the first */,
        {5242880, 5},
        {100, 1} /* a set limit never becomes "Unlimited" */,
        {~quint64(0), 16},
        {16777216, 16},
        {2621440, 2} /* 2.5 MB: tie again */,
    };
    for (const auto& testCase : vecCases)
        EXPECT_EQ(OrvelSettingsDialog::DownloadLimitIndexFor(testCase.first), testCase.second)
            << testCase.first;
}

TEST_F(SettingsDialogTest, LoadsTheStoredSettings)
{
    LauncherSettings settings(appDir());
    settings.setDownloadLimit(3000000);
    settings.setRunInBackground(true);
    settings.setLanguage(QStringLiteral("en_US"));

    OrvelSettingsDialog dialog(settings, nullptr);
    auto* pLimit = child<QComboBox>(dialog, "downloadLimitCombo");
    EXPECT_EQ(pLimit->currentText(), QStringLiteral("3 MB/s"));
    EXPECT_EQ(pLimit->currentData().toULongLong(), 3145728u);
    EXPECT_TRUE(child<QCheckBox>(dialog, "runInBackgroundCheck")->isChecked());
    EXPECT_EQ(child<QComboBox>(dialog, "languageCombo")->currentData().toString(), QStringLiteral("en_US"));
    EXPECT_EQ(child<QLineEdit>(dialog, "workPathEdit")->text(), settings.defaultWorkPath());
}

TEST_F(SettingsDialogTest, ParentOfTheLauncherDirectoryIsRefused)
{
    LauncherSettings settings(appDir());
    const QString strGood = m_dir.path() + QStringLiteral("/app/work");
    settings.setWorkPath(strGood);
    OrvelSettingsDialog dialog(settings, nullptr);
    auto* pEdit = child<QLineEdit>(dialog, "workPathEdit");
    ASSERT_EQ(pEdit->text(), strGood);

    MessageBoxCatcher catcher;
    pEdit->setText(m_dir.path() + QStringLiteral("/app/.."));
    dialog.OnWorkPathEditingFinished();
    EXPECT_EQ(pEdit->text(), strGood) << "the last accepted path comes back";
    ASSERT_EQ(catcher.texts().size(), 1);
    EXPECT_EQ(catcher.texts()[0],
              QStringLiteral(
                  "Settings | Working path cannot be the parent directory of the launcher executable: ") +
                  m_dir.path());

    // On save too, whatever the letter case; the dialog stays open and nothing is written.
    pEdit->setText(m_dir.path().toUpper());
    dialog.OnSaveClicked();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(catcher.texts().size(), 2);
    EXPECT_EQ(settings.workPath(), strGood);

    // A path beside it is fine, and becomes the one restored after the next refusal.
    const QString strOther = m_dir.path() + QStringLiteral("/elsewhere");
    pEdit->setText(strOther);
    dialog.OnWorkPathEditingFinished();
    pEdit->setText(m_dir.path());
    dialog.OnWorkPathEditingFinished();
    EXPECT_EQ(pEdit->text(), strOther);
    EXPECT_EQ(catcher.texts().size(), 3);
}

TEST_F(SettingsDialogTest, ARefusedPathKeepsTheDialogOpenWhetherEnterOrOkEndsTheEdit)
{
    LauncherSettings settings(appDir());
    const QString strGood = appDir() + QStringLiteral("/work");
    settings.setWorkPath(strGood);
    OrvelSettingsDialog dialog(settings, nullptr);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    auto* pEdit = child<QLineEdit>(dialog, "workPathEdit");
    auto* pOk = child<QPushButton>(dialog, "okButton");
    MessageBoxCatcher catcher;

    struct Gesture
    {
        const char* pszName;
        std::function<void()> finish;
    };
    const Gesture vecGestures[] = {
        {"Enter in the line edit", [&] { QTest::keyClick(pEdit, Qt::Key_Return); }},
        {"a click on OK", [&] { QTest::mouseClick(pOk, Qt::LeftButton); }},
    };
    int nWarnings = 0;
    for (const Gesture& gesture : vecGestures)
    {
        SCOPED_TRACE(gesture.pszName);
        // The warning box took the focus; give it back as the user's click would.
        QApplication::setActiveWindow(&dialog);
        pEdit->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(pEdit->hasFocus());
        pEdit->selectAll();
        QTest::keyClicks(pEdit, m_dir.path());
        gesture.finish();
        EXPECT_TRUE(dialog.isVisible()) << "a refusal keeps the dialog open";
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(pEdit->text(), strGood);
        EXPECT_EQ(settings.workPath(), strGood);
        EXPECT_EQ(catcher.texts().size(), ++nWarnings) << "one warning per refusal";
    }

    // The restored path is then saved by a deliberate click.
    QTest::mouseClick(pOk, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(catcher.texts().size(), nWarnings);
    EXPECT_EQ(settings.workPath(), strGood);
}

TEST_F(SettingsDialogTest, SaveWritesEverythingAndAnEmptyPathMeansTheDefault)
{
    LauncherSettings settings(appDir());
    OrvelSettingsDialog dialog(settings, nullptr);
    child<QLineEdit>(dialog, "workPathEdit")->setText(QStringLiteral("   "));
    child<QComboBox>(dialog, "downloadLimitCombo")->setCurrentIndex(2);
    dialog.OnSaveClicked();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(settings.hasWorkPath());
    EXPECT_EQ(settings.workPath(), appDir() + QStringLiteral("/IDE"));
    EXPECT_EQ(child<QLineEdit>(dialog, "workPathEdit")->text(), appDir() + QStringLiteral("/IDE"));
    EXPECT_EQ(settings.downloadLimit(), 2u * 1048576u);
    EXPECT_EQ(settings.runInBackground(), LauncherSettings::RunInBackgroundExit);
    EXPECT_EQ(settings.language(), QStringLiteral("zh_CN"));
}

TEST_F(SettingsDialogTest, LanguageAndBackgroundAreWrittenAtOnceAndKeptAfterCancel)
{
    LauncherSettings settings(appDir());
    OrvelSettingsDialog dialog(settings, nullptr);
    QStringList vecEmitted;
    QObject::connect(&dialog, &OrvelSettingsDialog::LanguageChanged,
                     [&](const QString& strLanguage) { vecEmitted << strLanguage; });

    auto* pLanguage = child<QComboBox>(dialog, "languageCombo");
    EXPECT_EQ(pLanguage->currentData().toString(), QStringLiteral("zh_CN"));
    EXPECT_TRUE(vecEmitted.isEmpty()) << "loading selects the language silently";

    pLanguage->setCurrentIndex(pLanguage->findData(QStringLiteral("en_US")));
    EXPECT_EQ(vecEmitted, QStringList{"en_US"});
    EXPECT_EQ(LauncherSettings(appDir()).language(), QStringLiteral("en_US")) << "on disk before OK";

    child<QCheckBox>(dialog, "runInBackgroundCheck")->setChecked(true);
    EXPECT_EQ(LauncherSettings(appDir()).runInBackground(), LauncherSettings::RunInBackgroundHide);

    child<QLineEdit>(dialog, "workPathEdit")->setText(m_dir.path() + QStringLiteral("/unsaved"));
    dialog.OnCancelClicked();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    LauncherSettings reread(appDir());
    EXPECT_EQ(reread.language(), QStringLiteral("en_US"));
    EXPECT_EQ(reread.runInBackground(), LauncherSettings::RunInBackgroundHide);
    EXPECT_FALSE(reread.hasWorkPath()) << "Cancel keeps the working path unwritten";
}

TEST(CloseConfirmDialogTest, DismissingTheDialogChoosesNothing)
{
    // Yes and No, with and without "remember": main_window_test drives them.
    OrvelCloseConfirmDialog closed;
    closed.show();
    closed.reject();
    EXPECT_EQ(closed.choice(), OrvelCloseConfirmDialog::ChoiceNone);
}

TEST(UpdaterWindowTest, DefaultsFollowTheLanguageButFlowTextsStay)
{
    OrvelUpdaterWindow window;
    EXPECT_EQ(window.fileCounterText(), QStringLiteral("Files 0/0"));

    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/translations/QHalvaneLauncher_zh_CN.qm")));
    QApplication::installTranslator(&translator);
    QApplication::processEvents(); // delivers the language-change event
    EXPECT_EQ(window.windowTitle(), QStringLiteral("OrvelUpdater - 正在更新"));
    EXPECT_EQ(window.statusText(), QStringLiteral("正在准备更新..."));
    EXPECT_EQ(window.fileCounterText(), QStringLiteral("文件 0/0"));

    window.setStatusText(QStringLiteral("flow text"));
    window.setProgress(2, 5);
    QApplication::removeTranslator(&translator);
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("OrvelUpdater - Updating"));
    EXPECT_EQ(window.statusText(), QStringLiteral("flow text"));
    EXPECT_EQ(window.fileCounterText(), QStringLiteral("文件 2/5")) << "a counter set by the flow stays";
}
