#include "OrvelVersionBrowseDialog.h"

#include "workers/OrvelVersionList.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

OrvelVersionBrowseDialog::OrvelVersionBrowseDialog(OrvelFileService* pFileService, QWidget* pParent)
    : QDialog(pParent)
{
    setWindowTitle(tr("Version Browse"));
    setFixedSize(400, 150);

    auto* pLabel = new QLabel(tr("Select the version to switch to:"), this);
    m_pCombo = new QComboBox(this);
    m_pCombo->setObjectName(QStringLiteral("versionBrowseCombo"));
    // Its own view, so that the style sheet can reach the popup by name.
    auto* pPopup = new QListView(m_pCombo);
    pPopup->setObjectName(QStringLiteral("versionBrowseComboPopup"));
    m_pCombo->setView(pPopup);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, this);
    pButtons->button(QDialogButtonBox::Yes)->setText(tr("Yes"));
    pButtons->button(QDialogButtonBox::No)->setText(tr("No"));
    connect(pButtons->button(QDialogButtonBox::Yes), &QPushButton::clicked, this, &QDialog::accept);
    connect(pButtons->button(QDialogButtonBox::No), &QPushButton::clicked, this, &QDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pLabel);
    pLayout->addWidget(m_pCombo);
    pLayout->addStretch(1);
    pLayout->addWidget(pButtons);

    const OrvelVersionList list = ListSwitchableVersions(pFileService);
    for (const OrvelVersionEntry& entry : list.vecVersions)
    {
        QString strText = tr("v%1").arg(entry.uVersion);
        if (!entry.strTag.isEmpty())
            strText += tr(" - %1").arg(entry.strTag);
        m_pCombo->addItem(strText, entry.uVersion);
    }
    if (list.nCurrentIndex >= 0)
        m_pCombo->setCurrentIndex(list.nCurrentIndex);
}

quint32 OrvelVersionBrowseDialog::SelectedVersion() const
{
    if (m_pCombo == nullptr || m_pCombo->currentIndex() < 0)
        return 0;
    return m_pCombo->currentData().toUInt();
}
