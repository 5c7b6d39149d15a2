#include "OrvelWeakReplacementDialog.h"

#include "OrvelFileService.h"
#include "workers/OrvelWeakReplacementRetry.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace
{

constexpr int kLocalPathRole = Qt::UserRole;
constexpr int kRelativePathRole = Qt::UserRole + 1;

} // namespace

OrvelWeakReplacementDialog::OrvelWeakReplacementDialog(const std::vector<WeakReplacementFailure>& vecFailures,
                                                       OrvelFileService* pFileService,
                                                       const QString& strWorkPath, QWidget* pParent)
    : QDialog(pParent), m_pFileService(pFileService), m_strWorkPath(strWorkPath), m_vecCurrent(vecFailures)
{
    setWindowTitle(tr("Weak Replacement Failures"));
    setMinimumSize(1200, 680);
    resize(1200, 680);

    m_pLabel =
        new QLabel(tr("Some non-critical files failed to replace. Select the files to retry now."), this);
    m_pLabel->setWordWrap(true);

    m_pModel = new QStandardItemModel(0, 2, this);
    m_pModel->setHorizontalHeaderLabels({tr("Retry"), tr("Reason")});
    m_pTable = new QTableView(this);
    m_pTable->setModel(m_pModel);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->hide();
    m_pTable->verticalHeader()->hide();

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, this);
    m_pReplaceButton = pButtons->button(QDialogButtonBox::Yes);
    m_pReplaceButton->setText(tr("Replace Selected"));
    m_pSkipButton = pButtons->button(QDialogButtonBox::No);
    m_pSkipButton->setText(tr("Skip"));
    connect(m_pReplaceButton, &QPushButton::clicked, this, &OrvelWeakReplacementDialog::OnReplaceSelected);
    connect(m_pSkipButton, &QPushButton::clicked, this, &OrvelWeakReplacementDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pLabel);
    pLayout->addWidget(m_pTable, 1);
    pLayout->addWidget(pButtons);
    Fill();
}

void OrvelWeakReplacementDialog::Fill()
{
    m_pModel->removeRows(0, m_pModel->rowCount());
    for (const WeakReplacementFailure& failure : m_vecCurrent)
    {
        auto* pRetry = new QStandardItem;
        pRetry->setCheckable(true);
        pRetry->setCheckState(Qt::Checked);
        pRetry->setData(failure.strLocalPath, kLocalPathRole);
        pRetry->setData(failure.strRelativePath, kRelativePathRole);
        auto* pReason = new QStandardItem(failure.strError);
        pReason->setToolTip(failure.strError);
        m_pModel->appendRow({pRetry, pReason});
    }
}

void OrvelWeakReplacementDialog::SetControlsEnabled(bool bEnabled)
{
    m_pReplaceButton->setEnabled(bEnabled);
    m_pSkipButton->setEnabled(bEnabled);
    m_pTable->setEnabled(bEnabled);
}

void OrvelWeakReplacementDialog::reject()
{
    m_vecUnresolved.insert(m_vecUnresolved.end(), m_vecCurrent.begin(), m_vecCurrent.end());
    m_vecCurrent.clear();
    QDialog::reject();
}

void OrvelWeakReplacementDialog::OnReplaceSelected()
{
    std::vector<WeakReplacementFailure> vecSelected;
    for (int nRow = 0; nRow < m_pModel->rowCount(); ++nRow)
    {
        const QStandardItem* pRetry = m_pModel->item(nRow, 0);
        if (pRetry->checkState() != Qt::Checked)
            continue;
        vecSelected.push_back({pRetry->data(kRelativePathRole).toString(),
                               pRetry->data(kLocalPathRole).toString(), m_pModel->item(nRow, 1)->text(),
                               false});
    }
    if (vecSelected.empty())
    {
        reject();
        return;
    }

    if (m_pFileService == nullptr || !m_pFileService->IsReady())
    {
        const QString strReason = tr("Weak replacement retry skipped: target file service unavailable");
        for (WeakReplacementFailure& failure : m_vecCurrent)
            failure.strError = strReason;
        m_pLabel->setText(strReason);
        reject();
        return;
    }

    std::vector<WeakReplacementFailure> vecNotSelected = WeakFailuresNotSelected(m_vecCurrent, vecSelected);
    SetControlsEnabled(false);
    const WeakRetryResult result = RetryWeakReplacements(
        m_pFileService, vecSelected, m_strWorkPath,
        [this](int nIndex, int nTotal)
        {
            m_pLabel->setText(tr("(%1/%2) Replacing selected file...").arg(nIndex).arg(nTotal));
            // Repaint without letting a click start a second retry.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
    SetControlsEnabled(true);

    m_vecUnresolved.insert(m_vecUnresolved.end(), vecNotSelected.begin(), vecNotSelected.end());
    if (result.vecStillFailed.empty())
    {
        m_vecCurrent.clear();
        accept();
        return;
    }
    m_vecCurrent = result.vecStillFailed;
    Fill();
    m_pLabel->setText(tr("%1 selected file(s) still failed. Select the files to retry again.")
                          .arg(result.vecStillFailed.size()));
}
