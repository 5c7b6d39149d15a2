#include "OrvelSettingsDialog.h"

#include "LauncherSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace
{
constexpr int kLimitSteps = 16;
constexpr quint64 kMegabyte = 1048576;
} // namespace

OrvelSettingsDialog::OrvelSettingsDialog(QWidget* pParent)
    : OrvelSettingsDialog(LauncherSettings::instance(), pParent)
{
}

OrvelSettingsDialog::OrvelSettingsDialog(LauncherSettings& settings, QWidget* pParent)
    : QDialog(pParent), m_settings(settings)
{
    setObjectName(QStringLiteral("settingsDialog"));
    setFixedSize(520, 300);
    buildUi();
    retranslate();
    loadSettings();
}

void OrvelSettingsDialog::SetStoreTrust(const QString& strText)
{
    m_pStoreTrustValue->setText(strText);
    m_pStoreTrustLabel->setVisible(!strText.isEmpty());
    m_pStoreTrustValue->setVisible(!strText.isEmpty());
}

quint64 OrvelSettingsDialog::DownloadLimitForIndex(int nIndex)
{
    return nIndex <= 0 ? 0 : static_cast<quint64>(nIndex) * kMegabyte;
}

int OrvelSettingsDialog::DownloadLimitIndexFor(quint64 uBytesPerSecond)
{
    if (uBytesPerSecond == 0)
        return 0;
    // "Unlimited" is never the nearest item of a set limit: a tiny limit must not
    // silently turn into none when the dialog is saved.
    int nBest = 1;
    quint64 uBestDiff = ~quint64(0);
    for (int i = 1; i <= kLimitSteps; ++i)
    {
        const quint64 uItem = DownloadLimitForIndex(i);
        const quint64 uDiff = uItem > uBytesPerSecond ? uItem - uBytesPerSecond : uBytesPerSecond - uItem;
        if (uDiff < uBestDiff)
        {
            uBestDiff = uDiff;
            nBest = i;
        }
    }
    return nBest;
}

