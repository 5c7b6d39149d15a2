// Edits the launcher settings: working path, language, download limit and what
// the close button does. Language and run-in-background are written as soon as
// they change (so they stay after Cancel); the rest is written by OK.
#pragma once

#include <QDialog>
#include <QString>

class LauncherSettings;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class OrvelSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // Edits LauncherSettings::instance().
    explicit OrvelSettingsDialog(QWidget* pParent = nullptr);
    // Edits the given settings, which must outlive the dialog.
    OrvelSettingsDialog(LauncherSettings& settings, QWidget* pParent);

    // The download-limit item for a stored limit: the exact item, else the
    // nearest limited item (the first on a tie), else "Unlimited".
    static int DownloadLimitIndexFor(quint64 uBytesPerSecond);
    static quint64 DownloadLimitForIndex(int nIndex);

    // Whether the store is verified and by which key, as the file service
    // words it; empty hides the row.
    void SetStoreTrust(const QString& strText);

signals:
    void LanguageChanged(const QString& strLanguage);

public slots:
    void OnBrowseClicked();
    void OnLocateClicked();
    void OnSaveClicked();
    void OnCancelClicked();
    void OnLanguageChanged(int nIndex);
    void OnWorkPathEditingFinished();
    void OnRunInBackgroundToggled(bool bChecked);

protected:
    void changeEvent(QEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void buildUi();
    void retranslate();
    void loadSettings();
    // Normalises and checks an entry; a refused one puts the last accepted path
    // back into the line edit and warns. Returns the normalised path or empty.
    QString acceptWorkPath(const QString& strEntry);

    LauncherSettings& m_settings;
    QLabel* m_pWorkPathLabel = nullptr;
    QLineEdit* m_pWorkPathEdit = nullptr;
    QToolButton* m_pBrowseButton = nullptr;
    QToolButton* m_pLocateButton = nullptr;
    QLabel* m_pLanguageLabel = nullptr;
    QComboBox* m_pLanguageCombo = nullptr;
    QLabel* m_pDownloadLimitLabel = nullptr;
    QComboBox* m_pDownloadLimitCombo = nullptr;
    QCheckBox* m_pRunInBackgroundCheck = nullptr;
    QLabel* m_pStoreTrustLabel = nullptr;
    QLabel* m_pStoreTrustValue = nullptr;
    QPushButton* m_pOkButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;
    QString m_strLastAcceptedWorkPath;
    bool m_bCheckingWorkPath = false;
    // Set while the edit ends by a press that saves or cancels anyway: checking
    // then too would warn, restore the old path, and let that press accept it.
    bool m_bReturnPressed = false;
    bool m_bLeftByMouse = false;
};
