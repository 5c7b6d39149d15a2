#include "OrvelCloseConfirmDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OrvelCloseConfirmDialog::OrvelCloseConfirmDialog(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("closeConfirmDialog"));
    setFixedSize(360, 160);

    m_pMessageLabel = new QLabel(this);
    m_pMessageLabel->setWordWrap(true);
    m_pRememberCheck = new QCheckBox(this);
    m_pRememberCheck->setObjectName(QStringLiteral("rememberCheck"));
    m_pYesButton = new QPushButton(this);
    m_pYesButton->setObjectName(QStringLiteral("yesButton"));
    m_pYesButton->setDefault(true);
    m_pNoButton = new QPushButton(this);
    m_pNoButton->setObjectName(QStringLiteral("noButton"));

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_pYesButton);
    pButtons->addWidget(m_pNoButton);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pMessageLabel, 1);
    pLayout->addWidget(m_pRememberCheck);
    pLayout->addLayout(pButtons);

    connect(m_pYesButton, &QPushButton::clicked, this, &OrvelCloseConfirmDialog::OnYesClicked);
    connect(m_pNoButton, &QPushButton::clicked, this, &OrvelCloseConfirmDialog::OnNoClicked);
    retranslate();
}

bool OrvelCloseConfirmDialog::rememberChoice() const
{
    return m_pRememberCheck->isChecked();
}

void OrvelCloseConfirmDialog::OnYesClicked()
{
    m_nChoice = ChoiceMinimizeToTray;
    accept();
}

void OrvelCloseConfirmDialog::OnNoClicked()
{
    m_nChoice = ChoiceExit;
    reject();
}

void OrvelCloseConfirmDialog::retranslate()
{
    setWindowTitle(tr("Close Confirmation"));
    m_pMessageLabel->setText(tr("Minimize to system tray and continue running?"));
    m_pRememberCheck->setText(tr("Remember my choice"));
    m_pYesButton->setText(tr("Yes"));
    m_pNoButton->setText(tr("No"));
}

void OrvelCloseConfirmDialog::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(pEvent);
}