void OrvelSettingsDialog::buildUi()
{
    m_pWorkPathLabel = new QLabel(this);
    m_pWorkPathEdit = new QLineEdit(this);
    m_pWorkPathEdit->setObjectName(QStringLiteral("workPathEdit"));
    m_pBrowseButton = new QToolButton(this);
    m_pBrowseButton->setObjectName(QStringLiteral("browseButton"));
    m_pBrowseButton->setIcon(QIcon(QStringLiteral(":/icons/setting_set_folder.png")));
    m_pLocateButton = new QToolButton(this);
    m_pLocateButton->setObjectName(QStringLiteral("locateButton"));
    m_pLocateButton->setIcon(QIcon(QStringLiteral(":/icons/setting_locate.png")));

    auto* pPathRow = new QHBoxLayout;
    pPathRow->addWidget(m_pWorkPathEdit, 1);
    pPathRow->addWidget(m_pBrowseButton);
    pPathRow->addWidget(m_pLocateButton);

    m_pLanguageLabel = new QLabel(this);
    m_pLanguageCombo = new QComboBox(this);
    m_pLanguageCombo->setObjectName(QStringLiteral("languageCombo"));
    // Each language is named in itself, so these two are never translated.
    m_pLanguageCombo->addItem(QStringLiteral("English"), QStringLiteral("en_US"));
    m_pLanguageCombo->addItem(QStringLiteral("简体中文"), QStringLiteral("zh_CN"));

    m_pDownloadLimitLabel = new QLabel(this);
    m_pDownloadLimitCombo = new QComboBox(this);
    m_pDownloadLimitCombo->setObjectName(QStringLiteral("downloadLimitCombo"));
    for (int i = 0; i <= kLimitSteps; ++i)
        m_pDownloadLimitCombo->addItem(QString(), DownloadLimitForIndex(i));

    m_pRunInBackgroundCheck = new QCheckBox(this);
    m_pRunInBackgroundCheck->setObjectName(QStringLiteral("runInBackgroundCheck"));

    m_pStoreTrustLabel = new QLabel(this);
    m_pStoreTrustValue = new QLabel(this);
    m_pStoreTrustValue->setObjectName(QStringLiteral("storeTrustValue"));
    m_pStoreTrustValue->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* pForm = new QFormLayout;
    pForm->addRow(m_pWorkPathLabel, pPathRow);
    pForm->addRow(m_pLanguageLabel, m_pLanguageCombo);
    pForm->addRow(m_pDownloadLimitLabel, m_pDownloadLimitCombo);
    pForm->addRow(QString(), m_pRunInBackgroundCheck);
    pForm->addRow(m_pStoreTrustLabel, m_pStoreTrustValue);
    m_pStoreTrustLabel->hide();
    m_pStoreTrustValue->hide();

    m_pOkButton = new QPushButton(this);
    m_pOkButton->setObjectName(QStringLiteral("okButton"));
    m_pOkButton->setDefault(true);
    m_pCancelButton = new QPushButton(this);
    m_pCancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_pOkButton);
    pButtons->addWidget(m_pCancelButton);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addStretch(1);
    pLayout->addLayout(pButtons);

    connect(m_pBrowseButton, &QToolButton::clicked, this, &OrvelSettingsDialog::OnBrowseClicked);
    connect(m_pLocateButton, &QToolButton::clicked, this, &OrvelSettingsDialog::OnLocateClicked);
    connect(m_pOkButton, &QPushButton::clicked, this, &OrvelSettingsDialog::OnSaveClicked);
    connect(m_pCancelButton, &QPushButton::clicked, this, &OrvelSettingsDialog::OnCancelClicked);
    connect(m_pWorkPathEdit, &QLineEdit::returnPressed, this, [this]() { m_bReturnPressed = true; });
    connect(m_pWorkPathEdit, &QLineEdit::editingFinished, this,
            &OrvelSettingsDialog::OnWorkPathEditingFinished);
    m_pWorkPathEdit->installEventFilter(this);
    connect(m_pLanguageCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OrvelSettingsDialog::OnLanguageChanged);
    connect(m_pRunInBackgroundCheck, &QCheckBox::toggled, this,
            &OrvelSettingsDialog::OnRunInBackgroundToggled);
}

void OrvelSettingsDialog::retranslate()
{
    setWindowTitle(tr("Settings"));
    m_pWorkPathLabel->setText(tr("Working Path:"));
    m_pBrowseButton->setToolTip(tr("Select Working Path"));
    m_pLocateButton->setToolTip(tr("Open Working Path in Explorer"));
    m_pLanguageLabel->setText(tr("Language:"));
    m_pDownloadLimitLabel->setText(tr("Download Limit:"));
    m_pDownloadLimitCombo->setItemText(0, tr("Unlimited"));
    for (int i = 1; i <= kLimitSteps; ++i)
        m_pDownloadLimitCombo->setItemText(i, tr("%1 MB/s").arg(i));
    m_pRunInBackgroundCheck->setText(tr("Run in background when closed"));
    m_pStoreTrustLabel->setText(tr("Store:"));
    m_pOkButton->setText(tr("OK"));
    m_pCancelButton->setText(tr("Cancel"));
}

void OrvelSettingsDialog::loadSettings()
{
    m_strLastAcceptedWorkPath = m_settings.workPath();
    m_pWorkPathEdit->setText(m_strLastAcceptedWorkPath);

    const QSignalBlocker checkBlocker(m_pRunInBackgroundCheck);
    m_pRunInBackgroundCheck->setChecked(m_settings.runInBackground() ==
                                        LauncherSettings::RunInBackgroundHide);

    m_pDownloadLimitCombo->setCurrentIndex(DownloadLimitIndexFor(m_settings.downloadLimit()));

    const QSignalBlocker languageBlocker(m_pLanguageCombo);
    const int nLanguage = m_pLanguageCombo->findData(m_settings.language());
    if (nLanguage >= 0)
        m_pLanguageCombo->setCurrentIndex(nLanguage);
}

QString OrvelSettingsDialog::acceptWorkPath(const QString& strEntry)
{
    const QString strPath = m_settings.normaliseWorkPath(strEntry);
    const QString strForbidden = QDir::cleanPath(QFileInfo(m_settings.appDirectory()).absolutePath());
    if (strPath.compare(strForbidden, Qt::CaseInsensitive) != 0)
    {
        m_strLastAcceptedWorkPath = strPath;
        return strPath;
    }
    // Restore first: the warning box takes the focus, which finishes the edit again.
    m_bCheckingWorkPath = true;
    m_pWorkPathEdit->setText(m_strLastAcceptedWorkPath);
    QMessageBox::warning(
        this, tr("Settings"),
        tr("Working path cannot be the parent directory of the launcher executable: %1").arg(strPath));
    m_bCheckingWorkPath = false;
    return QString();
}

void OrvelSettingsDialog::OnBrowseClicked()
{
    const QString strChosen =
        QFileDialog::getExistingDirectory(this, tr("Select Working Path"), m_pWorkPathEdit->text(),
                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (strChosen.isEmpty())
        return;
    m_pWorkPathEdit->setText(strChosen);
    acceptWorkPath(strChosen);
}

void OrvelSettingsDialog::OnLocateClicked()
{
    const QString strEntry = m_pWorkPathEdit->text().trimmed();
    if (strEntry.isEmpty())
        return;
    const QFileInfo info(strEntry);
    const QString strTarget = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (!strTarget.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(strTarget));
}

void OrvelSettingsDialog::OnWorkPathEditingFinished()
{
    const bool bReturnPressed = m_bReturnPressed;
    const bool bLeftByMouse = m_bLeftByMouse;
    m_bReturnPressed = false;
    m_bLeftByMouse = false;
    if (m_bCheckingWorkPath)
        return;
    // Return presses the default button, and a click on OK or Cancel follows
    // this focus change: the save checks the entry itself and stays open on a
    // refusal; a cancel keeps nothing.
    const QWidget* pFocus = QApplication::focusWidget();
    if (bReturnPressed || (bLeftByMouse && (pFocus == m_pOkButton || pFocus == m_pCancelButton)))
        return;
    acceptWorkPath(m_pWorkPathEdit->text());
}

bool OrvelSettingsDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pWorkPathEdit && pEvent->type() == QEvent::FocusOut)
        m_bLeftByMouse = static_cast<QFocusEvent*>(pEvent)->reason() == Qt::MouseFocusReason;
    return QDialog::eventFilter(pWatched, pEvent);
}

void OrvelSettingsDialog::OnSaveClicked()
{
    const QString strPath = acceptWorkPath(m_pWorkPathEdit->text());
    if (strPath.isEmpty())
        return;
    m_pWorkPathEdit->setText(strPath);
    m_settings.setWorkPath(strPath);
    m_settings.setRunInBackground(m_pRunInBackgroundCheck->isChecked());
    m_settings.setLanguage(m_pLanguageCombo->currentData().toString());
    m_settings.setDownloadLimit(m_pDownloadLimitCombo->currentData().toULongLong());
    accept();
}

void OrvelSettingsDialog::OnCancelClicked()
{
    reject();
}

void OrvelSettingsDialog::OnLanguageChanged(int nIndex)
{
    const QString strLanguage = m_pLanguageCombo->itemData(nIndex).toString();
    if (strLanguage.isEmpty())
        return;
    m_settings.setLanguage(strLanguage);
    emit LanguageChanged(strLanguage);
}

void OrvelSettingsDialog::OnRunInBackgroundToggled(bool bChecked)
{
    m_settings.setRunInBackground(bChecked);
}

void OrvelSettingsDialog::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(pEvent);
}
